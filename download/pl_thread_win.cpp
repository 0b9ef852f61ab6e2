#include "download/pl_thread_win.h"

PLThread::~PLThread() {
    CloseThreadHandle();
}

DWORD WINAPI PLThread::StartRoutine(void* parameter) {
    auto* self = static_cast<PLThread*>(parameter);
    return self->ThreadBody(self);
}

bool PLThread::Create(bool start) {
    CloseThreadHandle();
    thread_ = CreateThread(nullptr, 0, StartRoutine, this, start ? 0 : CREATE_SUSPENDED, nullptr);
    return thread_ != nullptr;
}

DWORD PLThread::Resume() {
    return ResumeThread(thread_);
}

DWORD PLThread::Suspend() {
    return SuspendThread(thread_);
}

BOOL PLThread::SetPriority(int priority) {
    return SetThreadPriority(thread_, priority);
}

HANDLE PLThread::DuplicateThreadHandle() const {
    HANDLE copy = nullptr;
    if (thread_ == nullptr || !DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(),
                                               &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

void PLThread::CloseThreadHandle() {
    if (thread_ != nullptr) {
        CloseHandle(thread_);
        thread_ = nullptr;
    }
}
