// A recording checked against the library it came from: the simulator replays the file, and
// the finder, a diagnosis and another walk must see there what they saw on the library.
#pragma once

#include "tools/probeRecord.h"

#include <ostream>
#include <string>

namespace nZU7461_14_0 {
namespace nProbe {

// What a host and a support engineer see of the bridge driver library the finder loads: the
// finder's list (code, count, bridge values) and the diagnosis, without what must differ
// between two libraries (where the library was loaded from, the session handle).
struct tLibraryView {
    std::string m_Finder;
    std::string m_Diagnosis;
};

tLibraryView captureView(const std::string& a_rFinderModule);

// Replays a_rFile through the simulator and compares; says what differs on a_rErr, and what
// was compared on a_rOut. True only when a simulator was found and everything is the same.
bool verifyRecording(const std::string& a_rFile, const std::string& a_rBody,
                     const tLibraryView& a_rBefore, const tRecordOptions& a_rOptions,
                     std::ostream& a_rOut, std::ostream& a_rErr);

} // namespace nProbe
} // namespace nZU7461_14_0
