// Recording a machine: everything the bridge driver library reports, written as a topology
// file of the simulator, so that the machine can be replayed where there is no hardware.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

// Loads the library as the finder does, walks what it reports and writes the file (UTF-8
// path). Bridge value attribute 0x20000300 is always read; a_rAttributes adds more. Calls
// that fail and entry points that are missing go to a_rErr, and the file holds what could be
// read. Exit code: 0 when everything was read, 1 when something was not (the file is written
// whenever a session opened), 3 when the file cannot be written.
int runRecord(const std::string& a_rFile, const std::vector<std::uint32_t>& a_rAttributes,
              std::ostream& a_rOut, std::ostream& a_rErr);

} // namespace nProbe
} // namespace nZU7461_14_0
