// Linux stand-ins for the Windows services of zuPlatform.h, and our own services on every
// platform.
#include "platform/win32/zuPlatform.h"

#ifdef _WIN32

namespace nZuPlatform {

std::string toUtf8(const WCHAR* a_pWide) {
    if (a_pWide == nullptr) {
        return std::string();
    }
    const int l_Size = WideCharToMultiByte(CP_UTF8, 0, a_pWide, -1, nullptr, 0, nullptr, nullptr);
    if (l_Size <= 0) {
        return std::string();
    }
    std::string l_Text(static_cast<std::size_t>(l_Size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, a_pWide, -1, &l_Text[0], l_Size, nullptr, nullptr);
    l_Text.pop_back(); // the converted terminator
    return l_Text;
}

std::string executableFolder() {
    std::wstring l_Path(32768, L'\0');
    GetModuleFileNameW(nullptr, &l_Path[0], static_cast<DWORD>(l_Path.size()));
    const std::string l_File = toUtf8(l_Path.c_str());
    const std::size_t l_Separator = l_File.find_last_of("\\/");
    return l_Separator == std::string::npos ? std::string() : l_File.substr(0, l_Separator);
}

} // namespace nZuPlatform

#else

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <string>
#include <unistd.h>

namespace nZuPlatform {

std::string toUtf8(const WCHAR* a_pWide) {
    std::string l_Text;
    if (a_pWide == nullptr) {
        return l_Text;
    }
    for (std::size_t l_Index = 0; a_pWide[l_Index] != 0; ++l_Index) {
        std::uint32_t l_Point = a_pWide[l_Index];
        if (l_Point >= 0xD800 && l_Point <= 0xDBFF && a_pWide[l_Index + 1] >= 0xDC00 &&
            a_pWide[l_Index + 1] <= 0xDFFF) {
            l_Point = 0x10000 + ((l_Point - 0xD800) << 10) + (a_pWide[l_Index + 1] - 0xDC00);
            ++l_Index;
        }
        if (l_Point < 0x80) {
            l_Text += static_cast<char>(l_Point);
        } else if (l_Point < 0x800) {
            l_Text += static_cast<char>(0xC0 | (l_Point >> 6));
            l_Text += static_cast<char>(0x80 | (l_Point & 0x3F));
        } else if (l_Point < 0x10000) {
            l_Text += static_cast<char>(0xE0 | (l_Point >> 12));
            l_Text += static_cast<char>(0x80 | ((l_Point >> 6) & 0x3F));
            l_Text += static_cast<char>(0x80 | (l_Point & 0x3F));
        } else {
            l_Text += static_cast<char>(0xF0 | (l_Point >> 18));
            l_Text += static_cast<char>(0x80 | ((l_Point >> 12) & 0x3F));
            l_Text += static_cast<char>(0x80 | ((l_Point >> 6) & 0x3F));
            l_Text += static_cast<char>(0x80 | (l_Point & 0x3F));
        }
    }
    return l_Text;
}

std::string executableFolder() {
    char l_Path[PATH_MAX];
    const ssize_t l_Length = readlink("/proc/self/exe", l_Path, sizeof l_Path - 1);
    if (l_Length <= 0) {
        return std::string();
    }
    l_Path[l_Length] = '\0';
    char* l_pSlash = std::strrchr(l_Path, '/');
    if (l_pSlash == nullptr) {
        return std::string();
    }
    *l_pSlash = '\0';
    return l_Path;
}

} // namespace nZuPlatform

namespace {

thread_local DWORD t_LastError = ERROR_SUCCESS;
// The dynamic linker's own words for this thread's last failed load. Error 126 stands for every
// reason a load fails (a file that is no library, a missing dependency, ...); these tell which.
// Kept beside the error number and cleared with it, so a text never outlives its failure.
constexpr std::size_t kLoaderTextSize = 1024;
thread_local char t_LoaderText[kLoaderTextSize] = "";

// Called after every dlopen that may have failed: dlerror both reads and clears the reason.
void noteLoaderText(std::string& a_rWhy) {
    if (const char* l_pText = dlerror()) {
        a_rWhy += (a_rWhy.empty() ? "" : "; ") + std::string(l_pText);
    }
}

// A bare name (no directory) is looked up the way Windows does: an already loaded module of
// that name, the folder of the running program, then the system's search.
bool isBareName(const std::string& a_rName) {
    return a_rName.find('/') == std::string::npos;
}

std::string withNativeSuffix(const std::string& a_rName) {
    static const char kWindowsSuffix[] = ".dll";
    const std::size_t l_SuffixLength = sizeof kWindowsSuffix - 1;
    if (a_rName.size() >= l_SuffixLength &&
        strcasecmp(a_rName.c_str() + a_rName.size() - l_SuffixLength, kWindowsSuffix) == 0) {
        return a_rName.substr(0, a_rName.size() - l_SuffixLength) + ".so";
    }
    return a_rName;
}

// a_rWhy collects the linker's reasons of the attempts that failed, "; " between them.
void* openModule(const std::string& a_rName, std::string& a_rWhy) {
    if (a_rName.empty()) {
        return nullptr;
    }
    if (!isBareName(a_rName)) {
        void* l_pModule = dlopen(a_rName.c_str(), RTLD_NOW | RTLD_LOCAL);
        noteLoaderText(a_rWhy);
        return l_pModule;
    }
    // Matches the SONAME of a module that is already loaded, as Windows matches base names.
    if (void* l_pLoaded = dlopen(a_rName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
        return l_pLoaded;
    }
    // "Not loaded yet" is no reason worth reporting, and is not read: the next dlopen replaces
    // it. Reading it on this path, which every successful load takes, would leave glibc's text
    // buffers allocated in changing sizes from one load to the next.
    const std::string l_Folder = nZuPlatform::executableFolder();
    if (!l_Folder.empty()) {
        const std::string l_Beside = l_Folder + "/" + a_rName;
        if (access(l_Beside.c_str(), F_OK) == 0) {
            if (void* l_pBeside = dlopen(l_Beside.c_str(), RTLD_NOW | RTLD_LOCAL)) {
                return l_pBeside;
            }
            noteLoaderText(a_rWhy);
        }
    }
    void* l_pModule = dlopen(a_rName.c_str(), RTLD_NOW | RTLD_LOCAL);
    noteLoaderText(a_rWhy);
    return l_pModule;
}

const char* messageFor(DWORD a_Error) {
    switch (a_Error) {
    case ERROR_MOD_NOT_FOUND:
        return "The specified module could not be found.";
    case ERROR_PROC_NOT_FOUND:
        return "The specified procedure could not be found.";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Not enough memory resources are available to process this command.";
    default:
        return nullptr;
    }
}

} // namespace

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION a_pSection, DWORD) {
    // Windows critical sections may be entered again by the thread that holds them.
    pthread_mutexattr_t l_Attributes;
    if (pthread_mutexattr_init(&l_Attributes) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    pthread_mutexattr_settype(&l_Attributes, PTHREAD_MUTEX_RECURSIVE);
    const int l_Result = pthread_mutex_init(&a_pSection->mutex, &l_Attributes);
    pthread_mutexattr_destroy(&l_Attributes);
    if (l_Result != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

void DeleteCriticalSection(LPCRITICAL_SECTION a_pSection) {
    pthread_mutex_destroy(&a_pSection->mutex);
}

BOOL DisableThreadLibraryCalls(HMODULE) {
    return TRUE;
}

HMODULE LoadLibraryExW(LPCWSTR a_pFileName, HANDLE, DWORD) {
    void* l_pModule = nullptr;
    std::string l_Why;
    try {
        l_pModule = openModule(withNativeSuffix(nZuPlatform::toUtf8(a_pFileName)), l_Why);
    } catch (const std::bad_alloc&) {
        // Like the system call, the loader reports running out of memory as an error number.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (l_pModule == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        // Cut to the room there is (a long reason is still better in part than not at all),
        // never inside a character.
        std::size_t l_Keep = std::min(l_Why.size(), kLoaderTextSize - 1);
        while (l_Keep > 0 && l_Keep < l_Why.size() &&
               (static_cast<unsigned char>(l_Why[l_Keep]) & 0xC0u) == 0x80u) {
            --l_Keep;
        }
        l_Why.copy(t_LoaderText, l_Keep);
        t_LoaderText[l_Keep] = '\0';
        return nullptr;
    }
    return static_cast<HMODULE>(l_pModule);
}

FARPROC GetProcAddress(HMODULE a_Module, LPCSTR a_pName) {
    if (a_Module == nullptr || a_pName == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* l_pSymbol = dlsym(static_cast<void*>(a_Module), a_pName);
    if (l_pSymbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(l_pSymbol);
}

BOOL FreeLibrary(HMODULE a_Module) {
    if (a_Module == nullptr) {
        return FALSE;
    }
    return dlclose(static_cast<void*>(a_Module)) == 0 ? TRUE : FALSE;
}

DWORD GetLastError() {
    return t_LastError;
}

void SetLastError(DWORD a_Error) {
    t_LastError = a_Error;
    t_LoaderText[0] = '\0';
}

DWORD FormatMessageA(DWORD a_Flags, LPCVOID, DWORD a_MessageId, DWORD, LPSTR a_pBuffer, DWORD,
                     va_list*) {
    const DWORD l_Needed = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    const char* l_pMessage = messageFor(a_MessageId);
    if ((a_Flags & l_Needed) != l_Needed || l_pMessage == nullptr || a_pBuffer == nullptr) {
        return 0;
    }
    // The linker's reason belongs to this thread's last failed load only.
    const char* l_pReason = a_MessageId == ERROR_MOD_NOT_FOUND && t_LastError == ERROR_MOD_NOT_FOUND
                                ? t_LoaderText
                                : "";
    const char* const l_pJoin = *l_pReason != '\0' ? " The loader says: " : "";
    const int l_Length = std::snprintf(nullptr, 0, "%s%s%s\r\n", l_pMessage, l_pJoin, l_pReason);
    char* l_pCopy =
        l_Length > 0 ? static_cast<char*>(std::malloc(std::size_t(l_Length) + 1)) : nullptr;
    if (l_pCopy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    std::snprintf(l_pCopy, std::size_t(l_Length) + 1, "%s%s%s\r\n", l_pMessage, l_pJoin, l_pReason);
    // With the allocate flag the buffer argument is really the address of the caller's pointer.
    *reinterpret_cast<char**>(a_pBuffer) = l_pCopy;
    return static_cast<DWORD>(l_Length);
}

HLOCAL LocalFree(HLOCAL a_Memory) {
    std::free(a_Memory);
    return nullptr;
}

void OutputDebugStringA(LPCSTR a_pText) {
    if (a_pText != nullptr) {
        std::fputs(a_pText, stderr);
    }
}

#endif
