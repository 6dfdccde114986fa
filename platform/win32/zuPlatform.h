// The Windows services the component calls, by their Windows names. On Windows this is
// <windows.h>; elsewhere it is our own small layer with the subset of behaviour we rely on.
#pragma once

#ifdef _WIN32

#include <windows.h>

#else

#include <cstdarg>
#include <cstdint>
#include <pthread.h>

using BOOL = int;
using DWORD = std::uint32_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using HLOCAL = void*;
using FARPROC = void (*)();

struct tLinuxModule;
using HMODULE = tLinuxModule*;
using HINSTANCE = HMODULE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define ERROR_SUCCESS 0u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u

struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION a_pSection, DWORD a_SpinCount);
// Inline: every query of an open list takes and releases a lock, and a call into the layer
// for each cost a good part of a query.
inline void EnterCriticalSection(LPCRITICAL_SECTION a_pSection) {
    pthread_mutex_lock(&a_pSection->mutex);
}
inline void LeaveCriticalSection(LPCRITICAL_SECTION a_pSection) {
    pthread_mutex_unlock(&a_pSection->mutex);
}
void DeleteCriticalSection(LPCRITICAL_SECTION a_pSection);

BOOL DisableThreadLibraryCalls(HMODULE a_Module);

HMODULE LoadLibraryExW(LPCWSTR a_pFileName, HANDLE a_File, DWORD a_Flags);
FARPROC GetProcAddress(HMODULE a_Module, LPCSTR a_pName);
BOOL FreeLibrary(HMODULE a_Module);

DWORD GetLastError();
void SetLastError(DWORD a_Error);

DWORD FormatMessageA(DWORD a_Flags, LPCVOID a_pSource, DWORD a_MessageId, DWORD a_LanguageId,
                     LPSTR a_pBuffer, DWORD a_Size, va_list* a_pArguments);
HLOCAL LocalFree(HLOCAL a_Memory);

void OutputDebugStringA(LPCSTR a_pText);

#endif

#include <string>

// What the component's neighbours (the probe, the tests) need of the platform besides the
// Windows services, on every platform.
namespace nZuPlatform {

// The UTF-8 form of NUL-terminated UTF-16 text; empty for null. Unpaired surrogates are what
// the platform makes of them (U+FFFD on Windows, their own three bytes elsewhere).
std::string toUtf8(const WCHAR* a_pWide);

// The folder of the running program in UTF-8, without a separator at its end; empty when the
// system does not say.
std::string executableFolder();

} // namespace nZuPlatform
