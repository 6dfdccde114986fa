// Why the finder sees what it sees: the bridge driver library loaded the way the finder loads
// it, its entry points, a session, and every bridge it reports.
#pragma once

#include <ostream>

namespace nZU7461_14_0 {
namespace nProbe {

// Exit code: 0 when the library loaded with every entry point and answered every query.
int runDiagnose(std::ostream& a_rOut);

} // namespace nProbe
} // namespace nZU7461_14_0
