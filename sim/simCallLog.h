// The call log of the simulated bridge driver library: with ZUPCIBRD_SIM_LOG naming a file,
// every call of an entry point is appended to it as one line.
#pragma once

#include <string>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// Appends the line and a line break. The variable is read at every call, and the file is
// opened and closed again each time, so a test may read, move or delete it between calls.
// A file that cannot be written is passed over: the log must never change an answer.
void appendCallLog(const std::string& a_rLine);

// Text as the log shows it: in double quotes, with quotes, backslashes and bytes outside
// printable ASCII escaped (\" \\ \0 \xNN).
std::string quotedText(const char* a_pBytes, std::size_t a_Size);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
