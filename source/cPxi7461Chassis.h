// One found chassis: the record behind an item handle.
#pragma once

#include <cstdint>

#include "status/tStatus.h"

namespace nZU7461_14_0 {

class cPxi7461Chassis {
public:
    explicit cPxi7461Chassis(std::uint16_t a_BridgeValue) noexcept : m_BridgeValue(a_BridgeValue) {}

    void getU32Attribute(std::uint32_t a_AttributeId, std::uint32_t* a_pValue,
                         tStatus* a_pStatus) const;
    void getStringAttribute(std::uint32_t a_AttributeId, const char** a_ppValue,
                            tStatus* a_pStatus) const;

private:
    std::uint16_t m_BridgeValue;
};

} // namespace nZU7461_14_0
