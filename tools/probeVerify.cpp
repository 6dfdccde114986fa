#include "tools/probeVerify.h"

#include "tools/probeDiagnose.h"
#include "tools/probeFinder.h"
#include "tools/probeModule.h"

#include <cstdlib>
#include <regex>
#include <sstream>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

const char kTopologyVariable[] = "ZUPCIBRD_SIM_TOPOLOGY";

std::string finderText(const tFinderReport& a_rReport) {
    std::ostringstream l_Text;
    if (!a_rReport.m_Loaded || !a_rReport.m_MissingExports.empty()) {
        return "no finder module";
    }
    l_Text << "openList " << statusText(a_rReport.m_OpenStatus) << ", count " << a_rReport.m_Count
           << "\n";
    for (const tChassisRow& l_Row : a_rReport.m_Chassis) {
        l_Text << "chassis " << l_Row.m_Index << ": bridge value ";
        if (l_Row.m_BridgeValue) {
            l_Text << *l_Row.m_BridgeValue;
        } else {
            l_Text << "none";
        }
        for (const std::string& l_Failure : l_Row.m_Failures) {
            l_Text << "; " << l_Failure;
        }
        l_Text << "\n";
    }
    return l_Text.str();
}

// The first line where two texts differ, both versions quoted.
std::string firstDifference(const std::string& a_rWas, const std::string& a_rIs) {
    std::istringstream l_Was(a_rWas), l_Is(a_rIs);
    std::string l_WasLine, l_IsLine;
    for (std::size_t l_Number = 1;; ++l_Number) {
        const bool l_WasMore = static_cast<bool>(std::getline(l_Was, l_WasLine));
        const bool l_IsMore = static_cast<bool>(std::getline(l_Is, l_IsLine));
        if (!l_WasMore && !l_IsMore) {
            return "";
        }
        if (!l_WasMore || !l_IsMore || l_WasLine != l_IsLine) {
            return "line " + std::to_string(l_Number) + " was \"" +
                   (l_WasMore ? l_WasLine : "(none)") + "\", the replay gives \"" +
                   (l_IsMore ? l_IsLine : "(none)") + "\"";
        }
    }
}

bool isFile(const std::string& a_rPath) {
#ifdef _WIN32
    const tWideString l_Path = widen(a_rPath);
    const DWORD l_Attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(l_Path.c_str()));
    return l_Attributes != INVALID_FILE_ATTRIBUTES &&
           (l_Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    std::FILE* l_pFile = std::fopen(a_rPath.c_str(), "rb");
    if (l_pFile != nullptr) {
        std::fclose(l_pFile);
    }
    return l_pFile != nullptr;
#endif
}

// The simulator named, else the one beside the probe, else the package's, beside bin/.
std::string findSimulator(const std::string& a_rNamed, std::string& a_rLooked) {
    if (!a_rNamed.empty()) {
        a_rLooked = a_rNamed;
        return isFile(a_rNamed) ? a_rNamed : std::string();
    }
    const std::string l_Name = nativeModuleName("zupcibrd");
    const std::string l_Folder = executableFolder();
    const std::string l_Beside = joinPath(l_Folder, l_Name);
    const std::size_t l_Cut = l_Folder.find_last_of("/\\");
    const std::string l_Package = joinPath(
        joinPath(l_Cut == std::string::npos ? "." : l_Folder.substr(0, l_Cut), "simulator"),
        l_Name);
    a_rLooked = l_Beside + " and " + l_Package;
    return isFile(l_Beside) ? l_Beside : isFile(l_Package) ? l_Package : std::string();
}

// The variable points at the file for as long as this lives, and is put back afterwards.
class cTopologyVariable {
public:
    explicit cTopologyVariable(const std::string& a_rFile) {
#ifdef _WIN32
        const wchar_t* l_pOld = _wgetenv(L"ZUPCIBRD_SIM_TOPOLOGY");
        m_Had = l_pOld != nullptr;
        m_Old = m_Had ? l_pOld : L"";
#else
        const char* l_pOld = std::getenv(kTopologyVariable);
        m_Had = l_pOld != nullptr;
        m_Old = m_Had ? l_pOld : "";
#endif
        set(widenIfNeeded(a_rFile));
    }
    ~cTopologyVariable() {
        set(m_Had ? m_Old : tText());
    }
    cTopologyVariable(const cTopologyVariable&) = delete;
    cTopologyVariable& operator=(const cTopologyVariable&) = delete;

private:
#ifdef _WIN32
    using tText = std::wstring;
    static tText widenIfNeeded(const std::string& a_rUtf8) {
        const tWideString l_Wide = widen(a_rUtf8);
        return tText(l_Wide.begin(), l_Wide.end());
    }
#else
    using tText = std::string;
    static tText widenIfNeeded(const std::string& a_rUtf8) {
        return a_rUtf8;
    }
#endif
    static void set(const tText& a_rValue) {
#ifdef _WIN32
        // The simulator reads the CRT's wide environment; an empty value removes the variable.
        _wputenv_s(L"ZUPCIBRD_SIM_TOPOLOGY", a_rValue.c_str());
#else
        if (a_rValue.empty()) {
            unsetenv(kTopologyVariable);
        } else {
            setenv(kTopologyVariable, a_rValue.c_str(), 1);
        }
#endif
    }
    bool m_Had = false;
    tText m_Old;
};

} // namespace

tLibraryView captureView(const std::string& a_rFinderModule) {
    tLibraryView l_View;
    l_View.m_Finder = finderText(runFinder(a_rFinderModule));
    std::ostringstream l_Diagnosis;
    const int l_Exit = runDiagnose(l_Diagnosis);
    static const std::regex kLoadedFrom("(\n  loaded from )[^\n]*");
    static const std::regex kHandle("\\(handle [0-9]+\\)");
    l_View.m_Diagnosis = std::regex_replace(
        std::regex_replace(l_Diagnosis.str(), kLoadedFrom, "$1(the library)"), kHandle, "(handle)");
    l_View.m_Diagnosis += "exit code " + std::to_string(l_Exit) + "\n";
    return l_View;
}

bool verifyRecording(const std::string& a_rFile, const std::string& a_rBody,
                     const tLibraryView& a_rBefore, const tRecordOptions& a_rOptions,
                     std::ostream& a_rOut, std::ostream& a_rErr) {
    std::string l_Looked;
    const std::string l_Simulator = findSimulator(a_rOptions.m_Simulator, l_Looked);
    if (l_Simulator.empty()) {
        a_rErr << "zu7461-probe: the recording is not verified: no simulator at " << l_Looked
               << " (name one with --simulator)\n";
        return false;
    }
    // Held by full path, the simulator is the library every load by bare name gets until it
    // is let go: the finder's, the diagnosis's and the walk's.
    const tLoadedModule l_Held = loadModule(l_Simulator);
    if (l_Held.m_Module == nullptr) {
        a_rErr << "zu7461-probe: the recording is not verified: cannot load " << l_Simulator << ": "
               << errorText(l_Held.m_Error) << "\n";
        return false;
    }
    tLibraryView l_After;
    std::string l_Walk;
    std::int32_t l_OpenStatus = 0;
    {
        const cTopologyVariable l_Variable(a_rFile);
        l_After = captureView(joinPath(executableFolder(), nativeModuleName("zu7461")));
        const tLoadedModule l_Again = loadModule(l_Simulator);
        if (l_Again.m_Module != nullptr) {
            cBridgeLibrary l_Library(l_Again.m_Module);
            l_OpenStatus = l_Library.has(kOpenSession) ? l_Library.openSession() : -1;
            if (l_OpenStatus >= 0) {
                std::ostringstream l_Quiet;
                l_Walk = recordMachine(l_Library, a_rOptions.m_Attributes, l_Quiet).m_Body;
            }
        }
    }
    FreeLibrary(l_Held.m_Module);
    bool l_Same = true;
    auto l_Compare = [&](const char* a_pWhat, const std::string& a_rWas, const std::string& a_rIs) {
        const std::string l_Difference = firstDifference(a_rWas, a_rIs);
        if (!l_Difference.empty()) {
            a_rErr << "zu7461-probe: the replay differs in " << a_pWhat << ": " << l_Difference
                   << "\n";
            l_Same = false;
        }
    };
    l_Compare("the finder's list", a_rBefore.m_Finder, l_After.m_Finder);
    l_Compare("the diagnosis", a_rBefore.m_Diagnosis, l_After.m_Diagnosis);
    l_Compare("the walk", a_rBody, l_Walk);
    if (l_Same) {
        a_rOut << "Replayed through " << l_Simulator
               << ": the finder's list, the diagnosis and the walk are the same\n";
    }
    return l_Same;
}

} // namespace nProbe
} // namespace nZU7461_14_0
