// What the probe needs of the platform beyond the loader: its own folder, wide names, the
// system's message for an error number, and where a loaded module came from.
#pragma once

#include "platform/win32/zuPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

using tWideString = std::basic_string<WCHAR>;

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
tWideString widen(const std::string& a_rUtf8);

// The folder of the running program, in UTF-8, without a trailing separator.
std::string executableFolder();

// "zu7461" as a file name of this platform: zu7461.dll or zu7461.so.
std::string nativeModuleName(const std::string& a_rBaseName);

std::string joinPath(const std::string& a_rFolder, const std::string& a_rName);

// The command line in UTF-8 whatever the platform (Windows hands narrow arguments over in the
// ANSI code page).
std::vector<std::string> utf8Arguments(int a_Count, char** a_ppArguments);

struct tLoadedModule {
    HMODULE m_Module = nullptr;
    DWORD m_Error = 0; // the system's error number when the load failed
};

// Through the platform loader, as a host loads the finder.
tLoadedModule loadModule(const std::string& a_rUtf8NameOrPath);

// The system's text for an error number, without trailing line breaks; empty if it has none.
// Windows names the file in some texts by the insert "%1"; a_rFile takes its place.
std::string systemMessage(DWORD a_Error, const std::string& a_rFile = "the file");
// "error N", then the system's text for it in parentheses where there is one.
std::string errorText(DWORD a_Error, const std::string& a_rFile = "the file");

// The bridge driver library's file name as this platform's loader searches it: the finder asks
// for zupcibrd.dll, which the Linux layer looks for as zupcibrd.so.
std::string bridgeLibraryFileName();
// Where a load by bare name looks, in order, as a line for the user.
std::string bareNameSearch();

// a_Value in upper-case hexadecimal, at least a_Digits digits, without "0x".
std::string hexText(std::uint32_t a_Value, int a_Digits);
// How to put the package's simulator folder on that search, as a line for the user.
std::string simulatorSearchAdvice();
// Whether the bridge driver library a load by bare name finds is the simulator, told by the
// export only the simulator has.
bool bridgeLibraryIsSimulator();

// The file a loaded module came from; a_Entry is any of its resolved entry points (Linux
// finds the file by address). Empty when it cannot be told.
std::string moduleLocation(HMODULE a_Module, FARPROC a_Entry);

} // namespace nProbe
} // namespace nZU7461_14_0
