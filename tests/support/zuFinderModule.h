// The finder module loaded through the platform loader, with its six exports, as a host has it.
#pragma once

#include <string>

#include "tests/support/zuModuleLoader.h"
#include "zu7461/zu7461.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace zuTest {

class tFinderModule {
public:
    explicit tFinderModule(const std::string& a_rPath = modulePath("zu7461")) : m_Module(a_rPath) {}

private:
    tLoadedModule m_Module;

public:
#define ZU_TEST_EXPORT(a_Name)                                                                     \
    const tZU7461_##a_Name a_Name = m_Module.get<tZU7461_##a_Name>("nZUPXIFINDER100_" #a_Name)
    ZU_TEST_EXPORT(openList);
    ZU_TEST_EXPORT(closeList);
    ZU_TEST_EXPORT(getNthItem);
    ZU_TEST_EXPORT(getU32Attribute);
    ZU_TEST_EXPORT(getStringAttribute);
    ZU_TEST_EXPORT(getControllerIDSELMap);
#undef ZU_TEST_EXPORT
};

// Whether a module of this file name is loaded in the process now.
inline bool isModuleLoaded(const char* a_pWindowsName) {
#ifdef _WIN32
    return GetModuleHandleA(a_pWindowsName) != nullptr;
#else
    std::string l_Name(a_pWindowsName);
    void* l_pModule =
        dlopen((l_Name.substr(0, l_Name.rfind('.')) + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (l_pModule != nullptr) {
        dlclose(l_pModule);
    }
    return l_pModule != nullptr;
#endif
}

} // namespace zuTest
