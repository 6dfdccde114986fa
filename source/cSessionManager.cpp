#include "source/cSessionManager.h"

#include <atomic>
#include <new>

#include "pcibrd/cPciBrdWrapper_sc.h"
#include "platform/memoryAllocation.h"
#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "cSessionManager";
constexpr std::uint32_t kLineGetNthItem = 163;
constexpr std::uint32_t kLineGetU32Attribute = 192;
constexpr std::uint32_t kLineGetStringAttribute = 228;
constexpr std::uint32_t kLineAppendToList = 276;
constexpr std::uint32_t kLineEnterItem = 285;
constexpr std::uint32_t kLineEnterList = 296;
constexpr std::uint32_t kLineAppendFound = 435;

constexpr std::uint32_t kSessionFlags = 0;

static_assert(sizeof(tHandle) == sizeof(std::uint64_t), "a handle counter must never wrap");
std::atomic<std::uint64_t> g_HandleCounter{0};

// Handles lie kHandleStride apart, far above any small integer, so the neighbours of a live
// handle (one past an item, a list plus eight) name nothing: pointer arithmetic a host does on
// a handle finds no other list or item. They rise with the counter, so a list's items lie side
// by side in the ordered maps, as a host walks them.
constexpr std::uint64_t kFirstHandle = std::uint64_t{1} << 40;
constexpr std::uint64_t kHandleStride = 256;

tHandle nextHandle() {
    const std::uint64_t l_Count = g_HandleCounter.fetch_add(1, std::memory_order_relaxed);
    return static_cast<tHandle>(kFirstHandle + l_Count * kHandleStride);
}

void* handleValue(tHandle a_Handle) {
    return reinterpret_cast<void*>(a_Handle);
}

tHandle handleKey(const void* a_pHandle) {
    return reinterpret_cast<tHandle>(a_pHandle);
}

void releaseRecords(tChassisArray& a_rRecords) {
    for (cPxi7461Chassis* l_pRecord : a_rRecords) {
        destroyAndRelease(l_pRecord);
    }
}

// Creates a chassis record and appends it to a_rFound, or records why it could not.
void appendChassis(tChassisArray& a_rFound, std::uint16_t a_BridgeValue, tStatus* a_pStatus) {
    cPxi7461Chassis* l_pRecord = createWithStatus<cPxi7461Chassis>(a_pStatus, a_BridgeValue);
    if (l_pRecord == nullptr) {
        return;
    }
    try {
        a_rFound.push_back(l_pRecord);
    } catch (const std::bad_alloc&) {
        raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineAppendFound);
        destroyAndRelease(l_pRecord);
    }
}

} // namespace

void cSessionManager::createList(void** a_ppList, std::uint32_t* a_pCount,
                                 tStatus* a_pStatus) noexcept {
    tChassisArray l_Found;
    tChassisList* l_pList = createWithStatus<tChassisList>(a_pStatus);
    if (l_pList == nullptr) {
        *a_ppList = nullptr;
        *a_pCount = 0;
        return;
    }

    findChassis(l_Found, a_pStatus);

    if (!isFailed(a_pStatus)) {
        try {
            l_pList->m_Items.reserve(l_Found.size());
            for (cPxi7461Chassis* l_pRecord : l_Found) {
                l_pList->m_Items.push_back(tChassisEntry{nextHandle(), l_pRecord});
            }
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineAppendToList);
        }
    }

    tLockGuard l_Guard(m_rLock);
    std::size_t l_Entered = 0;
    if (!isFailed(a_pStatus)) {
        try {
            for (const tChassisEntry& l_rEntry : l_pList->m_Items) {
                m_Items.emplace(l_rEntry.m_Handle, l_rEntry.m_pRecord);
                ++l_Entered;
            }
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineEnterItem);
        }
    }
    const tHandle l_ListHandle = nextHandle();
    *a_ppList = handleValue(l_ListHandle);
    if (!isFailed(a_pStatus)) {
        try {
            m_OpenLists.emplace(l_ListHandle, l_pList);
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineEnterList);
        }
    }
    *a_pCount = static_cast<std::uint32_t>(l_pList->m_Items.size());

    if (isFailed(a_pStatus)) {
        for (std::size_t l_Index = 0; l_Index < l_Entered; ++l_Index) {
            m_Items.erase(l_pList->m_Items[l_Index].m_Handle);
        }
        releaseRecords(l_Found);
        destroyAndRelease(l_pList);
        *a_ppList = nullptr;
        *a_pCount = 0;
    }
}

bool cSessionManager::removeList(void* a_pList) noexcept {
    const auto l_Open = m_OpenLists.find(handleKey(a_pList));
    if (l_Open == m_OpenLists.end()) {
        return false;
    }
    tChassisList* const l_pList = l_Open->second;
    for (const tChassisEntry& l_rEntry : l_pList->m_Items) {
        m_Items.erase(l_rEntry.m_Handle);
        destroyAndRelease(l_rEntry.m_pRecord);
    }
    destroyAndRelease(l_pList);
    m_OpenLists.erase(l_Open);
    return true;
}

void cSessionManager::getNthItem(void* a_pList, std::uint32_t a_Index, void** a_ppItem,
                                 tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    const auto l_Open = m_OpenLists.find(handleKey(a_pList));
    if (l_Open != m_OpenLists.end() && a_ppItem != nullptr) {
        const tChassisList* l_pList = l_Open->second;
        if (a_Index < l_pList->m_Items.size()) {
            *a_ppItem = handleValue(l_pList->m_Items[a_Index].m_Handle);
            return;
        }
    }
    raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetNthItem);
}

void cSessionManager::getU32Attribute(void* a_pItem, std::uint32_t a_AttributeId,
                                      std::uint32_t* a_pValue, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    const auto l_Item = m_Items.find(handleKey(a_pItem));
    if (l_Item == m_Items.end()) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetU32Attribute);
        return;
    }
    l_Item->second->getU32Attribute(a_AttributeId, a_pValue, a_pStatus);
}

void cSessionManager::getStringAttribute(void* a_pItem, std::uint32_t a_AttributeId,
                                         const char** a_ppValue, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    const auto l_Item = m_Items.find(handleKey(a_pItem));
    if (l_Item == m_Items.end()) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetStringAttribute);
        return;
    }
    l_Item->second->getStringAttribute(a_AttributeId, a_ppValue, a_pStatus);
}

void queryNthItem(cSessionManager* a_pManager, void* a_pList, std::uint32_t a_Index,
                  void** a_ppItem, tStatus* a_pStatus) noexcept {
    if (a_pManager != nullptr) {
        a_pManager->getNthItem(a_pList, a_Index, a_ppItem, a_pStatus);
    } else {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetNthItem);
    }
}

void queryU32Attribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                       std::uint32_t* a_pValue, tStatus* a_pStatus) noexcept {
    if (a_pManager != nullptr) {
        a_pManager->getU32Attribute(a_pItem, a_AttributeId, a_pValue, a_pStatus);
    } else {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetU32Attribute);
    }
}

void queryStringAttribute(cSessionManager* a_pManager, void* a_pItem, std::uint32_t a_AttributeId,
                          const char** a_ppValue, tStatus* a_pStatus) noexcept {
    if (a_pManager != nullptr) {
        a_pManager->getStringAttribute(a_pItem, a_AttributeId, a_ppValue, a_pStatus);
    } else {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetStringAttribute);
    }
}

void cSessionManager::findChassis(tChassisArray& a_rFound, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    // Everything of the bridge driver library lives for this run only: the run's status, the
    // wrapper with the loaded library and its session, and the bridge references.
    tDetailedStatus l_Run = makeDetailedStatus();
    {
        nZuPciBrdWrapper_15_0::cPciBrdWrapper_sc l_Wrapper(&l_Run);
        l_Wrapper.OpenSession(kSessionFlags, &l_Run);
        std::vector<std::uint32_t> l_Bridges;
        const std::uint16_t l_SubsystemVendorId = ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID;
        const std::uint16_t l_SubsystemId = ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
        // Null vendor and device IDs match any bridge: only the subsystem IDs name the chassis.
        l_Wrapper.FindBridgesByPciIds(nullptr, nullptr, &l_SubsystemVendorId, &l_SubsystemId,
                                      l_Bridges, &l_Run);
        {
            tStatusScope l_Outcome(&l_Run);
            mergeStatus(a_pStatus, l_Outcome.get());
        }
        if (!isFailed(a_pStatus)) {
            for (const std::uint32_t l_Bridge : l_Bridges) {
                std::uint32_t l_Value = 0;
                {
                    // Lent with the current code, so a failed bridge stops every later read.
                    tDetailedStatusScope l_Lent(a_pStatus);
                    l_Wrapper.GetAttributeU32(l_Bridge, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE,
                                              l_Value, l_Lent.get());
                }
                if (isFailed(a_pStatus)) {
                    continue;
                }
                appendChassis(a_rFound, static_cast<std::uint16_t>(l_Value & 0xFFFFu), a_pStatus);
            }
        }
        l_Wrapper.CloseSession();
    }
    releaseDetailedStatus(&l_Run);
}

} // namespace nZU7461_14_0
