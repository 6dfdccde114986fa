// Owner of every open list and every chassis record, and the checker of the host's handles.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/synchronization.h"
#include "source/cPxi7461Chassis.h"
#include "status/tStatus.h"

namespace nZU7461_14_0 {

// Records in the order discovery found them; the list owns them once registered.
using tChassisArray = std::vector<cPxi7461Chassis*>;

// What the host holds: an opaque value drawn from a counter of the module's lifetime, so a
// handle is never handed out twice while the module is loaded, whatever was freed and reused in
// between. List and item handles come from the same counter, so one never passes for the other.
using tHandle = std::uintptr_t;

struct tChassisEntry {
    tHandle m_Handle;
    cPxi7461Chassis* m_pRecord;
};

struct tChassisList {
    std::vector<tChassisEntry> m_Items;
};

// Locking: the manager does not own its lock. The lock lives as long as the module, so that a
// call can take it, find that the manager is gone, and answer; a lock inside the manager would
// die with it under a waiting caller. createList takes the lock itself, after discovery; every
// other operation expects its caller to hold it (the module-level operations of finder.h do).
class cSessionManager {
public:
    explicit cSessionManager(tCriticalSection& a_rLock) noexcept : m_rLock(a_rLock) {}
    cSessionManager(const cSessionManager&) = delete;
    cSessionManager& operator=(const cSessionManager&) = delete;

    void createList(void** a_ppList, std::uint32_t* a_pCount, tStatus* a_pStatus) noexcept;
    bool removeList(void* a_pList) noexcept;
    void getNthItem(void* a_pList, std::uint32_t a_Index, void** a_ppItem,
                    tStatus* a_pStatus) noexcept;
    void getU32Attribute(void* a_pItem, std::uint32_t a_AttributeId, std::uint32_t* a_pValue,
                         tStatus* a_pStatus) noexcept;
    void getStringAttribute(void* a_pItem, std::uint32_t a_AttributeId, const char** a_ppValue,
                            tStatus* a_pStatus) noexcept;
    void findChassis(tChassisArray& a_rFound, tStatus* a_pStatus) noexcept;

private:
    // Ordered by handle value; the mapped object is only reached once the key is found. Both
    // maps are guarded by m_rLock.
    std::map<tHandle, tChassisList*> m_OpenLists;
    std::map<tHandle, cPxi7461Chassis*> m_Items;
    tCriticalSection& m_rLock;
};

// The queries as the exported functions make them, with the manager's lock held: with no
// manager at all (no list open), every handle is unknown and is answered at the operation's own
// place.
void queryNthItem(cSessionManager* a_pManager, void* a_pList, std::uint32_t a_Index,
                  void** a_ppItem, tStatus* a_pStatus) noexcept;
void queryU32Attribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                       std::uint32_t* a_pValue, tStatus* a_pStatus) noexcept;
void queryStringAttribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                          const char** a_ppValue, tStatus* a_pStatus) noexcept;

} // namespace nZU7461_14_0
