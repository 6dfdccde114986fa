#include "tools/probeRecordRead.h"

#include "tools/probeFinder.h"
#include "tools/probeModule.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

constexpr std::size_t kShownFailures = 50;

class cLibraryReader : private tRecordLog, private tLibraryReading {
public:
    cLibraryReader(cBridgeLibrary& a_rLibrary, const std::vector<std::uint32_t>& a_rAttributes,
                   tRecordLog a_Log)
        : tRecordLog(a_Log), tLibraryReading([a_Log] {
              a_Log.m_rErr << "zu7461-probe: the library reports more than " << kMaxListItems
                           << " bridges; the walk stops there\n";
              a_Log.m_rRecording.m_Complete = false;
          }),
          m_rLibrary(a_rLibrary), m_rAttributes(a_rAttributes) {}

    tLibraryReading Run() {
        Walk();
        if (m_Failures > kShownFailures) {
            m_rErr << "zu7461-probe: " << m_Failures - kShownFailures
                   << " more calls failed (not shown)\n";
        }
        return std::move(*static_cast<tLibraryReading*>(this));
    }

private:
    template <typename tFunction, typename... tArguments>
    std::int32_t Call(std::size_t a_Entry, tArguments... a_Arguments) {
        return m_rLibrary.entry<tFunction>(a_Entry)(m_rLibrary.session(), a_Arguments...);
    }
    void Failed(const std::string& a_rWhat, std::int32_t a_Status, const std::string& a_rWhy) {
        // A library that refuses every bridge of thousands gets a report one can still read.
        if (++m_Failures <= kShownFailures) {
            m_rErr << "zu7461-probe: " << a_rWhat << " failed with " << statusText(a_Status)
                   << (a_rWhy.empty() ? "" : ": " + a_rWhy) << "\n";
        }
        m_rRecording.m_Complete = false;
    }
    bool Has(std::size_t a_Entry) {
        const bool l_Has = m_rLibrary.has(a_Entry);
        if (!l_Has && m_Missing.insert(a_Entry).second) {
            m_rErr << "zu7461-probe: the library lacks " << kZuPciBrdEntryNames[a_Entry] << "\n";
        }
        m_rRecording.m_Complete = m_rRecording.m_Complete && l_Has;
        return l_Has;
    }

    // Whether more lists may be read. What is not read stays out of the file, as with an entry
    // point the library lacks.
    bool Affordable() {
        const bool l_Affordable = m_ItemsRead <= kMaxWalkItems;
        if (!l_Affordable && !std::exchange(m_ListsCut, true)) {
            m_rErr << "zu7461-probe: the library's lists add up to more than " << kMaxWalkItems
                   << " items; the rest is not read\n";
        }
        m_rRecording.m_Complete = m_rRecording.m_Complete && l_Affordable;
        return l_Affordable;
    }

    void Meet(const std::vector<std::uint32_t>& a_rRefs) {
        for (const std::uint32_t l_Ref : a_rRefs) {
            if (l_Ref != 0 && l_Ref != 0xFFFFFFFFu) {
                m_Walk.meet(l_Ref);
            } else if (m_BadRefs.insert(l_Ref).second) {
                m_rErr << "zu7461-probe: the library listed the reference " << l_Ref
                       << ", which no bridge can have\n";
            }
        }
    }

    // The list the entry point gives for the session and a_Arguments; a failure reported as
    // that of a_rWhat.
    template <typename tFunction, typename tItem, typename... tArguments>
    tListAnswer<tItem> List(std::size_t a_Entry, const std::string& a_rWhat,
                            tArguments... a_Arguments) {
        tListAnswer<tItem> l_Answer;
        bool l_Counted = false;
        l_Answer.m_Code = fetchAll<tItem>(
            [&](tItem* a_pItems, std::uint32_t* a_pCount) {
                const std::int32_t l_Status =
                    Call<tFunction>(a_Entry, a_Arguments..., a_pItems, a_pCount);
                // The first call is the count query, whatever the fill's buffer turns out to be.
                l_Answer.m_Filled = std::exchange(l_Counted, true);
                l_Answer.m_Announced = l_Answer.m_Filled ? l_Answer.m_Announced : *a_pCount;
                return l_Status;
            },
            l_Answer.m_Items, &l_Answer.m_Why);
        if (l_Answer.m_Code < 0) {
            Failed(a_rWhat, l_Answer.m_Code, l_Answer.m_Why);
        }
        m_ItemsRead += l_Answer.m_Items.size();
        return l_Answer;
    }

    // An entry point's answer for the session and a_Arguments, into outputs of the types tValues.
    template <typename tFunction, typename... tValues, typename... tArguments>
    tSingleAnswer ReadTwice(std::size_t a_Entry, tArguments... a_Arguments) {
        tSingleAnswer l_First, l_Second;
        for (tSingleAnswer* l_pAnswer : {&l_First, &l_Second}) {
            std::tuple<tValues...> l_Values(
                static_cast<tValues>(l_pAnswer == &l_First ? 0 : ~0)...);
            l_pAnswer->m_Code = std::apply(
                [&](tValues&... a_rValues) {
                    return Call<tFunction>(a_Entry, a_Arguments..., &a_rValues...);
                },
                l_Values);
            l_pAnswer->m_Values = std::apply(
                [](tValues... a_Values) { return std::array<std::uint32_t, 4>{a_Values...}; },
                l_Values);
        }
        const std::array<std::uint32_t, 4> l_AllSet = {static_cast<tValues>(~0)...};
        if (l_First.m_Code != l_Second.m_Code) {
            l_First.m_Changes = true;
        } else if (l_First.m_Code >= 0 && l_First.m_Values != l_Second.m_Values) {
            l_First.m_Unwritten =
                l_First.m_Values == std::array<std::uint32_t, 4>{} && l_Second.m_Values == l_AllSet;
            l_First.m_Changes = !l_First.m_Unwritten;
        }
        return l_First;
    }

    void Walk() {
        if (Has(kGetRootBuses)) {
            m_Roots = List<tZuPciBrd_GetRootBuses, std::uint8_t>(kGetRootBuses, "GetRootBuses");
        }
        if (Has(kFindBridgesByPciIds)) {
            m_AllSearch = List<tZuPciBrd_FindBridgesByPciIds, std::uint32_t>(
                kFindBridgesByPciIds, "FindBridgesByPciIds with no ID", nullptr, nullptr, nullptr,
                nullptr);
            const std::uint16_t l_SsVid = ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID,
                                l_SsId = ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
            m_ChassisSearch = List<tZuPciBrd_FindBridgesByPciIds, std::uint32_t>(
                kFindBridgesByPciIds, "FindBridgesByPciIds for the chassis", nullptr, nullptr,
                &l_SsVid, &l_SsId);
            Meet(m_AllSearch->m_Items);
            Meet(m_ChassisSearch->m_Items);
        }
        if (m_Roots && Has(kGetBusChildren)) {
            for (const std::uint8_t l_Bus : m_Roots->m_Items) {
                if (m_BusChildren.count(l_Bus) != 0) {
                    continue;
                }
                if (!Affordable()) {
                    break;
                }
                auto& l_Children = m_BusChildren[l_Bus] =
                    List<tZuPciBrd_GetBusChildren, std::uint32_t>(
                        kGetBusChildren, "GetBusChildren of root bus 0x" + hexText(l_Bus, 2),
                        l_Bus);
                Meet(l_Children.m_Items);
            }
        }
        m_Walk.walk([&](std::size_t a_Index) {
            if (!Has(kGetBridgeChildren) || !Affordable()) {
                return;
            }
            const std::uint32_t l_Ref = m_Walk.bridges()[a_Index].m_Ref;
            auto& l_Children = m_BridgeChildren[l_Ref] =
                List<tZuPciBrd_GetBridgeChildren, std::uint32_t>(
                    kGetBridgeChildren, "GetBridgeChildren of bridge " + std::to_string(l_Ref),
                    l_Ref);
            Meet(l_Children.m_Items);
        });
        if (Has(kFindParentBridgeForBus)) {
            for (unsigned l_Bus = 0; l_Bus <= 0xFF; ++l_Bus) {
                std::uint32_t l_Bridge = 0;
                const std::int32_t l_Status = Call<tZuPciBrd_FindParentBridgeForBus>(
                    kFindParentBridgeForBus, static_cast<std::uint8_t>(l_Bus), &l_Bridge);
                m_BusOwner[l_Bus] = {l_Status, l_Status >= 0 ? l_Bridge : 0};
            }
        }
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            Describe(l_Bridge);
        }
    }

    void Describe(tRecordedBridge& a_rBridge) {
        const std::uint32_t l_Ref = a_rBridge.m_Ref;
        const std::string l_Which = " of bridge " + std::to_string(l_Ref);
        auto l_Single = [&](const std::string& a_rName, const tSingleAnswer& a_rAnswer) {
            if (a_rAnswer.m_Changes) {
                notReproduced(a_rName + l_Which + " answers differently each time");
            } else if (a_rAnswer.m_Code < 0) {
                Failed(a_rName + l_Which, a_rAnswer.m_Code, "");
            }
        };
        if (Has(kGetBridgeAddress)) {
            a_rBridge.m_Address =
                ReadTwice<tZuPciBrd_GetBridgeAddress, std::uint8_t, std::uint8_t, std::uint8_t>(
                    kGetBridgeAddress, l_Ref);
            l_Single("GetBridgeAddress", a_rBridge.m_Address);
        }
        if (Has(kGetBridgeIds)) {
            a_rBridge.m_Ids = ReadTwice<tZuPciBrd_GetBridgeIds, std::uint16_t, std::uint16_t,
                                        std::uint16_t, std::uint16_t>(kGetBridgeIds, l_Ref);
            l_Single("GetBridgeIds", a_rBridge.m_Ids);
        }
        if (Has(kGetBridgeParent)) {
            a_rBridge.m_Parent =
                ReadTwice<tZuPciBrd_GetBridgeParent, std::uint32_t>(kGetBridgeParent, l_Ref);
            l_Single("GetBridgeParent", a_rBridge.m_Parent);
        }
        if (Has(kGetBridgeSlotPath) && Affordable()) {
            a_rBridge.m_SlotPath = List<tZuPciBrd_GetBridgeSlotPath, char>(
                kGetBridgeSlotPath, "GetBridgeSlotPath" + l_Which, l_Ref);
            const std::string l_Path = slotPathAnswer(*a_rBridge.m_SlotPath);
            if (a_rBridge.m_SlotPath->m_Code >= 0 && !isSlotPath(l_Path)) {
                m_rErr << "zu7461-probe: the slot path" << l_Which << ", " << jsonText(l_Path)
                       << ", does not parse as MRbb:ee,...\n";
            }
        }
        if (Has(kGetAttributeU32)) {
            for (const std::uint32_t l_Id : m_rAttributes) {
                a_rBridge.m_Attributes.emplace_back(
                    l_Id, ReadTwice<tZuPciBrd_GetAttributeU32, std::uint32_t>(kGetAttributeU32,
                                                                              l_Ref, l_Id));
                // Not every bridge has every attribute: a refusal is an answer, not a gap.
                if (a_rBridge.m_Attributes.back().second.m_Changes) {
                    l_Single("GetAttributeU32 0x" + hexText(l_Id, 8),
                             a_rBridge.m_Attributes.back().second);
                }
            }
        }
    }

    cBridgeLibrary& m_rLibrary;
    const std::vector<std::uint32_t>& m_rAttributes;
    std::set<std::size_t> m_Missing;
    std::set<std::uint32_t> m_BadRefs;
    std::size_t m_Failures = 0;
    std::uint64_t m_ItemsRead = 0;
    bool m_ListsCut = false;
};

} // namespace

std::string jsonText(const std::string& a_rText) {
    return nlohmann::json(a_rText).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string slotPathAnswer(const tListAnswer<char>& a_rAnswer) {
    return std::string(a_rAnswer.m_Items.begin(),
                       std::find(a_rAnswer.m_Items.begin(), a_rAnswer.m_Items.end(), '\0'));
}

tLibraryReading readLibrary(cBridgeLibrary& a_rLibrary,
                            const std::vector<std::uint32_t>& a_rAttributes, tRecordLog a_Log) {
    return cLibraryReader(a_rLibrary, a_rAttributes, a_Log).Run();
}

} // namespace nProbe
} // namespace nZU7461_14_0
