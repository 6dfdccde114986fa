// The call log of the simulated bridge driver library: with ZUPCIBRD_SIM_LOG naming a file,
// every call of an entry point is appended to it as one line. The whole line format is here.
#pragma once

#include "sim/simCall.h"

#include <cstdint>
#include <string>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// The variable is read at every line, and the file is opened and closed again each time, so a
// test may read, move or delete it between calls. A file that cannot be written is passed
// over: the log must never change an answer.
void appendCallLog(const std::string& a_rLine);

// A call as the caller saw it: its arguments, its answer, what it wrote, and in brackets
// a_rCause, the rules (or chaos) that decided it.
std::string logLine(const tSimCall& a_rCall, const std::string& a_rCause);
// A line of its own: the library's load and unload, a call's arrival at a gate.
void appendLogNote(const std::string& a_rNote);

// Arguments as a line shows them: numbers in decimal, IDs and attributes in hexadecimal, an
// output pointer as "out", a buffer as "buf", a count pointer as the count it holds, any null
// pointer as "null".
namespace nShown {
std::string num(std::uint32_t a_Value);
std::string hex(std::uint32_t a_Value, int a_Digits);
std::string out(const void* a_pOutput);
std::string buffer(const void* a_pBuffer);
std::string count(const std::uint32_t* a_pCount);
std::string id(const std::uint16_t* a_pId);
// A caller's text, quoted, and shown only so far when it has no end.
std::string text(const char* a_pText);
// The first bytes of a buffer, enough to tell images apart.
std::string bytes(const void* a_pBytes, std::uint32_t a_Count);

template <typename... tParts> std::string args(const tParts&... a_rParts) {
    std::string l_Text;
    for (const std::string& l_Part : {std::string(a_rParts)...}) {
        l_Text += (l_Text.empty() ? "" : ",") + l_Part;
    }
    return l_Text;
}
} // namespace nShown

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
