// What the two halves of --check share: the findings, and each session's walk, whose answers
// are compared between two sessions.
#pragma once

#include "tools/probeBridgeLibrary.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

// Findings of one kind listed in the report; the rest are counted.
constexpr std::size_t kMaxListedPerKind = 20;
// A call that succeeded without writing its outputs: no answer to follow up.
constexpr std::int32_t kUnwritten = INT32_MIN;

std::string num(std::uint64_t a_Value);
// A status as the report gives it: the number, or kUnwritten in words.
std::string code(std::int32_t a_Status);
// Cut to a length that a line of the report can hold.
std::string shorten(const std::string& a_rText);

struct tFinding {
    std::string m_Kind;
    std::string m_Call;
    std::string m_Text;
};

// Every finding counts; only the first few of a kind are kept for the report.
class cFindings {
public:
    explicit cFindings(bool a_Keep) : m_Keep(a_Keep) {}

    void add(const std::string& a_rKind, const std::string& a_rCall, const std::string& a_rText) {
        if (!m_Keep) {
            return;
        }
        ++m_Total;
        if (++m_PerKind[a_rKind] <= kMaxListedPerKind) {
            m_Listed.push_back({a_rKind, a_rCall, a_rText});
        }
    }
    std::size_t total() const { return m_Total; }

    void printText(std::ostream& a_rOut) const;
    void printJson(std::ostream& a_rOut) const;

private:
    bool m_Keep;
    std::size_t m_Total = 0;
    std::map<std::string, std::size_t> m_PerKind;
    std::vector<tFinding> m_Listed;
};

// Each call and its answer as text, to compare two sessions.
using tAnswers = std::map<std::string, std::string>;

// Everything one session reports, walked from the searches and the root buses, each answer
// checked against the others; the answers, for another session to be compared with.
tAnswers checkSession(const cBridgeLibrary& a_rLibrary, std::uint32_t a_Session,
                      cFindings& a_rFindings);

} // namespace nProbe
} // namespace nZU7461_14_0
