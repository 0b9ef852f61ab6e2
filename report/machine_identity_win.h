// The Win32 readers of the machine identity and the network adapters (the decoders they feed
// are in machine_identity.h). Every failure gives an empty value, silently.
#pragma once

#include <string>
#include <vector>

#include "report/machine_identity.h"

// The serial of the first physical drive (0 to 3) that opens, by ATA IDENTIFY over SMART; empty
// when no drive opens or the request fails (without administrator rights, and always under Wine).
std::wstring ReadDiskSerialSmart();

// The same through the storage property query, which needs no access rights.
std::wstring ReadDiskSerialStorage();

// ReadDiskSerialSmart, or ReadDiskSerialStorage when that is empty, trimmed.
std::wstring MachineId();

// The machine's network adapters without the virtual machines' ones, each with its first two DNS
// servers. Returns a fresh list on every call rather than keeping a process-wide one, so that
// the reports always work on a snapshot of their own and no lock is needed.
std::vector<AdapterInfo> CollectAdapters();

// The connection's friendly name of an adapter (GetAdaptersInfo's AdapterName); empty when the
// router configuration cannot be reached.
std::wstring AdapterFriendlyName(const std::wstring& adapterName);

// Conversions at the ANSI code page edge.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
