// A critical section and its scope guard.
#pragma once

#include <windows.h>

namespace Runtime {

class CriticalSection {
public:
    CriticalSection() { ::InitializeCriticalSection(&cs_); }
    ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { ::EnterCriticalSection(&cs_); }
    void Leave() { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

// Holds the lock for the lifetime of the guard.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~CriticalSectionLock() { cs_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& cs_;
};

}  // namespace Runtime
