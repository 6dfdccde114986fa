#include "tools/probeModule.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <shellapi.h>
#else
#include <climits>
#include <dlfcn.h>
#endif

namespace nZU7461_14_0 {
namespace nProbe {

#ifdef _WIN32
namespace {

std::string modulePath(HMODULE a_Module) {
    std::wstring l_Path(32768, L'\0');
    GetModuleFileNameW(a_Module, &l_Path[0], static_cast<DWORD>(l_Path.size()));
    return nZuPlatform::toUtf8(l_Path.c_str());
}

} // namespace
#endif

tWideString widen(const std::string& a_rUtf8) {
    tWideString l_Wide;
    std::size_t l_Index = 0;
    while (l_Index < a_rUtf8.size()) {
        const auto l_Lead = static_cast<unsigned char>(a_rUtf8[l_Index]);
        const std::size_t l_Length = l_Lead < 0x80           ? 1
                                     : (l_Lead >> 5) == 0x6  ? 2
                                     : (l_Lead >> 4) == 0xE  ? 3
                                     : (l_Lead >> 3) == 0x1E ? 4
                                                             : 0;
        std::uint32_t l_Point = l_Length == 1 ? l_Lead : l_Lead & (0x7Fu >> l_Length);
        bool l_Valid = l_Length != 0 && l_Index + l_Length <= a_rUtf8.size();
        for (std::size_t l_Next = 1; l_Valid && l_Next < l_Length; ++l_Next) {
            const auto l_Byte = static_cast<unsigned char>(a_rUtf8[l_Index + l_Next]);
            l_Valid = (l_Byte & 0xC0) == 0x80;
            l_Point = (l_Point << 6) | (l_Byte & 0x3Fu);
        }
        if (!l_Valid || l_Point > 0x10FFFF || (l_Point >= 0xD800 && l_Point <= 0xDFFF)) {
            l_Wide += static_cast<WCHAR>(0xFFFD);
            ++l_Index;
            continue;
        }
        if (l_Point >= 0x10000) {
            l_Point -= 0x10000;
            l_Wide += static_cast<WCHAR>(0xD800 + (l_Point >> 10));
            l_Wide += static_cast<WCHAR>(0xDC00 + (l_Point & 0x3FF));
        } else {
            l_Wide += static_cast<WCHAR>(l_Point);
        }
        l_Index += l_Length;
    }
    return l_Wide;
}

std::string executableFolder() {
    const std::string l_Folder = nZuPlatform::executableFolder();
    return l_Folder.empty() ? std::string(".") : l_Folder;
}

std::string nativeModuleName(const std::string& a_rBaseName) {
#ifdef _WIN32
    return a_rBaseName + ".dll";
#else
    return a_rBaseName + ".so";
#endif
}

std::string joinPath(const std::string& a_rFolder, const std::string& a_rName) {
#ifdef _WIN32
    return a_rFolder + "\\" + a_rName;
#else
    return a_rFolder + "/" + a_rName;
#endif
}

std::vector<std::string> utf8Arguments(int a_Count, char** a_ppArguments) {
    std::vector<std::string> l_Arguments;
#ifdef _WIN32
    int l_WideCount = 0;
    wchar_t** l_ppWide = CommandLineToArgvW(GetCommandLineW(), &l_WideCount);
    if (l_ppWide != nullptr) {
        for (int l_Index = 0; l_Index < l_WideCount; ++l_Index) {
            l_Arguments.push_back(nZuPlatform::toUtf8(l_ppWide[l_Index]));
        }
        LocalFree(l_ppWide);
        return l_Arguments;
    }
#endif
    for (int l_Index = 0; l_Index < a_Count; ++l_Index) {
        l_Arguments.push_back(a_ppArguments[l_Index]);
    }
    return l_Arguments;
}

tLoadedModule loadModule(const std::string& a_rUtf8NameOrPath) {
    tLoadedModule l_Loaded;
    SetLastError(0);
    l_Loaded.m_Module = LoadLibraryExW(widen(a_rUtf8NameOrPath).c_str(), nullptr, 0);
    if (l_Loaded.m_Module == nullptr) {
        l_Loaded.m_Error = GetLastError();
    }
    return l_Loaded;
}

std::string systemMessage(DWORD a_Error, const std::string& a_rFile) {
    char* l_pText = nullptr;
    const DWORD l_Length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, a_Error, 0, reinterpret_cast<LPSTR>(&l_pText), 0, nullptr);
    std::string l_Message(l_pText != nullptr ? l_pText : "", l_pText != nullptr ? l_Length : 0);
    LocalFree(l_pText);
    while (!l_Message.empty() &&
           (l_Message.back() == '\n' || l_Message.back() == '\r' || l_Message.back() == ' ')) {
        l_Message.pop_back();
    }
    // Ignore-inserts leaves "%1" as it is; a text shown with it would name no file.
    for (std::size_t l_At = l_Message.find("%1"); l_At != std::string::npos;
         l_At = l_Message.find("%1", l_At + a_rFile.size())) {
        l_Message.replace(l_At, 2, a_rFile);
    }
    return l_Message;
}

std::string errorText(DWORD a_Error, const std::string& a_rFile) {
    const std::string l_Message = systemMessage(a_Error, a_rFile);
    return "error " + std::to_string(a_Error) + (l_Message.empty() ? "" : " (" + l_Message + ")");
}

std::string hexText(std::uint32_t a_Value, int a_Digits) {
    char l_Text[16];
    std::snprintf(l_Text, sizeof l_Text, "%0*X", a_Digits, a_Value);
    return l_Text;
}

std::string bridgeLibraryFileName() {
    return nativeModuleName("zupcibrd");
}

std::string bareNameSearch() {
    return "searched for " + bridgeLibraryFileName() + ": the probe's folder " +
           executableFolder() +
#ifdef _WIN32
           ", the system folders, the current folder, then the folders of PATH";
#else
           ", then the dynamic linker's search (LD_LIBRARY_PATH, the ld.so cache, /lib, "
           "/usr/lib)";
#endif
}

std::string simulatorSearchAdvice() {
    // The package keeps the simulator in a folder of its own beside bin/, so that it never
    // shadows the real library by accident.
    const std::string l_Folder = executableFolder();
    const std::size_t l_Separator = l_Folder.find_last_of("\\/");
    const std::string l_Simulator = l_Separator == std::string::npos
                                        ? std::string()
                                        : joinPath(l_Folder.substr(0, l_Separator), "simulator");
    std::error_code l_Error;
    const bool l_Found =
        !l_Simulator.empty() &&
        std::filesystem::exists(
            std::filesystem::u8path(joinPath(l_Simulator, bridgeLibraryFileName())), l_Error);
    const std::string l_Where = l_Found ? l_Simulator : joinPath("<package>", "simulator");
    const std::string l_Advice = "the real library comes with the bridge driver; to use the "
                                 "package's simulator instead, put its simulator folder on that "
                                 "search: ";
#ifdef _WIN32
    return l_Advice + "set PATH=%PATH%;" + l_Where + " (under Wine: set WINEPATH=" + l_Where + ")";
#else
    return l_Advice + "export LD_LIBRARY_PATH=" + l_Where;
#endif
}

bool bridgeLibraryIsSimulator() {
    const tLoadedModule l_Loaded = loadModule("zupcibrd.dll");
    if (l_Loaded.m_Module == nullptr) {
        return false;
    }
    const bool l_Simulator = GetProcAddress(l_Loaded.m_Module, "ZuPciBrdSim_WaitAtGate") != nullptr;
    FreeLibrary(l_Loaded.m_Module);
    return l_Simulator;
}

std::string moduleLocation(HMODULE a_Module, FARPROC a_Entry) {
#ifdef _WIN32
    static_cast<void>(a_Entry);
    return modulePath(a_Module);
#else
    static_cast<void>(a_Module);
    Dl_info l_Info{};
    if (a_Entry == nullptr || dladdr(reinterpret_cast<void*>(a_Entry), &l_Info) == 0 ||
        l_Info.dli_fname == nullptr) {
        return std::string();
    }
    char l_Resolved[PATH_MAX];
    return realpath(l_Info.dli_fname, l_Resolved) != nullptr ? l_Resolved : l_Info.dli_fname;
#endif
}

} // namespace nProbe
} // namespace nZU7461_14_0
