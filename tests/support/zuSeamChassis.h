// Supplies the chassis records that discovery would find, through the session manager's test
// seam, for tests that link the finder directly.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "source/cSessionManager.h"
#include "source/finder.h"

namespace zuTest {

struct tSeamScript {
    std::vector<std::uint16_t> bridgeValues;
    // After this many records the source fails with failCode (when failCode is not 0).
    std::size_t failAfter = 0;
    std::int32_t failCode = 0;
};

inline tSeamScript& seamScript() {
    static tSeamScript s_Script;
    return s_Script;
}

inline void supplyChassis(nZU7461_14_0::tChassisArray& a_rFound, nZU7461_14_0::tStatus* a_pStatus) {
    const tSeamScript& l_rScript = seamScript();
    for (std::size_t l_Index = 0; l_Index < l_rScript.bridgeValues.size(); ++l_Index) {
        if (l_rScript.failCode != 0 && l_Index == l_rScript.failAfter) {
            nZU7461_14_0::raiseStatus(a_pStatus, l_rScript.failCode, "seam", 1);
        }
        if (nZU7461_14_0::isFailed(a_pStatus)) {
            return;
        }
        nZU7461_14_0::appendChassis(a_rFound, l_rScript.bridgeValues[l_Index], a_pStatus);
    }
}

// Attaches the finder with the seam in place for one test, and detaches it afterwards.
class tSeamedFinder {
public:
    explicit tSeamedFinder(std::vector<std::uint16_t> a_BridgeValues) {
        seamScript() = tSeamScript{std::move(a_BridgeValues), 0, 0};
        nZU7461_14_0::setChassisSourceForTesting(&supplyChassis);
        nZU7461_14_0::moduleAttach();
    }
    ~tSeamedFinder() {
        nZU7461_14_0::moduleDetach();
        nZU7461_14_0::setChassisSourceForTesting(nullptr);
    }
    tSeamedFinder(const tSeamedFinder&) = delete;
    tSeamedFinder& operator=(const tSeamedFinder&) = delete;
};

} // namespace zuTest
