// The small building blocks of the downloader: a thread wrapper whose body is a virtual
// operation, and two holders of a Windows critical section.
#pragma once

#include <windows.h>

#include <mutex>

class PLThread {
  public:
    PLThread() = default;
    virtual ~PLThread();
    PLThread(const PLThread&) = delete;
    PLThread& operator=(const PLThread&) = delete;

    // The thread body; receives the object itself and returns the thread's exit code.
    virtual DWORD ThreadBody(void* self) = 0;

    // Closes a previous handle, then creates the thread (running, or suspended when `start` is
    // false). Whether a handle was obtained.
    bool Create(bool start);
    DWORD Resume();
    DWORD Suspend();
    BOOL SetPriority(int priority);

    // A handle of the current thread for a caller that waits on it; the caller owns it. Null
    // when there is no thread. (Stop closes the object's own handle, so waiting goes through a
    // copy of it.)
    HANDLE DuplicateThreadHandle() const;

  protected:
    // Closes the thread handle and clears it.
    void CloseThreadHandle();

  private:
    static DWORD WINAPI StartRoutine(void* parameter);
    // The handle is replaced by Create on one thread (a download job) and closed by Stop on
    // another (the window): every use of it takes the lock.
    mutable std::mutex handleLock_;
    HANDLE thread_ = nullptr;
};

// Holds one critical section, initialised on construction and deleted on destruction.
class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    virtual ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

// The lock a PLFile embeds.
class PLAutoCSec : public CriticalSection {};

// Holds a critical section for a scope.
class SectionGuard {
  public:
    explicit SectionGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~SectionGuard() { section_.Leave(); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

  private:
    CriticalSection& section_;
};
