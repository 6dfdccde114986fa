// The simulated bridge driver held by full path (so that the entry table's load by bare name gets
// it), scripted through "faults" and read back through its call log; and reading statuses back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "status/tDetailedStatus.h"
#include "tests/support/zuModuleLoader.h"
#include "tests/support/zuSimTopology.h"

namespace nZU7461_14_0 {
namespace nTest {

using tJson = nlohmann::ordered_json;

inline tJson detailsOf(const tDetailedStatus& a_rStatus) {
    return a_rStatus.json == nullptr ? tJson() : tJson::parse(a_rStatus.json, nullptr, false);
}

// The four members every producer starts with.
inline tJson errorMembers(const std::string& a_rConstant, const std::string& a_rFile, int a_Line) {
    return {{"error_constant", a_rConstant},
            {"file", a_rFile},
            {"line", a_Line},
            {"component", "zu7461"}};
}

// Released when the test ends.
struct cDetailedStatus : tDetailedStatus {
    cDetailedStatus() : tDetailedStatus(makeDetailedStatus()) {}
    ~cDetailedStatus() { releaseDetailedStatus(this); }
};

// a_Code with a small document of its own, as an earlier producer would leave it.
inline void presetStatus(tDetailedStatus* a_pStatus, std::int32_t a_Code) {
    char* l_pCursor = nullptr;
    if (setDetailedError(a_pStatus, a_Code, &l_pCursor)) {
        addErrorMembers(l_pCursor, detailsGrowth(a_pStatus), "earlier", "earlier", 1);
    }
}

// a_rLacking: "" for the simulator, else the entry point its variant lacks.
inline std::string simPath(const std::string& a_rLacking) {
#ifdef _WIN32
    const std::string l_Folder = "sim-variants\\no-";
#else
    const std::string l_Folder = "sim-variants/no-";
#endif
    return zuTest::modulePath("zupcibrd", a_rLacking.empty() ? "" : l_Folder + a_rLacking);
}

class cSimBridge {
public:
    explicit cSimBridge(const std::string& a_rLacking = "") : m_Held(simPath(a_rLacking)) {
        m_Log.take();
    }

    // The rules for the calls from the next session on; a_rEntry stands for every "E" in them.
    void script(std::string a_Rules, const std::string& a_rEntry = "") {
        for (std::size_t l_At = 0; (l_At = a_Rules.find("\"E\"")) != std::string::npos;) {
            a_Rules.replace(l_At + 1, 1, a_rEntry);
        }
        static int s_Version = 0; // a new file content, so that the simulator reads it again
        m_Topology.use(zuTest::chassisTopology({1, 2}, "{\"comment\":\"" +
                                                           std::to_string(++s_Version) +
                                                           "\",\"rules\":[" + a_Rules + "]}"));
    }

    // The calls since the last look, "Name(arguments)" a line, the session a_Session shown as S.
    std::string calls(std::uint32_t a_Session = 0) {
        std::istringstream l_Lines(m_Log.take());
        const std::string l_Session = std::to_string(a_Session);
        std::string l_Calls;
        for (std::string l_Line; std::getline(l_Lines, l_Line);) {
            l_Line = l_Line.substr(0, std::min(l_Line.find(" -> "), l_Line.find(" [")));
            const std::size_t l_At = l_Line.find('(') + 1;
            if (a_Session != 0 && l_Line.compare(l_At, l_Session.size(), l_Session) == 0 &&
                std::string(",)").find(l_Line[l_At + l_Session.size()]) != std::string::npos) {
                l_Line.replace(l_At, l_Session.size(), "S");
            }
            l_Calls += l_Line + "\n";
        }
        return l_Calls;
    }

    void release() { m_Held.release(); }

private:
    zuTest::cTopologyFile m_Topology{zuTest::tBridgeValues{1, 2}};
    zuTest::cCallLog m_Log;
    zuTest::tLoadedModule m_Held;
};

} // namespace nTest
} // namespace nZU7461_14_0
