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
constexpr std::uint16_t kChassisSubsystemVendorId = 0x1F3C;
constexpr std::uint16_t kChassisSubsystemId = 0x5C2E;
// Its low 16 bits tell the chassis apart.
constexpr std::uint32_t kBridgeValueAttribute = 0x20000300;

std::atomic<tChassisSource> g_ChassisSource{nullptr};

std::uintptr_t handleKey(const void* a_pHandle) {
    return reinterpret_cast<std::uintptr_t>(a_pHandle);
}

void releaseRecords(tChassisArray& a_rRecords) {
    for (cPxi7461Chassis* l_pRecord : a_rRecords) {
        destroyAndRelease(l_pRecord);
    }
}

} // namespace

tChassisSource setChassisSourceForTesting(tChassisSource a_Source) {
    return g_ChassisSource.exchange(a_Source);
}

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

cSessionManager::cSessionManager(tStatus* a_pStatus) noexcept : m_pLock(nullptr) {
    if (!isFailed(a_pStatus)) {
        m_pLock = createWithStatus<tCriticalSection>(a_pStatus, a_pStatus);
    }
    if (isFailed(a_pStatus)) {
        destroyAndRelease(m_pLock);
        m_pLock = nullptr;
    }
}

cSessionManager::~cSessionManager() {
    destroyAndRelease(m_pLock);
    m_pLock = nullptr;
    m_Items.clear();
    m_OpenLists.clear();
}

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
            l_pList->m_Items.assign(l_Found.begin(), l_Found.end());
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineAppendToList);
        }
    }

    // A manager whose construction failed is never published, so the lock exists here.
    std::size_t l_Entered = 0;
    m_pLock->lock();
    if (!isFailed(a_pStatus)) {
        try {
            for (cPxi7461Chassis* l_pRecord : l_pList->m_Items) {
                m_Items.insert(handleKey(l_pRecord));
                ++l_Entered;
            }
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineEnterItem);
        }
    }
    *a_ppList = l_pList;
    if (!isFailed(a_pStatus)) {
        try {
            m_OpenLists.insert(handleKey(l_pList));
        } catch (const std::bad_alloc&) {
            raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineEnterList);
        }
    }
    *a_pCount = static_cast<std::uint32_t>(l_pList->m_Items.size());

    if (isFailed(a_pStatus)) {
        for (std::size_t l_Index = 0; l_Index < l_Entered; ++l_Index) {
            m_Items.erase(handleKey(l_pList->m_Items[l_Index]));
        }
        releaseRecords(l_Found);
        destroyAndRelease(l_pList);
        *a_ppList = nullptr;
        *a_pCount = 0;
    }
    m_pLock->unlock();
}

bool cSessionManager::removeList(void* a_pList) noexcept {
    tLockGuard l_Guard(*m_pLock);
    const tHandleSet::iterator l_Open = m_OpenLists.find(handleKey(a_pList));
    if (l_Open == m_OpenLists.end()) {
        return false;
    }
    tChassisList* l_pList = static_cast<tChassisList*>(a_pList);
    for (cPxi7461Chassis* l_pRecord : l_pList->m_Items) {
        m_Items.erase(handleKey(l_pRecord));
        destroyAndRelease(l_pRecord);
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
    tLockGuard l_Guard(*m_pLock);
    // The handle is looked up before it is dereferenced: hosts hand us anything.
    if (m_OpenLists.count(handleKey(a_pList)) != 0 && a_ppItem != nullptr) {
        const tChassisList* l_pList = static_cast<const tChassisList*>(a_pList);
        if (a_Index < l_pList->m_Items.size()) {
            *a_ppItem = l_pList->m_Items[a_Index];
            return;
        }
    }
    raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetNthItem);
}

bool cSessionManager::isItem(void* a_pItem) const {
    return m_Items.count(handleKey(a_pItem)) != 0;
}

void cSessionManager::getU32Attribute(void* a_pItem, std::uint32_t a_AttributeId,
                                      std::uint32_t* a_pValue, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    tLockGuard l_Guard(*m_pLock);
    if (!isItem(a_pItem)) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetU32Attribute);
        return;
    }
    static_cast<const cPxi7461Chassis*>(a_pItem)->getU32Attribute(a_AttributeId, a_pValue,
                                                                  a_pStatus);
}

void cSessionManager::getStringAttribute(void* a_pItem, std::uint32_t a_AttributeId,
                                         const char** a_ppValue, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return;
    }
    tLockGuard l_Guard(*m_pLock);
    if (!isItem(a_pItem)) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineGetStringAttribute);
        return;
    }
    static_cast<const cPxi7461Chassis*>(a_pItem)->getStringAttribute(a_AttributeId, a_ppValue,
                                                                     a_pStatus);
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
    if (const tChassisSource l_Source = g_ChassisSource.load()) {
        l_Source(a_rFound, a_pStatus);
        return;
    }
    // Everything of the bridge driver library lives for this run only: the run's status, the
    // wrapper with the loaded library and its session, and the bridge references.
    tDetailedStatus l_Run = makeDetailedStatus();
    {
        nZuPciBrdWrapper_15_0::cPciBrdWrapper_sc l_Wrapper(&l_Run);
        l_Wrapper.OpenSession(kSessionFlags, &l_Run);
        std::vector<std::uint32_t> l_Bridges;
        const std::uint16_t l_SubsystemVendorId = kChassisSubsystemVendorId;
        const std::uint16_t l_SubsystemId = kChassisSubsystemId;
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
                    l_Wrapper.GetAttributeU32(l_Bridge, kBridgeValueAttribute, l_Value,
                                              l_Lent.get());
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
