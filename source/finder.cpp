#include "source/finder.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "platform/memoryAllocation.h"
#include "platform/synchronization.h"
#include "status/trace.h"

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "cSessionManager";
constexpr std::uint32_t kLineManagerMissing = 72;

// Constant-initialised: nothing has to run before it holds a full record with code 0.
tStatus g_StaticStatus = {kStatusFullSize, 0, {}, {}, 0, {}};

// The finder lock lives in static storage and is constructed at attach, so that its creation
// failure lands in the static status.
alignas(tCriticalSection) unsigned char g_FinderLockStorage[sizeof(tCriticalSection)];
tCriticalSection* g_pFinderLock = nullptr;

// Written under the finder lock; read without it by closeList and the queries.
std::atomic<cSessionManager*> g_pSessionManager{nullptr};
// Guarded by the finder lock.
std::uint32_t g_OpenListCount = 0;

// What attach sets up is torn down at detach in the reverse order: trace objects first, the
// finder lock last.
struct tTeardown {
    const char* name;
    void (*run)();
};
constexpr std::size_t kMaxTeardowns = 4;
tTeardown g_Teardowns[kMaxTeardowns];
std::size_t g_TeardownCount = 0;
// Plain storage: detach may run after the destructors of this file's other statics.
const char* g_LastTeardownOrder[kMaxTeardowns];
std::size_t g_LastTeardownCount = 0;

void registerTeardown(const char* a_pName, void (*a_Run)()) {
    if (g_TeardownCount < kMaxTeardowns) {
        g_Teardowns[g_TeardownCount++] = tTeardown{a_pName, a_Run};
    }
}

void teardownFinderLock() {
    if (g_pFinderLock != nullptr) {
        g_pFinderLock->~tCriticalSection();
        g_pFinderLock = nullptr;
    }
}

void writeNoList(void** a_ppList, std::uint32_t* a_pCount) {
    *a_ppList = nullptr;
    *a_pCount = 0;
}

void destroyManager() {
    destroyAndRelease(g_pSessionManager.exchange(nullptr));
}

} // namespace

void moduleAttach() noexcept {
    g_StaticStatus = makeStatus();
    g_OpenListCount = 0;
    g_pSessionManager.store(nullptr);
    g_TeardownCount = 0;
    g_pFinderLock = new (g_FinderLockStorage) tCriticalSection(&g_StaticStatus);
    registerTeardown("finder lock", &teardownFinderLock);
    nZUOSKA000::createTrace();
    registerTeardown("trace", &nZUOSKA000::teardownTrace);
    registerTeardown("console trace destination", &nZUOSKA000::teardownConsoleDestination);
}

void moduleDetach() noexcept {
    // Lists the host left open are not released: the process is going away.
    g_LastTeardownCount = 0;
    while (g_TeardownCount > 0) {
        const tTeardown& l_rTeardown = g_Teardowns[--g_TeardownCount];
        l_rTeardown.run();
        g_LastTeardownOrder[g_LastTeardownCount++] = l_rTeardown.name;
    }
}

std::vector<const char*> lastTeardownOrder() {
    return std::vector<const char*>(g_LastTeardownOrder, g_LastTeardownOrder + g_LastTeardownCount);
}

void openList(void** a_ppList, std::uint32_t* a_pCount, tStatus* a_pStatus) noexcept {
    mergeStatus(a_pStatus, &g_StaticStatus);
    if (isFailed(a_pStatus) || g_pFinderLock == nullptr || !g_pFinderLock->m_Initialized) {
        // A finder lock that was never created has recorded its failure in the static status.
        writeNoList(a_ppList, a_pCount);
        return;
    }
    tLockGuard l_FinderGuard(*g_pFinderLock);

    cSessionManager* l_pManager = g_pSessionManager.load();
    if (g_OpenListCount == 0) {
        // The last close destroyed the previous manager, so this one starts fresh.
        l_pManager = createWithStatus<cSessionManager>(a_pStatus, a_pStatus);
        if (isFailed(a_pStatus)) {
            // Never published: the queries must not see a manager without its lock.
            destroyAndRelease(l_pManager);
            writeNoList(a_ppList, a_pCount);
            return;
        }
        g_pSessionManager.store(l_pManager);
    } else if (l_pManager == nullptr) {
        raiseStatus(a_pStatus, kStatusSessionManagerMissing, kFile, kLineManagerMissing);
        writeNoList(a_ppList, a_pCount);
        return;
    }

    l_pManager->createList(a_ppList, a_pCount, a_pStatus);
    if (!isFailed(a_pStatus)) {
        ++g_OpenListCount;
    } else if (g_OpenListCount == 0) {
        destroyManager();
    }
}

void closeList(void* a_pList) noexcept {
    cSessionManager* l_pManager = g_pSessionManager.load();
    if (l_pManager == nullptr || !l_pManager->removeList(a_pList)) {
        return;
    }
    tLockGuard l_FinderGuard(*g_pFinderLock);
    if (g_OpenListCount > 0 && --g_OpenListCount == 0) {
        destroyManager();
    }
}

cSessionManager* currentSessionManager() noexcept {
    return g_pSessionManager.load();
}

const tStatus& staticStatus() noexcept {
    return g_StaticStatus;
}

std::uint32_t openListCount() noexcept {
    if (g_pFinderLock == nullptr || !g_pFinderLock->m_Initialized) {
        return g_OpenListCount;
    }
    tLockGuard l_FinderGuard(*g_pFinderLock);
    return g_OpenListCount;
}

} // namespace nZU7461_14_0
