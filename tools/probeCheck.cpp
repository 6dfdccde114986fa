#include "tools/probeCheck.h"

#include "tools/probeBridgeLibrary.h"
#include "tools/probeCheckSession.h"
#include "tools/probeModule.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace nZU7461_14_0 {
namespace nProbe {

constexpr std::size_t kMaxShownText = 100;

std::string num(std::uint64_t a_Value) {
    return std::to_string(a_Value);
}

std::string code(std::int32_t a_Status) {
    return a_Status == kUnwritten ? "success without an answer" : std::to_string(a_Status);
}

std::string shorten(const std::string& a_rText) {
    return a_rText.size() <= kMaxShownText ? a_rText : a_rText.substr(0, kMaxShownText) + "...";
}

void cFindings::printText(std::ostream& a_rOut) const {
    for (const tFinding& l_Finding : m_Listed) {
        a_rOut << l_Finding.m_Kind << ": " << l_Finding.m_Call << " " << l_Finding.m_Text << "\n";
    }
    for (const auto& l_Kind : m_PerKind) {
        if (l_Kind.second > kMaxListedPerKind) {
            a_rOut << l_Kind.first << ": " << l_Kind.second - kMaxListedPerKind
                   << " more not shown\n";
        }
    }
    a_rOut << (m_Total == 0 ? "no" : num(m_Total)) << (m_Total == 1 ? " finding" : " findings")
           << "\n";
}

void cFindings::printJson(std::ostream& a_rOut) const {
    nlohmann::json l_List = nlohmann::json::array();
    for (const tFinding& l_Finding : m_Listed) {
        l_List.push_back(
            {{"kind", l_Finding.m_Kind}, {"call", l_Finding.m_Call}, {"text", l_Finding.m_Text}});
    }
    for (const auto& l_Kind : m_PerKind) {
        if (l_Kind.second > kMaxListedPerKind) {
            l_List.push_back({{"kind", l_Kind.first}, {"more", l_Kind.second - kMaxListedPerKind}});
        }
    }
    a_rOut << l_List.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

namespace {

std::int32_t openSession(const cBridgeLibrary& a_rLibrary, std::uint32_t& a_rSession) {
    std::int32_t l_Status = 0;
    for (const std::uint32_t l_Pattern : {0xA5A5A5A5u, 0x5A5A5A5Au}) {
        a_rSession = l_Pattern;
        l_Status = a_rLibrary.call<tZuPciBrd_OpenSession>(kOpenSession, 0u, &a_rSession);
        if (l_Status < 0 || a_rSession != l_Pattern) {
            return l_Status;
        }
        // The handle is the pattern, or nothing was written; a session it may have opened
        // under another handle cannot be closed.
    }
    return kUnwritten;
}

// Both sessions open at once; the second is only compared with the first.
void checkLibrary(const cBridgeLibrary& a_rLibrary, cFindings& a_rFindings) {
    for (std::size_t l_Index = 0; l_Index < kZuPciBrdEntryCount; ++l_Index) {
        if (!a_rLibrary.has(l_Index)) {
            a_rFindings.add("missing-entry", bridgeLibraryFileName(),
                            std::string("lacks ") + kZuPciBrdEntryNames[l_Index]);
        }
    }
    if (!a_rLibrary.has(kOpenSession)) {
        return;
    }
    std::uint32_t l_First = 0;
    std::int32_t l_Status = openSession(a_rLibrary, l_First);
    if (l_Status < 0) {
        a_rFindings.add(l_Status == kUnwritten ? "unwritten" : "session", "OpenSession(0)",
                        l_Status == kUnwritten ? "answers success but leaves the session unwritten"
                                               : "fails with " + code(l_Status));
        return;
    }
    const tAnswers l_A = checkSession(a_rLibrary, l_First, a_rFindings);

    std::uint32_t l_Second = 0;
    l_Status = openSession(a_rLibrary, l_Second);
    if (l_Status < 0) {
        a_rFindings.add("session", "OpenSession(0)",
                        "fails with " + code(l_Status) + " while session " + num(l_First) +
                            " is open");
    } else if (l_Second == l_First) {
        a_rFindings.add("session", "OpenSession(0)",
                        "answers session " + num(l_Second) + " again while it is open");
    } else {
        cFindings l_Ignored(false);
        const tAnswers l_B = checkSession(a_rLibrary, l_Second, l_Ignored);
        auto l_InA = l_A.begin();
        auto l_InB = l_B.begin();
        while (l_InA != l_A.end() || l_InB != l_B.end()) {
            const bool l_TakeA =
                l_InB == l_B.end() || (l_InA != l_A.end() && l_InA->first <= l_InB->first);
            const bool l_TakeB =
                l_InA == l_A.end() || (l_InB != l_B.end() && l_InB->first <= l_InA->first);
            const std::string l_AnswerA = l_TakeA ? l_InA->second : "not asked";
            const std::string l_AnswerB = l_TakeB ? l_InB->second : "not asked";
            if (l_AnswerA != l_AnswerB) {
                a_rFindings.add("sessions-differ", l_TakeA ? l_InA->first : l_InB->first,
                                "answers " + shorten(l_AnswerA) + " in the first session, " +
                                    shorten(l_AnswerB) + " in the second");
            }
            l_InA = l_TakeA ? std::next(l_InA) : l_InA;
            l_InB = l_TakeB ? std::next(l_InB) : l_InB;
        }
        a_rLibrary.closeSession(l_Second);
    }
    a_rLibrary.closeSession(l_First);
}

} // namespace

int runCheck(bool a_Json, std::ostream& a_rOut) {
    // The name the finder asks for; the platform layer turns it into this platform's own.
    const std::string l_Searched = bridgeLibraryFileName();
    cFindings l_Findings(true);
    const tLoadedModule l_Loaded = loadModule("zupcibrd.dll");
    std::string l_Location;
    if (l_Loaded.m_Module == nullptr) {
        l_Findings.add("library", l_Searched,
                       "cannot be loaded: " + errorText(l_Loaded.m_Error, l_Searched) + "; " +
                           bareNameSearch());
    } else {
        const cBridgeLibrary l_Library(l_Loaded.m_Module);
        l_Location = moduleLocation(l_Loaded.m_Module, l_Library.anyEntry());
        checkLibrary(l_Library, l_Findings);
    }
    if (a_Json) {
        l_Findings.printJson(a_rOut);
    } else {
        a_rOut << "Checking " << l_Searched << " (loaded by bare name, as the finder loads it)"
               << (l_Location.empty() ? "" : " from " + l_Location) << "\n";
        l_Findings.printText(a_rOut);
    }
    return l_Findings.total() == 0 ? 0 : 1;
}

} // namespace nProbe
} // namespace nZU7461_14_0
