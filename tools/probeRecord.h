// Recording a machine: everything the bridge driver library reports, written as a topology
// file of the simulator, so that the machine can be replayed where there is no hardware.
#pragma once

#include "tools/probeBridgeLibrary.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

struct tRecordOptions {
    std::string m_File; // UTF-8
    // Read from every bridge besides the bridge value attribute 0x20000300.
    std::vector<std::uint32_t> m_Attributes;
    // Replace an existing file instead of refusing to.
    bool m_Force = false;
    // The simulator to replay the recording with; empty: beside the probe, then in the
    // package's simulator folder.
    std::string m_Simulator;
};

// What one walk of a library gives: the file's text below its comment, and what the walk found
// wrong. The text always makes a machine the simulator accepts.
struct tMachineRecording {
    std::string m_Body;
    std::size_t m_RootBuses = 0;
    std::size_t m_Bridges = 0;
    // Calls that failed or lacked an entry point: the file holds less than the library knows.
    bool m_Complete = true;
    // Answers the file does not make the simulator give again, one text each.
    std::vector<std::string> m_NotReproduced;
    // Bridges the library reported but the file leaves out.
    std::vector<std::uint32_t> m_LeftOut;
};

// Walks the library through its open session; failures go to a_rErr.
tMachineRecording recordMachine(cBridgeLibrary& a_rLibrary,
                                const std::vector<std::uint32_t>& a_rAttributes,
                                std::ostream& a_rErr);

// Loads the library as the finder does, writes the file and replays it through the simulator.
// Exit code: 0 when everything was read and the replay showed the same, 1 when something was
// not read, cannot be replayed, the replay differs or no simulator was found (the file is
// written whenever a session opened), 3 when the file cannot be written or exists already.
int runRecord(const tRecordOptions& a_rOptions, std::ostream& a_rOut, std::ostream& a_rErr);

} // namespace nProbe
} // namespace nZU7461_14_0
