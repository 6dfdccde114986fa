// Loads one of this build's modules through the platform loader, as a host does.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/win32/zuPlatform.h"
#include "tests/support/zuExecutableFolder.h"

#ifndef _WIN32
#include <climits>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace zuTest {

using tWideString = std::basic_string<WCHAR>;

// Paths in this build are plain ASCII, so widening byte by byte is exact.
inline tWideString widen(const std::string& a_rText) {
    tWideString l_Wide;
    for (const char l_Char : a_rText) {
        l_Wide += static_cast<WCHAR>(static_cast<unsigned char>(l_Char));
    }
    return l_Wide;
}

// "zu7461" gives zu7461.dll or zu7461.so in the program's folder (or a sub-folder).
inline std::string modulePath(const std::string& a_rName, const std::string& a_rSubFolder = "") {
#ifdef _WIN32
    const char* const l_pSeparator = "\\";
    const char* const l_pSuffix = ".dll";
#else
    const char* const l_pSeparator = "/";
    const char* const l_pSuffix = ".so";
#endif
    std::string l_Path = executableFolder() + l_pSeparator;
    if (!a_rSubFolder.empty()) {
        l_Path += a_rSubFolder + l_pSeparator;
    }
    return l_Path + a_rName + l_pSuffix;
}

class tLoadedModule {
public:
    explicit tLoadedModule(const std::string& a_rPath)
        : m_Module(LoadLibraryExW(widen(a_rPath).c_str(), nullptr, 0)) {
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
