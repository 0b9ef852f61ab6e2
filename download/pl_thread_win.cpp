#include "download/pl_thread_win.h"

PLThread::~PLThread() {
    CloseThreadHandle();
}

DWORD WINAPI PLThread::StartRoutine(void* parameter) {
    auto* self = static_cast<PLThread*>(parameter);
    return self->ThreadBody(self);
}

bool PLThread::Create(bool start) {
    std::lock_guard<std::mutex> lock(handleLock_);
    if (thread_ != nullptr) {
        CloseHandle(thread_);
    }
    thread_ = CreateThread(nullptr, 0, StartRoutine, this, start ? 0 : CREATE_SUSPENDED, nullptr);
    return thread_ != nullptr;
}

DWORD PLThread::Resume() {
    std::lock_guard<std::mutex> lock(handleLock_);
    return ResumeThread(thread_);
}

DWORD PLThread::Suspend() {
    std::lock_guard<std::mutex> lock(handleLock_);
    return SuspendThread(thread_);
}

BOOL PLThread::SetPriority(int priority) {
    std::lock_guard<std::mutex> lock(handleLock_);
    return SetThreadPriority(thread_, priority);
}

HANDLE PLThread::DuplicateThreadHandle() const {
    std::lock_guard<std::mutex> lock(handleLock_);
    HANDLE copy = nullptr;
    if (thread_ == nullptr || !DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(),
                                               &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

void PLThread::CloseThreadHandle() {
    std::lock_guard<std::mutex> lock(handleLock_);
    if (thread_ != nullptr) {
        CloseHandle(thread_);
        thread_ = nullptr;
    }
}
