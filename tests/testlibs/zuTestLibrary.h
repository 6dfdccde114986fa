// Choosing the bridge driver library that the component gets in a test.
//
// Both loaders hand out a module of the same name that is already loaded. So a test loads the
// test bridge library it wants by its full path and holds it (cTestBridgeLibrary); the
// component's LoadLibraryExW("zupcibrd.dll") then gets that very library. The script set with
// the ZuTest_* functions of zuTestBridge.h lives in the state library that the test program
// links, so it survives every load and unload the component makes.
//
//     nZuTest::cTestBridgeLibrary l_Library("no-GetBridgeIds"); // loads, resets the script
//     ZuTest_SetArray(ZuTestEntry_FindBridgesByPciIds, l_Bridges, 3);
//     ... run the component ...
//     EXPECT_EQ(nZuTest::callLog(), "...");
//
// A test that checks the component unloads the library must not hold it: it compares
// ZuTest_LoadCount/ZuTest_UnloadCount before and after, and reads "<unload>" in the call log.
// Variants: "scriptable" (all 18 entry points) and "no-<EntryName>" folders, see
// tests/testlibs/CMakeLists.txt.
#pragma once

#include <string>
#include <vector>

#include "tests/support/zuExecutableFolder.h"
#include "zuTestBridge.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace nZuTest {

using zuTest::executableFolder;

inline char pathSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

// File name of the bridge driver library on this platform.
inline const char* bridgeLibraryFileName() {
#ifdef _WIN32
    return "zupcibrd.dll";
#else
    return "zupcibrd.so";
#endif
}

// Full path of a test bridge library variant ("scriptable", "no-GetBridgeIds", ...).
inline std::string bridgeLibraryPath(const std::string& a_rVariant) {
    const char l_Separator = pathSeparator();
    return executableFolder() + l_Separator + "testlibs" + l_Separator + a_rVariant + l_Separator +
           bridgeLibraryFileName();
}

// Loads a library by full path through the platform's own loader; null on failure.
inline void* loadByPath(const std::string& a_rPath) {
#ifdef _WIN32
    const int l_Units = MultiByteToWideChar(CP_UTF8, 0, a_rPath.c_str(), -1, nullptr, 0);
    if (l_Units <= 0) {
        return nullptr;
    }
    std::vector<wchar_t> l_Wide(static_cast<std::size_t>(l_Units));
    MultiByteToWideChar(CP_UTF8, 0, a_rPath.c_str(), -1, l_Wide.data(), l_Units);
    return reinterpret_cast<void*>(LoadLibraryExW(l_Wide.data(), nullptr, 0));
#else
    return dlopen(a_rPath.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

inline void unloadByHandle(void* a_pHandle) {
    if (a_pHandle == nullptr) {
        return;
    }
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(a_pHandle));
#else
    dlclose(a_pHandle);
#endif
}

// The whole call log of the scriptable library.
inline std::string callLog() {
    const uint32_t l_Length = ZuTest_CallLog(nullptr, 0);
    std::string l_Log(l_Length + 1u, '\0');
    ZuTest_CallLog(&l_Log[0], l_Length + 1u);
    l_Log.resize(l_Length);
    return l_Log;
}

// Holds one test bridge library variant loaded for its lifetime.
class cTestBridgeLibrary {
public:
    // Loads the variant, then resets the script (ZuTest_Reset) unless a_Reset is false, so the
    // call log starts empty.
    explicit cTestBridgeLibrary(const std::string& a_rVariant = "scriptable", bool a_Reset = true)
        : m_Path(bridgeLibraryPath(a_rVariant)) {
        m_pHandle = loadByPath(m_Path);
        if (a_Reset) {
            ZuTest_Reset();
        }
    }
    ~cTestBridgeLibrary() { Release(); }
    cTestBridgeLibrary(const cTestBridgeLibrary&) = delete;
    cTestBridgeLibrary& operator=(const cTestBridgeLibrary&) = delete;

    bool IsLoaded() const { return m_pHandle != nullptr; }
    const std::string& Path() const { return m_Path; }
    void Release() {
        unloadByHandle(m_pHandle);
        m_pHandle = nullptr;
    }

private:
    std::string m_Path;
    void* m_pHandle = nullptr;
};

} // namespace nZuTest
