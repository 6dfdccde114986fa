// The finder module loaded through the platform loader, with its six exports, as a host has it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "tests/support/zuModuleLoader.h"
#include "zu7461/zu7461.h"

namespace zuTest {

struct tChassisSeen {
    std::uint32_t kind;
    std::uint32_t bridgeValue;
    std::string maker;
    std::string model;
};

class tFinderModule {
public:
    explicit tFinderModule(const std::string& a_rPath = modulePath("zu7461"))
        : m_Module(a_rPath), openList(m_Module.get<tZU7461_openList>("nZUPXIFINDER100_openList")),
          closeList(m_Module.get<tZU7461_closeList>("nZUPXIFINDER100_closeList")),
          getNthItem(m_Module.get<tZU7461_getNthItem>("nZUPXIFINDER100_getNthItem")),
          getU32Attribute(m_Module.get<tZU7461_getU32Attribute>("nZUPXIFINDER100_getU32Attribute")),
          getStringAttribute(
              m_Module.get<tZU7461_getStringAttribute>("nZUPXIFINDER100_getStringAttribute")),
          getControllerIDSELMap(m_Module.get<tZU7461_getControllerIDSELMap>(
              "nZUPXIFINDER100_getControllerIDSELMap")) {}

    // Walks a list as a host does and reads every attribute of every chassis.
    std::vector<tChassisSeen> walk(void* a_pList, std::uint32_t a_Count) const {
        std::vector<tChassisSeen> l_Seen;
        for (std::uint32_t l_Index = 0; l_Index < a_Count; ++l_Index) {
            void* l_pItem = nullptr;
            tChassisSeen l_Chassis{};
            const char* l_pMaker = "";
            const char* l_pModel = "";
            if (getNthItem(a_pList, l_Index, &l_pItem) != 0 ||
                getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Chassis.kind) != 0 ||
                getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Chassis.bridgeValue) !=
                    0 ||
                getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MAKER, &l_pMaker) != 0 ||
                getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MODEL, &l_pModel) != 0) {
                l_Chassis.kind = 0xFFFFFFFF;
            }
            l_Chassis.maker = l_pMaker;
            l_Chassis.model = l_pModel;
            l_Seen.push_back(l_Chassis);
        }
        return l_Seen;
    }

    // Bridge values of the chassis an openList finds; the list is closed again.
    std::vector<std::uint32_t> bridgeValues(std::int32_t* a_pCode = nullptr) const {
        std::uint32_t l_Count = 0;
        void* l_pList = nullptr;
        const std::int32_t l_Code = openList(&l_Count, &l_pList);
        if (a_pCode != nullptr) {
            *a_pCode = l_Code;
        }
        std::vector<std::uint32_t> l_Values;
        for (const tChassisSeen& l_Chassis : walk(l_pList, l_Count)) {
            l_Values.push_back(l_Chassis.bridgeValue);
        }
        closeList(l_pList);
        return l_Values;
    }

private:
    tLoadedModule m_Module;

public:
    const tZU7461_openList openList;
    const tZU7461_closeList closeList;
    const tZU7461_getNthItem getNthItem;
    const tZU7461_getU32Attribute getU32Attribute;
    const tZU7461_getStringAttribute getStringAttribute;
    const tZU7461_getControllerIDSELMap getControllerIDSELMap;
};

// Whether a module of this file name is loaded in the process now.
inline bool isModuleLoaded(const char* a_pWindowsName) {
#ifdef _WIN32
    return GetModuleHandleA(a_pWindowsName) != nullptr;
#else
    std::string l_Name(a_pWindowsName);
    l_Name = l_Name.substr(0, l_Name.rfind('.')) + ".so";
    void* l_pModule = dlopen(l_Name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (l_pModule != nullptr) {
        dlclose(l_pModule);
        return true;
    }
    return false;
#endif
}

} // namespace zuTest
