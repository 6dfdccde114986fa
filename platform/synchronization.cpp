#include "platform/synchronization.h"

#include <atomic>

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "synchronization";
constexpr std::uint32_t kLineLockCreation = 881;
// Spinning briefly before sleeping suits the short sections these locks guard.
constexpr DWORD kSpinCount = 4000;

BOOL initializeWithSystem(LPCRITICAL_SECTION a_pSection, DWORD a_SpinCount) {
    return InitializeCriticalSectionAndSpinCount(a_pSection, a_SpinCount);
}

std::atomic<tLockInitializer> g_LockInitializer{&initializeWithSystem};

} // namespace

tLockInitializer setLockInitializer(tLockInitializer a_Initializer) {
    return g_LockInitializer.exchange(a_Initializer != nullptr ? a_Initializer
                                                               : &initializeWithSystem);
}

tCriticalSection::tCriticalSection(tStatus* a_pStatus) : m_Section(), m_Initialized(false) {
    if (isFailed(a_pStatus)) {
        return;
    }
    // The function reports failure through its result, where the older initialiser raised a
    // structured exception that g++ cannot catch.
    if (g_LockInitializer.load()(&m_Section, kSpinCount) == FALSE) {
        raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineLockCreation);
        return;
    }
    m_Initialized = true;
}

tCriticalSection::~tCriticalSection() {
    if (m_Initialized) {
        DeleteCriticalSection(&m_Section);
    }
    m_Initialized = false;
}

} // namespace nZU7461_14_0
