// The bridge driver library held to the contract the finder relies on: every answer that
// breaks it (a list with a reference twice, a fill that claims more than it wrote, a slot path
// or address that leads elsewhere, parents and children that disagree, two sessions that see
// different machines) is one finding.
#pragma once

#include <ostream>

namespace nZU7461_14_0 {
namespace nProbe {

// Exit code: 0 when nothing was found, 1 when something was (a library that is missing, lacks
// entry points or refuses a session included).
int runCheck(bool a_Json, std::ostream& a_rOut);

} // namespace nProbe
} // namespace nZU7461_14_0
