#include "tools/probeFinder.h"

#include "tools/probeModule.h"
#include "zu7461/zu7461.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iomanip>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

const char kModel[] = "ZU PXI-7461";
// What the simulator's OpenSession answers when its topology file cannot be used.
constexpr std::int32_t kSimulatorRefusedTopology = -313005;

struct tFinderExports {
    tZU7461_openList m_OpenList = nullptr;
    tZU7461_closeList m_CloseList = nullptr;
    tZU7461_getNthItem m_GetNthItem = nullptr;
    tZU7461_getU32Attribute m_GetU32Attribute = nullptr;
    tZU7461_getStringAttribute m_GetStringAttribute = nullptr;
    tZU7461_getControllerIDSELMap m_GetControllerIDSELMap = nullptr;
};

template <typename tEntry>
void resolve(HMODULE a_Module, const char* a_pName, tEntry& a_rEntry,
             std::vector<std::string>& a_rMissing) {
    a_rEntry = reinterpret_cast<tEntry>(reinterpret_cast<void*>(GetProcAddress(a_Module, a_pName)));
    if (a_rEntry == nullptr) {
        a_rMissing.push_back(a_pName);
    }
}

void queryChassis(const tFinderExports& a_rExports, void* a_pList, tChassisRow& a_rRow) {
    auto l_Failed = [&](const std::string& a_rCall, std::int32_t a_Status) {
        if (a_Status < 0) {
            a_rRow.m_Failures.push_back(a_rCall + ": " + statusText(a_Status));
        }
        return a_Status < 0;
    };
    void* l_pItem = nullptr;
    if (l_Failed("getNthItem(" + std::to_string(a_rRow.m_Index) + ")",
                 a_rExports.m_GetNthItem(a_pList, a_rRow.m_Index, &l_pItem))) {
        return;
    }
    auto l_Number = [&](std::uint32_t a_Id, std::optional<std::uint32_t>& a_rValue) {
        std::uint32_t l_Value = 0;
        if (!l_Failed("getU32Attribute(0x" + hexText(a_Id, 0) + ")",
                      a_rExports.m_GetU32Attribute(l_pItem, a_Id, &l_Value))) {
            a_rValue = l_Value;
        }
    };
    auto l_Text = [&](std::uint32_t a_Id, std::optional<std::string>& a_rValue) {
        const char* l_pValue = nullptr;
        if (!l_Failed("getStringAttribute(" + std::to_string(a_Id) + ")",
                      a_rExports.m_GetStringAttribute(l_pItem, a_Id, &l_pValue))) {
            // Copied now: the text belongs to the list, which is closed before printing.
            a_rValue = l_pValue != nullptr ? l_pValue : "";
        }
    };
    l_Number(ZU7461_ATTR_U32_KIND, a_rRow.m_Kind);
    l_Number(ZU7461_ATTR_U32_BRIDGE_VALUE, a_rRow.m_BridgeValue);
    l_Text(ZU7461_ATTR_STRING_MAKER, a_rRow.m_Maker);
    l_Text(ZU7461_ATTR_STRING_MODEL, a_rRow.m_Model);
}

bool anyFailure(const tFinderReport& a_rReport) {
    return std::any_of(a_rReport.m_Chassis.begin(), a_rReport.m_Chassis.end(),
                       [](const tChassisRow& a_rRow) { return !a_rRow.m_Failures.empty(); });
}

std::string joined(const std::vector<std::string>& a_rTexts) {
    std::string l_Text;
    for (const std::string& l_Part : a_rTexts) {
        l_Text += (l_Text.empty() ? "" : ", ") + l_Part;
    }
    return l_Text;
}

} // namespace

std::string statusName(std::int32_t a_Status) {
#define ZU_PROBE_NAME_CASE(a_Code, a_Name)                                                         \
    if (a_Status == (a_Code)) {                                                                    \
        return a_Name;                                                                             \
    }
    ZU7461_STATUS_NAMES(ZU_PROBE_NAME_CASE)
#undef ZU_PROBE_NAME_CASE
    return std::string();
}

std::string openListHint(const tFinderReport& a_rReport) {
    const std::string l_Library = bridgeLibraryFileName();
    const std::string l_Diagnose = "run zu7461-probe --diagnose, which loads " + l_Library +
                                   " as the finder does and reports every step; ";
    switch (a_rReport.m_OpenStatus) {
    case ZU7461_STATUS_INVALID_PARAMETER:
        return l_Diagnose + "it shows where " + l_Library +
               " was searched and which one was loaded (or the system's error and how to use the "
               "package's simulator when none was found) and which entry points it lacks";
    case ZU7461_STATUS_MEMORY_FULL:
        // The details that tell the two apart stay inside the finder: the host sees the code.
        return "the finder ran out of memory, or the bridge driver library announced more "
               "bridges than the finder accepts (65,536); free memory and try again, then " +
               l_Diagnose + "it shows how many bridges the library lists and whether it answers";
    case kSimulatorRefusedTopology:
        if (a_rReport.m_BridgeIsSimulator) {
            return "the simulator refused its topology file " +
                   (a_rReport.m_Topology.empty() ? std::string("(ZUPCIBRD_SIM_TOPOLOGY)")
                                                 : "\"" + a_rReport.m_Topology + "\"") +
                   ": its own line on standard error (\"zupcibrd: topology file ...\") names "
                   "the fault; correct the file, or unset ZUPCIBRD_SIM_TOPOLOGY for the "
                   "built-in machine";
        }
        break;
    default:
        break;
    }
    return l_Diagnose + "the code is the bridge driver library's own, and it shows which call "
                        "the library refuses: the session, the list of bridges, or a bridge's "
                        "attribute";
}

std::string statusText(std::int32_t a_Status) {
    const std::string l_Name = statusName(a_Status);
    return std::to_string(a_Status) + (l_Name.empty() ? "" : " (" + l_Name + ")");
}

tFinderReport runFinder(const std::string& a_rModulePath) {
    tFinderReport l_Report;
    l_Report.m_Module = a_rModulePath;
    const tLoadedModule l_Loaded = loadModule(a_rModulePath);
    if (l_Loaded.m_Module == nullptr) {
        l_Report.m_LoadError = l_Loaded.m_Error;
        l_Report.m_LoadMessage = systemMessage(l_Loaded.m_Error, a_rModulePath);
        return l_Report;
    }
    l_Report.m_Loaded = true;
    tFinderExports l_Exports;
    std::vector<std::string>& l_Missing = l_Report.m_MissingExports;
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_openList", l_Exports.m_OpenList, l_Missing);
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_closeList", l_Exports.m_CloseList, l_Missing);
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_getNthItem", l_Exports.m_GetNthItem, l_Missing);
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_getU32Attribute", l_Exports.m_GetU32Attribute,
            l_Missing);
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_getStringAttribute", l_Exports.m_GetStringAttribute,
            l_Missing);
    resolve(l_Loaded.m_Module, "nZUPXIFINDER100_getControllerIDSELMap",
            l_Exports.m_GetControllerIDSELMap, l_Missing);

    if (l_Missing.empty()) {
        std::uint32_t l_Count = 0;
        void* l_pList = nullptr;
        l_Report.m_OpenStatus = l_Exports.m_OpenList(&l_Count, &l_pList);
        if (l_Report.m_OpenStatus >= 0) {
            l_Report.m_Count = l_Count;
            for (std::uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
                tChassisRow l_Row;
                l_Row.m_Index = l_Index;
                queryChassis(l_Exports, l_pList, l_Row);
                l_Report.m_Chassis.push_back(std::move(l_Row));
            }
        }
        if (l_Report.m_OpenStatus == kSimulatorRefusedTopology) {
            l_Report.m_BridgeIsSimulator = bridgeLibraryIsSimulator();
            const char* l_pTopology = std::getenv("ZUPCIBRD_SIM_TOPOLOGY");
            l_Report.m_Topology = l_pTopology != nullptr ? l_pTopology : "";
        }
        // A failed openList hands back no list; closing a null handle is harmless anyway.
        if (l_pList != nullptr) {
            l_Exports.m_CloseList(l_pList);
        }
    }
    FreeLibrary(l_Loaded.m_Module);
    return l_Report;
}

void printTable(const std::vector<std::vector<std::string>>& a_rRows, const std::string& a_rIndent,
                std::ostream& a_rOut) {
    std::vector<std::size_t> l_Widths(a_rRows.front().size(), 0);
    for (const auto& l_Row : a_rRows) {
        for (std::size_t l_Column = 0; l_Column < l_Row.size(); ++l_Column) {
            l_Widths[l_Column] = std::max(l_Widths[l_Column], l_Row[l_Column].size());
        }
    }
    for (const auto& l_Row : a_rRows) {
        std::string l_Line = a_rIndent;
        for (std::size_t l_Column = 0; l_Column < l_Row.size(); ++l_Column) {
            l_Line += l_Row[l_Column];
            l_Line.append(l_Widths[l_Column] + 2 - l_Row[l_Column].size(), ' ');
        }
        l_Line.erase(l_Line.find_last_not_of(' ') + 1);
        a_rOut << l_Line << "\n";
    }
}

int printFinderText(const tFinderReport& a_rReport, std::ostream& a_rOut, std::ostream& a_rErr) {
    if (!a_rReport.m_Loaded) {
        a_rErr << "zu7461-probe: cannot load the finder module " << a_rReport.m_Module << ": error "
               << a_rReport.m_LoadError;
        if (!a_rReport.m_LoadMessage.empty()) {
            a_rErr << " (" << a_rReport.m_LoadMessage << ")";
        }
        a_rErr << "\n";
        return 2;
    }
    if (!a_rReport.m_MissingExports.empty()) {
        a_rErr << "zu7461-probe: the finder module " << a_rReport.m_Module << " lacks the exports "
               << joined(a_rReport.m_MissingExports) << "\n";
        return 2;
    }
    a_rOut << "Finder module: " << a_rReport.m_Module << "\n";
    if (a_rReport.m_OpenStatus < 0) {
        a_rErr << "zu7461-probe: openList failed: " << statusText(a_rReport.m_OpenStatus) << "\n"
               << "zu7461-probe: next: " << openListHint(a_rReport) << "\n";
        return 1;
    }
    if (a_rReport.m_OpenStatus > 0) {
        a_rOut << "openList answered the warning " << statusText(a_rReport.m_OpenStatus) << "\n";
    }
    if (a_rReport.m_Count == 0) {
        a_rOut << "No " << kModel << " chassis found.\n";
        return 0;
    }
    a_rOut << "Found " << a_rReport.m_Count << " " << kModel << " chassis:\n";

    std::vector<std::vector<std::string>> l_Rows = {
        {"Index", "Maker", "Model", "Kind", "Bridge value"}};
    for (const tChassisRow& l_Chassis : a_rReport.m_Chassis) {
        l_Rows.push_back(
            {std::to_string(l_Chassis.m_Index), l_Chassis.m_Maker.value_or("?"),
             l_Chassis.m_Model.value_or("?"),
             l_Chassis.m_Kind ? std::to_string(*l_Chassis.m_Kind) : "?",
             l_Chassis.m_BridgeValue ? "0x" + hexText(*l_Chassis.m_BridgeValue, 4) : "?"});
    }
    printTable(l_Rows, "", a_rOut);
    for (const tChassisRow& l_Chassis : a_rReport.m_Chassis) {
        for (const std::string& l_Failure : l_Chassis.m_Failures) {
            a_rErr << "zu7461-probe: chassis " << l_Chassis.m_Index << ": " << l_Failure << "\n";
        }
    }
    return anyFailure(a_rReport) ? 1 : 0;
}

int printFinderJson(const tFinderReport& a_rReport, std::ostream& a_rOut) {
    using tJson = nlohmann::ordered_json;
    tJson l_Document = {{"module", a_rReport.m_Module}};
    int l_Exit = 0;
    if (!a_rReport.m_Loaded) {
        l_Document["error"] = "cannot load the finder module";
        l_Document["systemError"] = a_rReport.m_LoadError;
        l_Document["systemMessage"] = a_rReport.m_LoadMessage;
        l_Exit = 2;
    } else if (!a_rReport.m_MissingExports.empty()) {
        l_Document["error"] = "the finder module lacks exports";
        l_Document["missingExports"] = a_rReport.m_MissingExports;
        l_Exit = 2;
    } else {
        const std::string l_Name = statusName(a_rReport.m_OpenStatus);
        l_Document["status"] = a_rReport.m_OpenStatus;
        l_Document["statusName"] = l_Name.empty() ? tJson() : tJson(l_Name);
        if (a_rReport.m_OpenStatus < 0) {
            l_Document["error"] = "openList failed";
            l_Document["hint"] = openListHint(a_rReport);
            l_Exit = 1;
        }
        l_Document["count"] = a_rReport.m_Count;
        tJson l_Chassis = tJson::array();
        for (const tChassisRow& l_Row : a_rReport.m_Chassis) {
            auto l_OrNull = [](const auto& a_rValue) {
                return a_rValue ? tJson(*a_rValue) : tJson();
            };
            tJson l_Item = {{"index", l_Row.m_Index},
                            {"maker", l_OrNull(l_Row.m_Maker)},
                            {"model", l_OrNull(l_Row.m_Model)},
                            {"kind", l_OrNull(l_Row.m_Kind)},
                            {"bridgeValue", l_OrNull(l_Row.m_BridgeValue)},
                            {"bridgeValueHex", l_Row.m_BridgeValue
                                                   ? tJson("0x" + hexText(*l_Row.m_BridgeValue, 4))
                                                   : tJson()}};
            if (!l_Row.m_Failures.empty()) {
                l_Item["failures"] = l_Row.m_Failures;
                l_Exit = 1;
            }
            l_Chassis.push_back(std::move(l_Item));
        }
        l_Document["chassis"] = std::move(l_Chassis);
    }
    // Texts from the module are not trusted to be UTF-8.
    a_rOut << l_Document.dump(2, ' ', false, tJson::error_handler_t::replace) << "\n";
    return l_Exit;
}

} // namespace nProbe
} // namespace nZU7461_14_0
