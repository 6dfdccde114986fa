#include "tools/probeWalk.h"

#include "pcibrd/cSlotPath.h"

namespace nZU7461_14_0 {
namespace nProbe {

bool isSlotPath(const std::string& a_rText) {
    tStatus l_Status = makeStatus();
    cSlotPath l_Parsed;
    l_Parsed.Parse(a_rText.c_str(), &l_Status);
    return !isFailed(&l_Status);
}

std::string slotPathText(std::uint8_t a_RootBus, const std::vector<std::uint8_t>& a_rElements) {
    tStatus l_Status = makeStatus();
    cSlotPath l_Path;
    l_Path.SetRootBus(a_RootBus);
    for (const std::uint8_t l_Element : a_rElements) {
        l_Path.AppendElement(l_Element, &l_Status);
    }
    cCheckedString l_Text;
    l_Path.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

} // namespace nProbe
} // namespace nZU7461_14_0
