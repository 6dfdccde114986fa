// The folder of the running test program, where the build puts every binary, in UTF-8.
#pragma once

#include <string>

#ifdef _WIN32
#include <vector>
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace zuTest {

inline std::string executableFolder() {
#ifdef _WIN32
    std::vector<wchar_t> l_Path(32768);
    const DWORD l_Length =
        GetModuleFileNameW(nullptr, l_Path.data(), static_cast<DWORD>(l_Path.size()));
    if (l_Length == 0 || l_Length >= l_Path.size()) {
        return std::string();
    }
    std::wstring l_Wide(l_Path.data(), l_Length);
    const std::wstring::size_type l_Slash = l_Wide.find_last_of(L"\\/");
    if (l_Slash == std::wstring::npos) {
        return std::string();
    }
    l_Wide.resize(l_Slash);
    const int l_Bytes =
        WideCharToMultiByte(CP_UTF8, 0, l_Wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string l_Folder(static_cast<std::size_t>(l_Bytes > 0 ? l_Bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, l_Wide.c_str(), -1, &l_Folder[0], l_Bytes, nullptr, nullptr);
    l_Folder.resize(l_Folder.size() - 1);
    return l_Folder;
#else
    char l_Path[PATH_MAX];
    const ssize_t l_Length = readlink("/proc/self/exe", l_Path, sizeof l_Path - 1);
    if (l_Length <= 0) {
        return std::string();
    }
    std::string l_Folder(l_Path, static_cast<std::size_t>(l_Length));
    const std::string::size_type l_Slash = l_Folder.rfind('/');
    return l_Slash == std::string::npos ? std::string() : l_Folder.substr(0, l_Slash);
#endif
}

} // namespace zuTest
