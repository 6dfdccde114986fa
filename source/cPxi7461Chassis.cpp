#include "source/cPxi7461Chassis.h"

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "cPxi7461Chassis";
constexpr std::uint32_t kLineU32NullOutput = 52;
constexpr std::uint32_t kLineU32UnknownAttribute = 79;
constexpr std::uint32_t kLineStringNullOutput = 98;
constexpr std::uint32_t kLineStringUnknownAttribute = 125;

constexpr std::uint32_t kChassisKind = 2;
// Handed out by address: they live as long as the module.
constexpr const char kMaker[] = "Velmora";
constexpr const char kModel[] = "ZU PXI-7461";

} // namespace

void cPxi7461Chassis::getU32Attribute(std::uint32_t a_AttributeId, std::uint32_t* a_pValue,
                                      tStatus* a_pStatus) const {
    if (a_pValue == nullptr) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineU32NullOutput);
    }
    if (isFailed(a_pStatus)) {
        return;
    }
    switch (a_AttributeId) {
    case ZU7461_ATTR_U32_KIND:
        *a_pValue = kChassisKind;
        break;
    case ZU7461_ATTR_U32_BRIDGE_VALUE:
        *a_pValue = m_BridgeValue;
        break;
    default:
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineU32UnknownAttribute);
        break;
    }
}

void cPxi7461Chassis::getStringAttribute(std::uint32_t a_AttributeId, const char** a_ppValue,
                                         tStatus* a_pStatus) const {
    if (a_ppValue == nullptr) {
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineStringNullOutput);
    }
    if (isFailed(a_pStatus)) {
        return;
    }
    switch (a_AttributeId) {
    case ZU7461_ATTR_STRING_MAKER:
        *a_ppValue = kMaker;
        break;
    case ZU7461_ATTR_STRING_MODEL:
        *a_ppValue = kModel;
        break;
    default:
        raiseStatus(a_pStatus, kStatusInvalidParameter, kFile, kLineStringUnknownAttribute);
        break;
    }
}

} // namespace nZU7461_14_0
