// Any handle: refused calls write nothing, others answer the simulator's two chassis.
#include <dlfcn.h>

#include <filesystem>
#include <map>

#include "source/finder.h"
#include "tests/fuzz/fuzzCheck.h"
#include "zu7461/zu7461.h"

namespace {

const std::uint32_t kAttributes[] = {0, 0x20000, 1, 2, 0x1FFFF, 0x20001, 0xFFFFFFFF, 0x20000300};
const char* const kTexts[] = {"Velmora", "ZU PXI-7461"};

struct tModel {
    std::map<void*, std::vector<void*>> lists;
    std::map<void*, std::uint32_t> items; // item to its bridge value
    std::vector<void*> given;             // open or closed, for none may be handed out twice

    void Give(void* a_pHandle) {
        ZU_FUZZ_CHECK(a_pHandle != nullptr &&
                      std::find(given.begin(), given.end(), a_pHandle) == given.end());
        given.push_back(a_pHandle);
    }
    // Open, closed, of the wrong kind, inside an object but not its address, or made up.
    void* Pick(std::uint8_t a_Kind, std::uint8_t a_Pick) const {
        void* const l_pGiven = given.empty() ? nullptr : given[a_Pick % given.size()];
        void* const l_Choices[] = {
            nullptr,
            l_pGiven,
            const_cast<char*>("not a handle"),
            lists.empty() ? l_pGiven : std::next(lists.begin(), a_Pick % lists.size())->first,
            items.empty() ? l_pGiven : std::next(items.begin(), a_Pick % items.size())->first,
            reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(l_pGiven) + 1 + a_Pick % 15),
            reinterpret_cast<void*>(static_cast<std::uintptr_t>(a_Pick) << 12 | a_Kind)};
        return l_Choices[a_Kind % 7];
    }
    void Close(void* a_pHandle) {
        nZUPXIFINDER100_closeList(a_pHandle);
        for (void* l_pItem : lists[a_pHandle]) {
            items.erase(l_pItem);
        }
        lists.erase(a_pHandle);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nZU7461_14_0::moduleAttach();
    // Held loaded for the whole run, so that each openList finds the simulator at once.
    const auto l_Simulator =
        std::filesystem::read_symlink("/proc/self/exe").replace_filename("zupcibrd.so");
    ZU_FUZZ_CHECK(dlopen(l_Simulator.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    std::size_t l_At = 0;
    const auto l_Byte = [&]() -> std::uint8_t { return l_At < a_Size ? a_pData[l_At++] : 0; };
    tModel l_Model;
    for (std::size_t l_Step = 0; l_Step < 256 && l_At < a_Size; ++l_Step) {
        const std::uint8_t l_Call = l_Byte() % 5, l_Kind = l_Byte(), l_Pick = l_Byte(),
                           l_Arg = l_Byte();
        const bool l_NullOut = l_Byte() % 16 == 0;
        void* const l_pHandle = l_Model.Pick(l_Kind, l_Pick);
        const auto l_List = l_Model.lists.find(l_pHandle);
        const auto l_Item = l_Model.items.find(l_pHandle);
        const std::uint32_t l_Index = l_Arg < 250 ? l_Arg % 4 : 0xFFFFFFFFu << (l_Arg % 2 * 31);
        const std::uint32_t l_Attribute = kAttributes[l_Arg % 8];
        // Whether the call must succeed, what it answered, and whether its output is right.
        bool l_Valid = !l_NullOut && l_Item != l_Model.items.end(), l_Output = false;
        std::int32_t l_Code = 0;
        if (l_Call == 0 && l_Model.lists.size() < 6) { // six lists are enough to pick from
            std::uint32_t l_Count = 0;
            void* l_pList = nullptr;
            ZU_FUZZ_CHECK(nZUPXIFINDER100_openList(&l_Count, &l_pList) == 0 && l_Count == 2);
            l_Model.Give(l_pList);
            for (std::uint32_t l_Next = 0; l_Next < 2; ++l_Next) {
                void* l_pItem = nullptr;
                ZU_FUZZ_CHECK(nZUPXIFINDER100_getNthItem(l_pList, l_Next, &l_pItem) == 0);
                l_Model.Give(l_pItem);
                l_Model.items[l_pItem] = l_Next + 1;
                l_Model.lists[l_pList].push_back(l_pItem);
            }
            continue;
        } else if (l_Call <= 1) {
            l_Model.Close(l_pHandle);
            continue;
        } else if (l_Call == 2) {
            void* l_pItem = &l_Model;
            l_Valid =
                !l_NullOut && l_List != l_Model.lists.end() && l_Index < l_List->second.size();
            l_Code = nZUPXIFINDER100_getNthItem(l_pHandle, l_Index, l_NullOut ? nullptr : &l_pItem);
            l_Output = l_pItem == (l_Valid ? l_List->second[l_Index] : &l_Model);
        } else if (l_Call == 3) {
            std::uint32_t l_Value = 0xA5A5A5A5u;
            l_Valid = l_Valid && (l_Attribute == ZU7461_ATTR_U32_KIND ||
                                  l_Attribute == ZU7461_ATTR_U32_BRIDGE_VALUE);
            l_Code = nZUPXIFINDER100_getU32Attribute(l_pHandle, l_Attribute,
                                                     l_NullOut ? nullptr : &l_Value);
            l_Output = l_Value == (!l_Valid                              ? 0xA5A5A5A5u
                                   : l_Attribute == ZU7461_ATTR_U32_KIND ? 2u
                                                                         : l_Item->second);
        } else {
            const char* l_pText = kTexts[0] + 1; // an address no answer has
            l_Valid = l_Valid && l_Attribute < 2;
            l_Code = nZUPXIFINDER100_getStringAttribute(l_pHandle, l_Attribute,
                                                        l_NullOut ? nullptr : &l_pText);
            l_Output =
                l_Valid ? std::strcmp(l_pText, kTexts[l_Attribute]) == 0 : l_pText == kTexts[0] + 1;
        }
        ZU_FUZZ_CHECK(l_Code == (l_Valid ? 0 : ZU7461_STATUS_INVALID_PARAMETER) && l_Output);
    }
    while (!l_Model.lists.empty()) {
        l_Model.Close(l_Model.lists.begin()->first);
    }
    return 0;
}
