// Reading a details document back in tests: the members of the root object in their order.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {
namespace nTest {

using tJson = nlohmann::ordered_json;

// The document of a detailed status, or a discarded value when there is none or it does not
// parse.
inline tJson detailsOf(const tDetailedStatus& a_rStatus) {
    if (a_rStatus.json == nullptr) {
        return tJson(tJson::value_t::discarded);
    }
    return tJson::parse(a_rStatus.json, nullptr, false);
}

// The four members every producer starts with.
inline tJson errorMembers(const std::string& a_rConstant, const std::string& a_rFile, int a_Line) {
    tJson l_Members = tJson::object();
    l_Members["error_constant"] = a_rConstant;
    l_Members["file"] = a_rFile;
    l_Members["line"] = a_Line;
    l_Members["component"] = "zu7461";
    return l_Members;
}

// A detailed status that releases its buffer when the test ends.
class cDetailedStatus {
public:
    cDetailedStatus() : m_Status(makeDetailedStatus()) {}
    ~cDetailedStatus() { releaseDetailedStatus(&m_Status); }
    cDetailedStatus(const cDetailedStatus&) = delete;
    cDetailedStatus& operator=(const cDetailedStatus&) = delete;
    tDetailedStatus* get() { return &m_Status; }
    tDetailedStatus* operator->() { return &m_Status; }
    const tDetailedStatus& operator*() const { return m_Status; }

private:
    tDetailedStatus m_Status;
};

// Stores a_Code with a small document of its own, as an earlier producer would.
inline void presetStatus(tDetailedStatus* a_pStatus, std::int32_t a_Code, const char* a_pMarker) {
    char* l_pCursor = nullptr;
    if (setDetailedError(a_pStatus, a_Code, &l_pCursor)) {
        addErrorMembers(l_pCursor, detailsGrowth(a_pStatus), a_pMarker, "earlier", 1);
    }
}

} // namespace nTest
} // namespace nZU7461_14_0
