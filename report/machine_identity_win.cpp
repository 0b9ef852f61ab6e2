#include "report/machine_identity_win.h"

// <windows.h> comes first: the IP Helper and router headers build on it.
#include <windows.h>

#include <iphlpapi.h>
#include <mprapi.h>
#include <winioctl.h>

#include <memory>

#include "base/unique_handle_win.h"

namespace {

constexpr int kDrivesTried = 4;
constexpr DWORD kSmartReceiveDriveData = 0x7C088;
constexpr DWORD kStorageQueryProperty = 0x2D1400;
constexpr DWORD kStorageQuerySize = 12;  // StorageDeviceProperty, PropertyStandardQuery
constexpr DWORD kStorageAnswerSize = 10000;
constexpr DWORD kFriendlyNameBytes = 512;

using UniqueFile = UniqueHandle<FileHandleTraits>;

// The first of \\.\PhysicalDrive0 to 3 that opens with `access`, and its number.
UniqueFile OpenFirstDrive(DWORD access, int& number) {
    for (number = 0; number < kDrivesTried; ++number) {
        wchar_t name[32];
        wsprintfW(name, L"\\\\.\\PhysicalDrive%d", number);
        UniqueFile drive(CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        if (drive) {
            return drive;
        }
    }
    return UniqueFile();
}

// Calls an IP Helper reader that answers ERROR_BUFFER_OVERFLOW with the size it needs, once
// more with that size. Empty on any other failure.
template <typename Call>
std::unique_ptr<std::uint8_t[]> ReadGrowing(ULONG firstSize, Call call) {
    ULONG size = firstSize;
    auto buffer = std::make_unique<std::uint8_t[]>(size);
    DWORD result = call(buffer.get(), &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer = std::make_unique<std::uint8_t[]>(size);
        result = call(buffer.get(), &size);
    }
    return result == ERROR_SUCCESS ? std::move(buffer) : nullptr;
}

struct RouterConfigTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { MprConfigServerDisconnect(h); }
};

}  // namespace

std::wstring AnsiToWide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

std::string WideToAnsi(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), length, nullptr, nullptr);
    }
    return ansi;
}

std::wstring ReadDiskSerialSmart() {
    int number = 0;
    UniqueFile drive = OpenFirstDrive(GENERIC_READ | GENERIC_WRITE, number);
    if (!drive) {
        return std::wstring();
    }
    // One buffer is the request (its first 33 bytes) and the answer.
    std::uint8_t buffer[kSmartBufferSize] = {};
    const auto request = SmartIdentifyRequest(static_cast<std::uint8_t>(number));
    std::copy(request.begin(), request.end(), buffer);
    DWORD returned = 0;
    if (!DeviceIoControl(drive.Get(), kSmartReceiveDriveData, buffer, request.size(), buffer,
                         sizeof(buffer), &returned, nullptr)) {
        return std::wstring();
    }
    return AnsiToWide(SmartSerialFromIdentify(buffer + kSmartIdentifyOffset, kSmartIdentifySize));
}

std::wstring ReadDiskSerialStorage() {
    int number = 0;
    UniqueFile drive = OpenFirstDrive(0, number);
    if (!drive) {
        return std::wstring();
    }
    std::uint8_t query[kStorageQuerySize] = {};
    auto answer = std::make_unique<std::uint8_t[]>(kStorageAnswerSize);  // zeroed
    DWORD returned = 0;
    if (!DeviceIoControl(drive.Get(), kStorageQueryProperty, query, sizeof(query), answer.get(),
                         kStorageAnswerSize, &returned, nullptr)) {
        return std::wstring();
    }
    return AnsiToWide(StorageSerialFromDescriptor(answer.get(), kStorageAnswerSize));
}

std::wstring MachineId() {
    const std::wstring smart = ReadDiskSerialSmart();
    return MachineIdFrom(smart, smart.empty() ? ReadDiskSerialStorage() : std::wstring());
}

std::wstring AdapterFriendlyName(const std::wstring& adapterName) {
    UniqueHandle<RouterConfigTraits> config;
    // Without a router connection the friendly-name lookup is not even tried: under Wine it
    // ends the whole process when the connection failed.
    if (MprConfigServerConnect(nullptr, config.Put()) != NO_ERROR || !config) {
        return std::wstring();
    }
    ULONG tableSize = 0;
    if (GetInterfaceInfo(nullptr, &tableSize) == ERROR_INSUFFICIENT_BUFFER && tableSize > 0) {
        if (void* table = HeapAlloc(GetProcessHeap(), 0, tableSize)) {
            GetInterfaceInfo(static_cast<PIP_INTERFACE_INFO>(table), &tableSize);
            HeapFree(GetProcessHeap(), 0, table);
        }
    }
    std::wstring guidName = L"\\DEVICE\\TCPIP_" + adapterName;
    wchar_t friendly[kFriendlyNameBytes / sizeof(wchar_t)] = {};
    if (MprConfigGetFriendlyName(config.Get(), guidName.data(), friendly, sizeof(friendly)) !=
        NO_ERROR) {
        return std::wstring();
    }
    friendly[std::size(friendly) - 1] = L'\0';
    return friendly;
}

std::vector<AdapterInfo> CollectAdapters() {
    std::vector<AdapterInfo> adapters;
    const auto chain = ReadGrowing(sizeof(IP_ADAPTER_INFO), [](std::uint8_t* buffer, ULONG* size) {
        return GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer), size);
    });
    if (!chain) {
        return adapters;
    }
    for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(chain.get()); a != nullptr;
         a = a->Next) {
        AdapterInfo info;
        info.description = AnsiToWide(a->Description);
        if (IsVirtualAdapter(info.description)) {
            continue;
        }
        info.ipAddress = AnsiToWide(a->IpAddressList.IpAddress.String);
        info.ipMask = AnsiToWide(a->IpAddressList.IpMask.String);
        info.gateway = AnsiToWide(a->GatewayList.IpAddress.String);
        info.friendlyName = AdapterFriendlyName(AnsiToWide(a->AdapterName));
        if (info.friendlyName.empty()) {
            info.friendlyName = info.description;
        }
        const auto perAdapter =
            ReadGrowing(sizeof(IP_PER_ADAPTER_INFO), [a](std::uint8_t* buffer, ULONG* size) {
                return GetPerAdapterInfo(a->Index, reinterpret_cast<PIP_PER_ADAPTER_INFO>(buffer),
                                         size);
            });
        if (perAdapter) {
            const auto* dns =
                &reinterpret_cast<const IP_PER_ADAPTER_INFO*>(perAdapter.get())->DnsServerList;
            info.firstDns = DnsServerField(AnsiToWide(dns->IpAddress.String));
            if (dns->Next != nullptr) {
                info.secondDns = DnsServerField(AnsiToWide(dns->Next->IpAddress.String));
            }
        }
        adapters.push_back(std::move(info));
    }
    return adapters;
}
