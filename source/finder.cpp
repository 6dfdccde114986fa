#include "source/finder.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/memoryAllocation.h"
#include "platform/synchronization.h"
#include "source/cSessionManager.h"
#include "platform/trace.h"

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

// The manager's lock lives from the first openList to detach, longer than any manager, so that
// closeList and the queries can always take it before they look for the manager: the last
// closeList swaps the manager out under it, and nobody can be inside the manager then. Written
// under the finder lock; queries load it without. Static storage like the finder lock: it is
// module state, not something an openList allocates and has to give back.
alignas(tCriticalSection) unsigned char g_ManagerLockStorage[sizeof(tCriticalSection)];
std::atomic<tCriticalSection*> g_pManagerLock{nullptr};
// Written under both locks, read under either.
cSessionManager* g_pSessionManager = nullptr;
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

void registerTeardown(const char* a_pName, void (*a_Run)()) {
    if (g_TeardownCount < kMaxTeardowns) {
        g_Teardowns[g_TeardownCount++] = tTeardown{a_pName, a_Run};
    }
}

void teardownFinderLock() {
    // Lists the host left open keep the manager alive, but nothing can reach it without its lock.
    if (tCriticalSection* l_pLock = g_pManagerLock.exchange(nullptr)) {
        l_pLock->~tCriticalSection();
    }
    if (g_pFinderLock != nullptr) {
        g_pFinderLock->~tCriticalSection();
        g_pFinderLock = nullptr;
    }
}

void writeNoList(void** a_ppList, std::uint32_t* a_pCount) {
    *a_ppList = nullptr;
    *a_pCount = 0;
}

// Under the finder lock. Once the manager is out of reach under its lock, no call is inside it.
void destroyManager() {
    cSessionManager* l_pManager = nullptr;
    {
        tLockGuard l_Guard(*g_pManagerLock.load());
        std::swap(l_pManager, g_pSessionManager);
    }
    destroyAndRelease(l_pManager);
}

// Under the finder lock: the manager's lock, created by the first openList that needs it. A
// failed creation is recorded where the lock object records it, and the next openList tries
// again.
tCriticalSection* managerLock(tStatus* a_pStatus) {
    tCriticalSection* l_pLock = g_pManagerLock.load();
    if (l_pLock != nullptr) {
        return l_pLock;
    }
    l_pLock = new (g_ManagerLockStorage) tCriticalSection(a_pStatus);
    if (!l_pLock->m_Initialized) {
        l_pLock->~tCriticalSection();
        return nullptr;
    }
    g_pManagerLock.store(l_pLock);
    return l_pLock;
}

// Runs a_Call with the manager, or null when there is none, while no one can destroy it.
template <class tCall> void withSessionManager(tCall a_Call) {
    tCriticalSection* const l_pLock = g_pManagerLock.load();
    if (l_pLock == nullptr) {
        a_Call(nullptr);
        return;
    }
    tLockGuard l_Guard(*l_pLock);
    a_Call(g_pSessionManager);
}

} // namespace

void moduleAttach() noexcept {
    g_StaticStatus = makeStatus();
    g_OpenListCount = 0;
    g_pSessionManager = nullptr;
    g_TeardownCount = 0;
    g_pFinderLock = new (g_FinderLockStorage) tCriticalSection(&g_StaticStatus);
    registerTeardown("finder lock", &teardownFinderLock);
    nZUOSKA000::createTrace();
    registerTeardown("trace", &nZUOSKA000::teardownTrace);
    registerTeardown("console trace destination", &nZUOSKA000::teardownConsoleDestination);
}

void moduleDetach() noexcept {
    // Lists the host left open are not released: the process is going away.
    while (g_TeardownCount > 0) {
        g_Teardowns[--g_TeardownCount].run();
    }
}

void openList(void** a_ppList, std::uint32_t* a_pCount, tStatus* a_pStatus) noexcept {
    mergeStatus(a_pStatus, &g_StaticStatus);
    if (!isFailed(a_pStatus) && g_pFinderLock == nullptr) {
        // Detached with lists left open, and called again: the module's state is gone, and a
        // search that cannot register its list must not look like one that found nothing.
        raiseStatus(a_pStatus, kStatusSessionManagerMissing, kFile, kLineManagerMissing);
    }
    if (isFailed(a_pStatus) || !g_pFinderLock->m_Initialized) {
        // A finder lock that was never created has recorded its failure in the static status.
        writeNoList(a_ppList, a_pCount);
        return;
    }
    tLockGuard l_FinderGuard(*g_pFinderLock);

    tCriticalSection* const l_pLock = managerLock(a_pStatus);
    cSessionManager* l_pManager = g_pSessionManager;
    if (l_pLock == nullptr) {
        writeNoList(a_ppList, a_pCount);
        return;
    }
    if (g_OpenListCount == 0) {
        // The last close destroyed the previous manager, so this one starts fresh.
        l_pManager = createWithStatus<cSessionManager>(a_pStatus, *l_pLock);
        if (l_pManager == nullptr) {
            writeNoList(a_ppList, a_pCount);
            return;
        }
        tLockGuard l_Guard(*l_pLock);
        g_pSessionManager = l_pManager;
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
    bool l_Removed = false;
    withSessionManager([&](cSessionManager* a_pManager) {
        l_Removed = a_pManager != nullptr && a_pManager->removeList(a_pList);
    });
    // The manager's lock is released first: the finder lock is never taken under it.
    if (!l_Removed || g_pFinderLock == nullptr) {
        return;
    }
    tLockGuard l_FinderGuard(*g_pFinderLock);
    if (g_OpenListCount > 0 && --g_OpenListCount == 0) {
        destroyManager();
    }
}

void getNthItem(void* a_pList, std::uint32_t a_Index, void** a_ppItem,
                tStatus* a_pStatus) noexcept {
    withSessionManager([&](cSessionManager* a_pManager) {
        queryNthItem(a_pManager, a_pList, a_Index, a_ppItem, a_pStatus);
    });
}

void getU32Attribute(void* a_pItem, std::uint32_t a_AttributeId, std::uint32_t* a_pValue,
                     tStatus* a_pStatus) noexcept {
    withSessionManager([&](cSessionManager* a_pManager) {
        queryU32Attribute(a_pManager, a_pItem, a_AttributeId, a_pValue, a_pStatus);
    });
}

void getStringAttribute(void* a_pItem, std::uint32_t a_AttributeId, const char** a_ppValue,
                        tStatus* a_pStatus) noexcept {
    withSessionManager([&](cSessionManager* a_pManager) {
        queryStringAttribute(a_pManager, a_pItem, a_AttributeId, a_ppValue, a_pStatus);
    });
}

} // namespace nZU7461_14_0
