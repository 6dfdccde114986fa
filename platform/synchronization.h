// The lock object: a critical section whose creation failure lands in a status record.
#pragma once

#include "platform/win32/zuPlatform.h"
#include "status/tStatus.h"

namespace nZU7461_14_0 {

struct tCriticalSection {
    CRITICAL_SECTION m_Section;
    bool m_Initialized;

    explicit tCriticalSection(tStatus* a_pStatus);
    ~tCriticalSection();
    tCriticalSection(const tCriticalSection&) = delete;
    tCriticalSection& operator=(const tCriticalSection&) = delete;

    void lock() { EnterCriticalSection(&m_Section); }
    void unlock() { LeaveCriticalSection(&m_Section); }
};

// Holds a tCriticalSection for one scope.
class tLockGuard {
public:
    explicit tLockGuard(tCriticalSection& a_rLock) : m_rLock(a_rLock) { m_rLock.lock(); }
    ~tLockGuard() { m_rLock.unlock(); }
    tLockGuard(const tLockGuard&) = delete;
    tLockGuard& operator=(const tLockGuard&) = delete;

private:
    tCriticalSection& m_rLock;
};

// Lock creation goes through this function; tests replace it to make creation fail. Returns the
// previous one.
using tLockInitializer = BOOL (*)(LPCRITICAL_SECTION a_pSection, DWORD a_SpinCount);
tLockInitializer setLockInitializer(tLockInitializer a_Initializer);

} // namespace nZU7461_14_0
