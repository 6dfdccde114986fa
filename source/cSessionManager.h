// Owner of every open list and every chassis record, and the checker of the host's handles.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "platform/synchronization.h"
#include "source/cPxi7461Chassis.h"
#include "status/tStatus.h"

namespace nZU7461_14_0 {

// Records in the order discovery found them; the list owns them once registered.
using tChassisArray = std::vector<cPxi7461Chassis*>;

struct tChassisList {
    tChassisArray m_Items;
};

class cSessionManager {
public:
    explicit cSessionManager(tStatus* a_pStatus) noexcept;
    ~cSessionManager();
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

    // False after a failed construction; such a manager is destroyed before anyone sees it.
    bool isUsable() const { return m_pLock != nullptr; }

private:
    using tHandleSet = std::set<std::uintptr_t>;

    bool isItem(void* a_pItem) const;

    tHandleSet m_OpenLists;
    tHandleSet m_Items;
    tCriticalSection* m_pLock;
};

// The queries as the exported functions make them: with no manager at all (no list open),
// every handle is unknown and is answered at the operation's own place.
void queryNthItem(cSessionManager* a_pManager, void* a_pList, std::uint32_t a_Index,
                  void** a_ppItem, tStatus* a_pStatus) noexcept;
void queryU32Attribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                       std::uint32_t* a_pValue, tStatus* a_pStatus) noexcept;
void queryStringAttribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                          const char** a_ppValue, tStatus* a_pStatus) noexcept;

// Creates a chassis record and appends it to a_rFound, or records why it could not.
void appendChassis(tChassisArray& a_rFound, std::uint16_t a_BridgeValue, tStatus* a_pStatus);

// Test seam: when set, discovery takes its records from this source instead of the bridge
// driver library. Sources add records with appendChassis. Returns the previous source.
using tChassisSource = void (*)(tChassisArray& a_rFound, tStatus* a_pStatus);
tChassisSource setChassisSourceForTesting(tChassisSource a_Source);

} // namespace nZU7461_14_0
