// Reads what the running system says about its version.
#pragma once

#include "base/os_code.h"

// Fills `data` from the extended version query or, when the system refuses it, the short one
// (then with the registry's product type), plus the registry's CurrentVersion values. False when
// neither query answered.
bool ReadOsVersionData(OsVersionData& data);

// True on Windows Vista and later (major version 6 or more); false when the system does not say.
bool VistaOrLater();
