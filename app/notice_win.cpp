#include "app/notice_win.h"

#include <shellapi.h>

#include <vector>

#include "base/command_line.h"
#include "app/notice_record.h"
#include "base/session_state.h"

namespace {

const wchar_t kKeldra6Class[] = L"_Keldra6";

void SendRecord(HWND target, HWND frame, std::vector<std::uint8_t>& bytes) {
    COPYDATASTRUCT data = {};
    data.dwData = kCopyDataTag;
    data.cbData = static_cast<DWORD>(bytes.size());
    data.lpData = bytes.data();
    SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(frame),
                 reinterpret_cast<LPARAM>(&data));
}

}  // namespace

void SendNotice(HWND frame, std::uint32_t status, std::uint32_t percent) {
    if (Options().notice) {
        SendNoticeRecord(frame, status, percent);
    }
}

void SendNoticeRecord(HWND frame, std::uint32_t status, std::uint32_t percent) {
    const SessionOptions& options = Options();
    if (options.noticeWindow == 0) {
        return;
    }
    NoticeRecord record;
    record.product = options.productKey;
    record.percent = percent;
    record.status = status;
    record.text = Session().LastPackagePath();
    std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    // The caller's window handle travels as a 32-bit number; window handles fit in 32 bits.
    HWND target = reinterpret_cast<HWND>(static_cast<UINT_PTR>(options.noticeWindow));
    SendRecord(target, frame, bytes);
}

void SendUpdateCount(HWND frame, std::uint32_t count) {
    HWND target = FindWindowW(kKeldra6Class, nullptr);
    if (target == nullptr) {
        return;
    }
    std::vector<std::uint8_t> bytes = EncodeUpdateCountRecord(count);
    SendRecord(target, frame, bytes);
}

bool Keldra6WindowVisible() {
    HWND window = FindWindowW(kKeldra6Class, nullptr);
    return window != nullptr && IsWindowVisible(window);
}

bool DeleteTree(const std::wstring& path, bool permanent) {
    constexpr std::size_t kBufferChars = 260;
    if (path.empty() || path.size() > kBufferChars - 1) {
        return false;
    }
    // The shell's list of paths ends with two zero characters.
    wchar_t from[kBufferChars + 1] = {};
    path.copy(from, path.size());
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    if (!permanent) {
        operation.fFlags |= FOF_ALLOWUNDO;
    }
    return SHFileOperationW(&operation) == 0;
}
