// The host as an adversary: the fuzzer's bytes choose a sequence of calls of the six exports,
// with handles that are open, closed long ago, of the wrong kind, slightly off or plain made
// up, and indices and attribute IDs from the edges. The simulator answers discovery (held
// loaded, so each openList is quick). A model of what is open decides every answer:
// - a call the model refuses answers -52005 and leaves its output exactly as it was;
// - a call the model accepts answers what the simulator's machine holds;
// - after every step the finder counts as many open lists as the model, and has a session
//   manager exactly while one is open;
// - closing everything at the end leaves no manager.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "source/finder.h"
#include "tests/fuzz/fuzzCheck.h"
#include "zu7461/zu7461.h"

namespace {

// The simulator's built-in machine: two chassis with these bridge values.
const std::vector<std::uint32_t> kBridgeValues = {1, 2};
constexpr std::size_t kMaxOpenLists = 6;
constexpr std::size_t kMaxSteps = 256;
constexpr std::size_t kMaxStale = 32;

class cBytes {
public:
    cBytes(const std::uint8_t* a_pData, std::size_t a_Size) : m_pData(a_pData), m_Size(a_Size) {}
    bool Empty() const { return m_At >= m_Size; }
    std::uint8_t Byte() { return m_At < m_Size ? m_pData[m_At++] : 0; }
    std::uint64_t Bytes(std::size_t a_Count) {
        std::uint64_t l_Value = 0;
        for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
            l_Value = (l_Value << 8) | Byte();
        }
        return l_Value;
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_Size;
    std::size_t m_At = 0;
};

struct tModel {
    std::map<void*, std::vector<void*>> lists;
    std::map<void*, std::uint32_t> items; // item handle to its bridge value
    std::vector<void*> stale;             // handles that were valid once

    void Forget(void* a_pHandle) {
        if (stale.size() == kMaxStale) {
            stale.erase(stale.begin());
        }
        stale.push_back(a_pHandle);
    }
    // A handle is never handed out again, however much was freed since.
    bool WasValid(void* a_pHandle) const {
        return std::find(stale.begin(), stale.end(), a_pHandle) != stale.end();
    }
};

void* nth(const std::map<void*, std::vector<void*>>& a_rLists, std::size_t a_Pick) {
    auto l_It = a_rLists.begin();
    std::advance(l_It, static_cast<long>(a_Pick % a_rLists.size()));
    return l_It->first;
}

// A handle of any kind the host could come up with.
void* pickHandle(cBytes& a_rBytes, const tModel& a_rModel) {
    const std::uint8_t l_Kind = a_rBytes.Byte();
    const std::size_t l_Pick = a_rBytes.Byte();
    switch (l_Kind % 8) {
    case 0:
        return nullptr;
    case 1:
    case 2:
        if (!a_rModel.lists.empty()) {
            return nth(a_rModel.lists, l_Pick);
        }
        break;
    case 3:
        if (!a_rModel.items.empty()) {
            auto l_It = a_rModel.items.begin();
            std::advance(l_It, static_cast<long>(l_Pick % a_rModel.items.size()));
            return l_It->first;
        }
        break;
    case 4:
        if (!a_rModel.stale.empty()) {
            return a_rModel.stale[l_Pick % a_rModel.stale.size()];
        }
        break;
    case 5:
        if (!a_rModel.lists.empty()) {
            // Inside a live object, but not its address.
            return static_cast<char*>(nth(a_rModel.lists, l_Pick)) + 1 + l_Pick % 15;
        }
        break;
    case 6:
        return const_cast<char*>("not a handle");
    default:
        break;
    }
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(a_rBytes.Bytes(8)));
}

std::uint32_t pickIndex(cBytes& a_rBytes) {
    const std::uint8_t l_Kind = a_rBytes.Byte();
    switch (l_Kind % 6) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return 2;
    case 3:
        return UINT32_MAX;
    case 4:
        return 0x80000000u;
    default:
        return static_cast<std::uint32_t>(a_rBytes.Bytes(4));
    }
}

std::uint32_t pickNumericAttribute(cBytes& a_rBytes) {
    static const std::uint32_t s_Edges[] = {ZU7461_ATTR_U32_KIND,
                                            ZU7461_ATTR_U32_BRIDGE_VALUE,
                                            1,
                                            0x1FFFF,
                                            0x20001,
                                            UINT32_MAX,
                                            0x20000300};
    const std::uint8_t l_Kind = a_rBytes.Byte();
    if (l_Kind < sizeof s_Edges / sizeof s_Edges[0]) {
        return s_Edges[l_Kind];
    }
    return l_Kind < 200 ? s_Edges[l_Kind % 2] : static_cast<std::uint32_t>(a_rBytes.Bytes(4));
}

std::uint32_t pickStringAttribute(cBytes& a_rBytes) {
    const std::uint8_t l_Kind = a_rBytes.Byte();
    if (l_Kind < 200) {
        return l_Kind % 4 == 3 ? 2 : l_Kind % 2;
    }
    return static_cast<std::uint32_t>(a_rBytes.Bytes(4));
}

void checkBookkeeping(const tModel& a_rModel) {
    ZU_FUZZ_CHECK(nZU7461_14_0::openListCount() == a_rModel.lists.size());
    ZU_FUZZ_CHECK((nZU7461_14_0::currentSessionManager() != nullptr) == !a_rModel.lists.empty());
}

void openList(cBytes& a_rBytes, tModel& a_rModel) {
    std::uint32_t l_Count = 0xC0FFEEu;
    void* const l_pUntouched = &l_Count;
    void* l_pList = l_pUntouched;
    const std::uint8_t l_Shape = a_rBytes.Byte();
    if (l_Shape % 8 == 0) {
        ZU_FUZZ_CHECK(nZUPXIFINDER100_openList(nullptr, &l_pList) ==
                      ZU7461_STATUS_INVALID_PARAMETER);
        ZU_FUZZ_CHECK(nZUPXIFINDER100_openList(&l_Count, nullptr) ==
                      ZU7461_STATUS_INVALID_PARAMETER);
        ZU_FUZZ_CHECK(l_pList == l_pUntouched && l_Count == 0xC0FFEEu);
        return;
    }
    if (a_rModel.lists.size() >= kMaxOpenLists) {
        return;
    }
    ZU_FUZZ_CHECK(nZUPXIFINDER100_openList(&l_Count, &l_pList) == 0);
    ZU_FUZZ_CHECK(l_Count == kBridgeValues.size());
    ZU_FUZZ_CHECK(l_pList != nullptr && l_pList != l_pUntouched);
    ZU_FUZZ_CHECK(a_rModel.lists.count(l_pList) == 0 && a_rModel.items.count(l_pList) == 0 &&
                  !a_rModel.WasValid(l_pList));
    std::vector<void*>& l_rItems = a_rModel.lists[l_pList];
    for (std::uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
        void* l_pItem = nullptr;
        ZU_FUZZ_CHECK(nZUPXIFINDER100_getNthItem(l_pList, l_Index, &l_pItem) == 0);
        ZU_FUZZ_CHECK(l_pItem != nullptr && a_rModel.items.count(l_pItem) == 0 &&
                      a_rModel.lists.count(l_pItem) == 0 && !a_rModel.WasValid(l_pItem));
        a_rModel.items[l_pItem] = kBridgeValues[l_Index];
        l_rItems.push_back(l_pItem);
    }
}

void closeList(void* a_pHandle, tModel& a_rModel) {
    nZUPXIFINDER100_closeList(a_pHandle);
    const auto l_It = a_rModel.lists.find(a_pHandle);
    if (l_It == a_rModel.lists.end()) {
        return;
    }
    for (void* l_pItem : l_It->second) {
        a_rModel.items.erase(l_pItem);
        a_rModel.Forget(l_pItem);
    }
    a_rModel.lists.erase(l_It);
    a_rModel.Forget(a_pHandle);
}

void getNthItem(cBytes& a_rBytes, const tModel& a_rModel) {
    void* const l_pList = pickHandle(a_rBytes, a_rModel);
    const std::uint32_t l_Index = pickIndex(a_rBytes);
    void* const l_pUntouched = reinterpret_cast<void*>(std::uintptr_t{0x5A5A5A5A});
    void* l_pItem = l_pUntouched;
    if (a_rBytes.Byte() % 16 == 0) {
        ZU_FUZZ_CHECK(nZUPXIFINDER100_getNthItem(l_pList, l_Index, nullptr) ==
                      ZU7461_STATUS_INVALID_PARAMETER);
        return;
    }
    const std::int32_t l_Code = nZUPXIFINDER100_getNthItem(l_pList, l_Index, &l_pItem);
    const auto l_It = a_rModel.lists.find(l_pList);
    if (l_It != a_rModel.lists.end() && l_Index < l_It->second.size()) {
        ZU_FUZZ_CHECK(l_Code == 0 && l_pItem == l_It->second[l_Index]);
    } else {
        ZU_FUZZ_CHECK(l_Code == ZU7461_STATUS_INVALID_PARAMETER && l_pItem == l_pUntouched);
    }
}

void getU32Attribute(cBytes& a_rBytes, const tModel& a_rModel) {
    void* const l_pItem = pickHandle(a_rBytes, a_rModel);
    const std::uint32_t l_Attribute = pickNumericAttribute(a_rBytes);
    std::uint32_t l_Value = 0xA5A5A5A5u;
    if (a_rBytes.Byte() % 16 == 0) {
        ZU_FUZZ_CHECK(nZUPXIFINDER100_getU32Attribute(l_pItem, l_Attribute, nullptr) ==
                      ZU7461_STATUS_INVALID_PARAMETER);
        return;
    }
    const std::int32_t l_Code = nZUPXIFINDER100_getU32Attribute(l_pItem, l_Attribute, &l_Value);
    const auto l_It = a_rModel.items.find(l_pItem);
    if (l_It != a_rModel.items.end() && l_Attribute == ZU7461_ATTR_U32_KIND) {
        ZU_FUZZ_CHECK(l_Code == 0 && l_Value == 2);
    } else if (l_It != a_rModel.items.end() && l_Attribute == ZU7461_ATTR_U32_BRIDGE_VALUE) {
        ZU_FUZZ_CHECK(l_Code == 0 && l_Value == l_It->second);
    } else {
        ZU_FUZZ_CHECK(l_Code == ZU7461_STATUS_INVALID_PARAMETER && l_Value == 0xA5A5A5A5u);
    }
}

void getStringAttribute(cBytes& a_rBytes, const tModel& a_rModel) {
    void* const l_pItem = pickHandle(a_rBytes, a_rModel);
    const std::uint32_t l_Attribute = pickStringAttribute(a_rBytes);
    const char* const l_pUntouched = "untouched";
    const char* l_pText = l_pUntouched;
    if (a_rBytes.Byte() % 16 == 0) {
        ZU_FUZZ_CHECK(nZUPXIFINDER100_getStringAttribute(l_pItem, l_Attribute, nullptr) ==
                      ZU7461_STATUS_INVALID_PARAMETER);
        return;
    }
    const std::int32_t l_Code = nZUPXIFINDER100_getStringAttribute(l_pItem, l_Attribute, &l_pText);
    const bool l_Known = a_rModel.items.count(l_pItem) != 0;
    if (l_Known && l_Attribute == ZU7461_ATTR_STRING_MAKER) {
        ZU_FUZZ_CHECK(l_Code == 0 && std::strcmp(l_pText, "Velmora") == 0);
    } else if (l_Known && l_Attribute == ZU7461_ATTR_STRING_MODEL) {
        ZU_FUZZ_CHECK(l_Code == 0 && std::strcmp(l_pText, "ZU PXI-7461") == 0);
    } else {
        ZU_FUZZ_CHECK(l_Code == ZU7461_STATUS_INVALID_PARAMETER && l_pText == l_pUntouched);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nZU7461_14_0::moduleAttach();
    // Held for the whole run, so the finder's load by name finds it at once.
    char l_Path[PATH_MAX];
    const ssize_t l_Length = readlink("/proc/self/exe", l_Path, sizeof l_Path - 1);
    ZU_FUZZ_CHECK(l_Length > 0);
    std::string l_Simulator(l_Path, static_cast<std::size_t>(l_Length));
    l_Simulator = l_Simulator.substr(0, l_Simulator.rfind('/')) + "/zupcibrd.so";
    ZU_FUZZ_CHECK(dlopen(l_Simulator.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    cBytes l_Bytes(a_pData, a_Size);
    tModel l_Model;
    for (std::size_t l_Step = 0; l_Step < kMaxSteps && !l_Bytes.Empty(); ++l_Step) {
        switch (l_Bytes.Byte() % 6) {
        case 0:
            openList(l_Bytes, l_Model);
            break;
        case 1:
            closeList(pickHandle(l_Bytes, l_Model), l_Model);
            break;
        case 2:
            getNthItem(l_Bytes, l_Model);
            break;
        case 3:
            getU32Attribute(l_Bytes, l_Model);
            break;
        case 4:
            getStringAttribute(l_Bytes, l_Model);
            break;
        default:
            ZU_FUZZ_CHECK(nZUPXIFINDER100_getControllerIDSELMap() ==
                          ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED);
            break;
        }
        checkBookkeeping(l_Model);
    }
    while (!l_Model.lists.empty()) {
        closeList(l_Model.lists.begin()->first, l_Model);
    }
    checkBookkeeping(l_Model);
    ZU_FUZZ_CHECK(nZU7461_14_0::currentSessionManager() == nullptr);
    return 0;
}
