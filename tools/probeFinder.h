// The probe as a host: loads the finder module, lists what it finds, and reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

struct tChassisRow {
    std::uint32_t m_Index = 0;
    // Empty when the query failed.
    std::optional<std::string> m_Maker;
    std::optional<std::string> m_Model;
    std::optional<std::uint32_t> m_Kind;
    std::optional<std::uint32_t> m_BridgeValue;
    // One text per query that failed, naming the query and its code.
    std::vector<std::string> m_Failures;
};

struct tFinderReport {
    std::string m_Module;
    bool m_Loaded = false;
    std::uint32_t m_LoadError = 0;
    std::string m_LoadMessage;
    std::vector<std::string> m_MissingExports;
    std::int32_t m_OpenStatus = 0;
    // After openList failed: whether the bridge driver library found by bare name is the
    // simulator, and the topology file named to it (empty for its built-in machine).
    bool m_BridgeIsSimulator = false;
    std::string m_Topology;
    std::uint32_t m_Count = 0;
    std::vector<tChassisRow> m_Chassis;
};

tFinderReport runFinder(const std::string& a_rModulePath);

// Each prints the whole report and gives the program's exit code: 0 when every call succeeded
// (no chassis is a success), 1 when openList or a query failed, 2 when the module could not be
// used at all.
int printFinderText(const tFinderReport& a_rReport, std::ostream& a_rOut, std::ostream& a_rErr);
int printFinderJson(const tFinderReport& a_rReport, std::ostream& a_rOut);

// "-52005 (zuoskaerr_invalidParameter)"; codes without a name of the component (the bridge
// driver library's own, for one) as the number alone.
std::string statusText(std::int32_t a_Status);
// What to try next after openList failed with the report's status.
std::string openListHint(const tFinderReport& a_rReport);
// The component's symbolic name of a code, or empty.
std::string statusName(std::int32_t a_Status);

// Rows of cells in columns as wide as their widest cell, two spaces apart, each line after
// a_rIndent; the first row is the heading.
void printTable(const std::vector<std::vector<std::string>>& a_rRows, const std::string& a_rIndent,
                std::ostream& a_rOut);

} // namespace nProbe
} // namespace nZU7461_14_0
