#include "tools/probeRecord.h"

#include "tools/probeFinder.h"
#include "tools/probeModule.h"
#include "tools/probeRecordRead.h"
#include "tools/probeVerify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

// Bridges named one by one in messages and in the file's comment; the rest are counted.
constexpr std::size_t kNamedLeftOut = 20;

std::string hostName() {
#ifdef _WIN32
    wchar_t l_Name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD l_Size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(l_Name, &l_Size) == 0) {
        return "an unnamed computer";
    }
    std::string l_Text;
    for (DWORD l_Index = 0; l_Index < l_Size; ++l_Index) {
        // Computer names are ASCII in practice; anything else is shown as '?'.
        l_Text += l_Name[l_Index] < 0x80 ? static_cast<char>(l_Name[l_Index]) : '?';
    }
    return l_Text;
#else
    char l_Name[256] = {};
    return gethostname(l_Name, sizeof l_Name - 1) == 0 ? l_Name : "an unnamed computer";
#endif
}

std::string utcNow() {
    const std::time_t l_Now = std::time(nullptr);
    std::tm l_Utc{};
#ifdef _WIN32
    gmtime_s(&l_Utc, &l_Now);
#else
    gmtime_r(&l_Now, &l_Utc);
#endif
    char l_Text[32];
    std::strftime(l_Text, sizeof l_Text, "%Y-%m-%dT%H:%M:%SZ", &l_Utc);
    return l_Text;
}

std::FILE* openFile(const std::string& a_rUtf8Path, const char* a_pMode) {
#ifdef _WIN32
    const tWideString l_Path = widen(a_rUtf8Path);
    const tWideString l_Mode = widen(a_pMode);
    return _wfopen(reinterpret_cast<const wchar_t*>(l_Path.c_str()),
                   reinterpret_cast<const wchar_t*>(l_Mode.c_str()));
#else
    return std::fopen(a_rUtf8Path.c_str(), a_pMode);
#endif
}

std::string counted(std::size_t a_Count, const char* a_pOne, const char* a_pMany) {
    return std::to_string(a_Count) + " " + (a_Count == 1 ? a_pOne : a_pMany);
}

// "bridge 7" or "bridges 7, 9", the rest counted.
std::string leftOutText(const std::vector<std::uint32_t>& a_rLeftOut) {
    std::string l_Text = a_rLeftOut.size() == 1 ? "bridge " : "bridges ";
    for (std::size_t l_Index = 0; l_Index < a_rLeftOut.size() && l_Index < kNamedLeftOut;
         ++l_Index) {
        l_Text += (l_Index == 0 ? "" : ", ") + std::to_string(a_rLeftOut[l_Index]);
    }
    if (a_rLeftOut.size() > kNamedLeftOut) {
        l_Text += " and " + std::to_string(a_rLeftOut.size() - kNamedLeftOut) + " more";
    }
    return l_Text;
}

} // namespace

int runRecord(const tRecordOptions& a_rOptions, std::ostream& a_rOut, std::ostream& a_rErr) {
    const std::string& l_File = a_rOptions.m_File;
    bool l_Replacing = false;
    if (std::FILE* l_pExisting = openFile(l_File, "rb")) {
        std::fclose(l_pExisting);
        if (!a_rOptions.m_Force) {
            a_rErr << "zu7461-probe: " << l_File << " exists already; give --force to replace it\n";
            return 3;
        }
        l_Replacing = true;
    }
    const std::string l_Module = joinPath(executableFolder(), nativeModuleName("zu7461"));
    // What the finder and a diagnosis see of the library now, for the replay to match.
    const tLibraryView l_Before = captureView(l_Module);

    const char kLibraryName[] = "zupcibrd.dll";
    tMachineRecording l_Recording;
    std::string l_Location;
    {
        const tLoadedModule l_Loaded = loadModule(kLibraryName);
        if (l_Loaded.m_Module == nullptr) {
            a_rErr << "zu7461-probe: cannot load " << kLibraryName << ": "
                   << errorText(l_Loaded.m_Error) << "; nothing recorded\n";
            return 1;
        }
        cBridgeLibrary l_Library(l_Loaded.m_Module);
        l_Location = moduleLocation(l_Loaded.m_Module, l_Library.anyEntry());
        if (!l_Library.has(kOpenSession)) {
            a_rErr << "zu7461-probe: the library lacks ZuPciBrd_OpenSession; nothing recorded\n";
            return 1;
        }
        const std::int32_t l_SessionStatus = l_Library.openSession();
        if (l_SessionStatus < 0) {
            a_rErr << "zu7461-probe: OpenSession failed with " << statusText(l_SessionStatus)
                   << "; nothing recorded\n";
            return 1;
        }
        l_Recording = recordMachine(l_Library, a_rOptions.m_Attributes, a_rErr);
    }
    if (l_Location.empty()) {
        l_Location = kLibraryName;
    }
    const bool l_Complete = l_Recording.m_Complete && l_Recording.m_LeftOut.empty();
    std::string l_Comment = "Recorded by zu7461-probe " ZU_PROJECT_VERSION " on " + hostName() +
                            " at " + utcNow() + " from " + l_Location;
    if (!l_Complete) {
        l_Comment += " (incomplete: see its report";
        if (!l_Recording.m_LeftOut.empty()) {
            l_Comment += "; left out: " + leftOutText(l_Recording.m_LeftOut);
        }
        l_Comment += ")";
    }
    const std::string l_Text =
        "{\n  \"comment\": " + jsonText(l_Comment) + ",\n" + l_Recording.m_Body;

    errno = 0;
    std::FILE* l_pFile = openFile(l_File, "wb");
    bool l_Written = l_pFile != nullptr &&
                     std::fwrite(l_Text.data(), 1, l_Text.size(), l_pFile) == l_Text.size();
    const int l_Error = errno;
    l_Written = l_pFile != nullptr && std::fclose(l_pFile) == 0 && l_Written;
    if (!l_Written) {
        const int l_Reason = errno != 0 ? errno : l_Error;
        a_rErr << "zu7461-probe: cannot write " << l_File
               << (l_Reason != 0 ? std::string(": ") + std::strerror(l_Reason) : std::string())
               << "\n";
        return 3;
    }
    if (!l_Recording.m_LeftOut.empty()) {
        a_rErr << "zu7461-probe: left out of the file: " << leftOutText(l_Recording.m_LeftOut)
               << "\n";
    }
    a_rOut << (l_Replacing ? "Replaced " + l_File + " with a recording of " : "Recorded ")
           << counted(l_Recording.m_RootBuses, "root bus", "root buses") << " and "
           << counted(l_Recording.m_Bridges, "bridge", "bridges") << " from " << l_Location
           << (l_Replacing ? "" : " into " + l_File) << (l_Complete ? "" : " (incomplete)") << "\n";

    const bool l_Same =
        verifyRecording(l_File, l_Recording.m_Body, l_Before, a_rOptions, a_rOut, a_rErr);
    return l_Complete && l_Recording.m_NotReproduced.empty() && l_Same ? 0 : 1;
}

} // namespace nProbe
} // namespace nZU7461_14_0