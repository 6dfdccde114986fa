// Loads one of this build's modules through the platform loader, as a host does. Paths in this
// build are plain ASCII, so byte-wise widening and the narrow Windows calls are exact.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/zuPlatform.h"

namespace zuTest {

// The folder of the running test program, where the build puts every binary.
using nZuPlatform::executableFolder;

// "zu7461" gives zu7461.dll or zu7461.so in the program's folder (or a sub-folder).
inline std::string modulePath(const std::string& a_rName, const std::string& a_rSubFolder = "") {
#ifdef _WIN32
    const std::string l_Separator = "\\", l_Suffix = ".dll";
#else
    const std::string l_Separator = "/", l_Suffix = ".so";
#endif
    return executableFolder() + l_Separator +
           (a_rSubFolder.empty() ? "" : a_rSubFolder + l_Separator) + a_rName + l_Suffix;
}

class tLoadedModule {
public:
    explicit tLoadedModule(const std::string& a_rPath)
        : m_Module(LoadLibraryExW(std::basic_string<WCHAR>(a_rPath.begin(), a_rPath.end()).c_str(),
                                  nullptr, 0)) {
        if (m_Module == nullptr) {
            throw std::runtime_error("cannot load " + a_rPath);
        }
    }
    ~tLoadedModule() { release(); }
    tLoadedModule(const tLoadedModule&) = delete;
    tLoadedModule& operator=(const tLoadedModule&) = delete;

    template <class tFunction> tFunction get(const char* a_pName) const {
        FARPROC l_Address = GetProcAddress(m_Module, a_pName);
        if (l_Address == nullptr) {
            throw std::runtime_error(std::string("missing entry point ") + a_pName);
        }
        return reinterpret_cast<tFunction>(reinterpret_cast<void (*)()>(l_Address));
    }
    bool has(const char* a_pName) const { return GetProcAddress(m_Module, a_pName) != nullptr; }

    void release() {
        if (m_Module != nullptr) {
            FreeLibrary(m_Module);
            m_Module = nullptr;
        }
    }

private:
    HMODULE m_Module;
};

} // namespace zuTest
