#include "tools/probeDiagnose.h"

#include "pcibrd/zupcibrd.h"
#include "tools/probeBridgeLibrary.h"
#include "tools/probeFinder.h"
#include "tools/probeModule.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

// What discovery searches for; a bridge with these subsystem IDs is a chassis.

struct tBridgeLine {
    std::vector<std::string> m_Cells;
    bool m_Chassis = false;
};

// One line per bridge: its reference, address, IDs and slot path, and for a chassis its
// bridge value as discovery would read it.
tBridgeLine describeBridge(const cBridgeLibrary& a_rLibrary, std::uint32_t a_Bridge,
                           bool& a_rAllAnswered) {
    tBridgeLine l_Line;
    std::string l_Notes;
    auto l_Note = [&](const char* a_pCall, std::int32_t a_Status) {
        l_Notes += std::string(l_Notes.empty() ? "" : "; ") + a_pCall + ": " + statusText(a_Status);
        a_rAllAnswered = false;
    };
    const std::uint32_t l_Session = a_rLibrary.session();
    std::string l_Address = "?", l_Ids = "?", l_Subsystem = "?", l_Path = "?";

    std::uint8_t l_Bus = 0, l_Device = 0, l_Function = 0;
    if (a_rLibrary.has(kGetBridgeAddress)) {
        const std::int32_t l_Status = a_rLibrary.entry<tZuPciBrd_GetBridgeAddress>(
            kGetBridgeAddress)(l_Session, a_Bridge, &l_Bus, &l_Device, &l_Function);
        if (l_Status >= 0) {
            l_Address =
                hexText(l_Bus, 2) + ":" + hexText(l_Device, 2) + "." + hexText(l_Function, 1);
        } else {
            l_Note("GetBridgeAddress", l_Status);
        }
    }
    std::uint16_t l_Vid = 0, l_Pid = 0, l_SsVid = 0, l_SsPid = 0;
    if (a_rLibrary.has(kGetBridgeIds)) {
        const std::int32_t l_Status = a_rLibrary.entry<tZuPciBrd_GetBridgeIds>(kGetBridgeIds)(
            l_Session, a_Bridge, &l_Vid, &l_Pid, &l_SsVid, &l_SsPid);
        if (l_Status >= 0) {
            l_Ids = hexText(l_Vid, 4) + ":" + hexText(l_Pid, 4);
            l_Subsystem = hexText(l_SsVid, 4) + ":" + hexText(l_SsPid, 4);
            l_Line.m_Chassis = l_SsVid == ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID &&
                               l_SsPid == ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
        } else {
            l_Note("GetBridgeIds", l_Status);
        }
    }
    if (a_rLibrary.has(kGetBridgeSlotPath)) {
        std::vector<char> l_Text;
        const std::int32_t l_Status = fetchAll<char>(
            [&](char* a_pText, std::uint32_t* a_pSize) {
                return a_rLibrary.entry<tZuPciBrd_GetBridgeSlotPath>(kGetBridgeSlotPath)(
                    l_Session, a_Bridge, a_pText, a_pSize);
            },
            l_Text);
        if (l_Status >= 0) {
            // The library's text is not trusted to end within the size it gave.
            l_Path.assign(l_Text.begin(), std::find(l_Text.begin(), l_Text.end(), '\0'));
        } else {
            l_Note("GetBridgeSlotPath", l_Status);
        }
    }
    if (l_Line.m_Chassis) {
        std::string l_Value = "chassis";
        if (a_rLibrary.has(kGetAttributeU32)) {
            std::uint32_t l_Attribute = 0;
            const std::int32_t l_Status =
                a_rLibrary.entry<tZuPciBrd_GetAttributeU32>(kGetAttributeU32)(
                    l_Session, a_Bridge, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, &l_Attribute);
            if (l_Status >= 0) {
                l_Value += ", bridge value 0x" + hexText(l_Attribute & 0xFFFFu, 4) +
                           " (attribute 0x" + hexText(l_Attribute, 8) + ")";
            } else {
                l_Note("GetAttributeU32", l_Status);
            }
        }
        l_Notes = l_Value + (l_Notes.empty() ? "" : "; " + l_Notes);
    }
    l_Line.m_Cells = {std::to_string(a_Bridge), l_Address, l_Ids, l_Subsystem, l_Path, l_Notes};
    return l_Line;
}

} // namespace

int runDiagnose(std::ostream& a_rOut) {
    // The name the finder asks for; the platform layer turns it into this platform's own.
    const char kLibraryName[] = "zupcibrd.dll";
    const std::string l_Searched = bridgeLibraryFileName();
    a_rOut << "Bridge driver library " << l_Searched << " (loaded by bare name, as the finder "
           << "loads it):\n";
    const tLoadedModule l_Loaded = loadModule(kLibraryName);
    if (l_Loaded.m_Module == nullptr) {
        a_rOut << "  not loaded: " << errorText(l_Loaded.m_Error, l_Searched) << "\n"
               << "  " << bareNameSearch() << "\n"
               << "  " << simulatorSearchAdvice() << "\n";
        return 1;
    }
    cBridgeLibrary l_Library(l_Loaded.m_Module);
    const std::string l_Location = moduleLocation(l_Loaded.m_Module, l_Library.anyEntry());
    a_rOut << "  loaded from " << (l_Location.empty() ? "an unknown place" : l_Location) << "\n";

    std::vector<std::string> l_Missing;
    for (std::size_t l_Index = 0; l_Index < kZuPciBrdEntryCount; ++l_Index) {
        if (!l_Library.has(l_Index)) {
            l_Missing.push_back(kZuPciBrdEntryNames[l_Index]);
        }
    }
    if (l_Missing.empty()) {
        a_rOut << "  entry points: all " << kZuPciBrdEntryCount << " present\n";
    } else {
        a_rOut << "  entry points: " << l_Missing.size() << " of " << kZuPciBrdEntryCount
               << " missing:";
        for (const std::string& l_Name : l_Missing) {
            a_rOut << " " << l_Name;
        }
        a_rOut << "\n";
    }
    bool l_AllAnswered = l_Missing.empty();

    if (!l_Library.has(kOpenSession)) {
        a_rOut << "  session: cannot be opened without ZuPciBrd_OpenSession\n";
        return 1;
    }
    const std::int32_t l_SessionStatus = l_Library.openSession();
    if (l_SessionStatus < 0) {
        a_rOut << "  session: OpenSession failed with " << statusText(l_SessionStatus) << "\n";
        return 1;
    }
    a_rOut << "  session: open (handle " << l_Library.session() << ")";
    if (l_SessionStatus > 0) {
        a_rOut << ", with the warning " << l_SessionStatus;
    }
    a_rOut << "\n";

    if (l_Library.has(kGetRootBuses)) {
        std::vector<std::uint8_t> l_Buses;
        const std::int32_t l_Status = fetchAll<std::uint8_t>(
            [&](std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
                return l_Library.entry<tZuPciBrd_GetRootBuses>(kGetRootBuses)(l_Library.session(),
                                                                              a_pBuses, a_pCount);
            },
            l_Buses);
        a_rOut << "  root buses:";
        if (l_Status < 0) {
            a_rOut << " GetRootBuses failed with " << statusText(l_Status);
            l_AllAnswered = false;
        } else if (l_Buses.empty()) {
            a_rOut << " none";
        }
        for (const std::uint8_t l_Bus : l_Buses) {
            a_rOut << " " << hexText(l_Bus, 2);
        }
        a_rOut << "\n";
    }

    if (!l_Library.has(kFindBridgesByPciIds)) {
        a_rOut << "  bridges: cannot be listed without ZuPciBrd_FindBridgesByPciIds\n";
        return 1;
    }
    auto l_Find = [&](const std::uint16_t* a_pSsVid, const std::uint16_t* a_pSsPid,
                      std::vector<std::uint32_t>& a_rBridges) {
        return fetchAll<std::uint32_t>(
            [&](std::uint32_t* a_pBridges, std::uint32_t* a_pCount) {
                return l_Library.entry<tZuPciBrd_FindBridgesByPciIds>(kFindBridgesByPciIds)(
                    l_Library.session(), nullptr, nullptr, a_pSsVid, a_pSsPid, a_pBridges,
                    a_pCount);
            },
            a_rBridges);
    };
    std::vector<std::uint32_t> l_Bridges;
    const std::int32_t l_ListStatus = l_Find(nullptr, nullptr, l_Bridges);
    if (l_ListStatus < 0) {
        a_rOut << "  bridges: FindBridgesByPciIds with no ID failed with "
               << statusText(l_ListStatus) << "\n";
        return 1;
    }
    a_rOut << "  bridges: " << l_Bridges.size() << "\n";
    std::size_t l_ChassisCount = 0;
    if (!l_Bridges.empty()) {
        std::vector<std::vector<std::string>> l_Rows = {
            {"", "Ref", "Address", "IDs", "Subsystem", "Slot path", "Notes"}};
        for (const std::uint32_t l_Bridge : l_Bridges) {
            tBridgeLine l_Line = describeBridge(l_Library, l_Bridge, l_AllAnswered);
            l_ChassisCount += l_Line.m_Chassis ? 1 : 0;
            l_Line.m_Cells.insert(l_Line.m_Cells.begin(), l_Line.m_Chassis ? "*" : "");
            l_Rows.push_back(std::move(l_Line.m_Cells));
        }
        printTable(l_Rows, "    ", a_rOut);
    }
    a_rOut << "  chassis bridges (* above, subsystem "
           << hexText(ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID, 4) << ":"
           << hexText(ZUPCIBRD_CHASSIS_SUBSYSTEM_ID, 4) << "): " << l_ChassisCount << "\n";

    // The search the finder itself makes; a library that treats null IDs differently from
    // "any" shows up as a difference here.
    std::vector<std::uint32_t> l_Found;
    const std::uint16_t l_SsVid = ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID,
                        l_SsPid = ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
    const std::int32_t l_SearchStatus = l_Find(&l_SsVid, &l_SsPid, l_Found);
    a_rOut << "  the finder's search answers ";
    if (l_SearchStatus < 0) {
        a_rOut << "the failure " << statusText(l_SearchStatus) << "\n";
        return 1;
    }
    a_rOut << l_Found.size() << (l_Found.size() == 1 ? " bridge" : " bridges");
    for (std::size_t l_Index = 0; l_Index < l_Found.size(); ++l_Index) {
        a_rOut << (l_Index == 0 ? ": " : ", ") << l_Found[l_Index];
    }
    a_rOut << "\n";
    if (l_Found.size() != l_ChassisCount) {
        a_rOut << "  the finder's search and the list above disagree\n";
        l_AllAnswered = false;
    }
    return l_AllAnswered ? 0 : 1;
}

} // namespace nProbe
} // namespace nZU7461_14_0
