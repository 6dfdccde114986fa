#include "tools/probeRecord.h"

#include "tools/probeBridgeLibrary.h"
#include "tools/probeFinder.h"
#include "tools/probeModule.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <set>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

struct tRecordedBridge {
    std::uint32_t m_Ref = 0;
    std::uint8_t m_Bus = 0, m_Device = 0, m_Function = 0;
    std::uint16_t m_Ids[4] = {};
    std::optional<std::uint8_t> m_SecondaryBus;
    std::optional<std::uint32_t> m_Parent;
    std::string m_SlotPath;
    std::map<std::uint32_t, std::uint32_t> m_Attributes;
    std::vector<std::string> m_Notes;
};

std::string hexText(std::uint32_t a_Value, int a_Digits) {
    char l_Text[16];
    std::snprintf(l_Text, sizeof l_Text, "\"0x%0*X\"", a_Digits, a_Value);
    return l_Text;
}

std::string jsonText(const std::string& a_rText) {
    return nlohmann::json(a_rText).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string hostName() {
#ifdef _WIN32
    wchar_t l_Name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD l_Size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(l_Name, &l_Size) == 0) {
        return "an unnamed computer";
    }
    std::string l_Text;
    for (DWORD l_Index = 0; l_Index < l_Size; ++l_Index) {
        // Computer names are ASCII in practice; anything else is shown as '?'.
        l_Text += l_Name[l_Index] < 0x80 ? static_cast<char>(l_Name[l_Index]) : '?';
    }
    return l_Text;
#else
    char l_Name[256] = {};
    return gethostname(l_Name, sizeof l_Name - 1) == 0 ? l_Name : "an unnamed computer";
#endif
}

std::string utcNow() {
    const std::time_t l_Now = std::time(nullptr);
    std::tm l_Utc{};
#ifdef _WIN32
    gmtime_s(&l_Utc, &l_Now);
#else
    gmtime_r(&l_Now, &l_Utc);
#endif
    char l_Text[32];
    std::strftime(l_Text, sizeof l_Text, "%Y-%m-%dT%H:%M:%SZ", &l_Utc);
    return l_Text;
}

std::FILE* openForWriting(const std::string& a_rUtf8Path) {
#ifdef _WIN32
    const tWideString l_Path = widen(a_rUtf8Path);
    return _wfopen(reinterpret_cast<const wchar_t*>(l_Path.c_str()), L"wb");
#else
    return std::fopen(a_rUtf8Path.c_str(), "wb");
#endif
}

// Walks the library and remembers every failure on the way.
class cRecorder {
public:
    cRecorder(cBridgeLibrary& a_rLibrary, std::ostream& a_rErr)
        : m_rLibrary(a_rLibrary), m_rErr(a_rErr) {}

    bool Complete() const { return m_Complete; }

    void Failed(const std::string& a_rWhat, std::int32_t a_Status) {
        m_rErr << "zu7461-probe: " << a_rWhat << " failed with " << statusText(a_Status) << "\n";
        m_Complete = false;
    }
    bool Has(std::size_t a_Entry) {
        if (!m_rLibrary.has(a_Entry)) {
            if (m_Missing.insert(a_Entry).second) {
                m_rErr << "zu7461-probe: the library lacks " << kZuPciBrdEntryNames[a_Entry]
                       << "\n";
            }
            m_Complete = false;
            return false;
        }
        return true;
    }
    std::uint32_t Session() const { return m_rLibrary.session(); }
    template <typename tFunction> tFunction Entry(std::size_t a_Entry) const {
        return m_rLibrary.entry<tFunction>(a_Entry);
    }

    // Every list the library gives: the machine-wide search first, whose order is the order of
    // the finder's list and so of the file; then what the walk from the root buses adds.
    std::vector<std::uint32_t> Bridges(std::vector<std::uint8_t>& a_rRootBuses) {
        std::vector<std::uint32_t> l_Bridges;
        if (Has(kGetRootBuses)) {
            const std::int32_t l_Status = fetchAll<std::uint8_t>(
                [&](std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
                    return Entry<tZuPciBrd_GetRootBuses>(kGetRootBuses)(Session(), a_pBuses,
                                                                        a_pCount);
                },
                a_rRootBuses);
            if (l_Status < 0) {
                Failed("GetRootBuses", l_Status);
            }
        }
        if (Has(kFindBridgesByPciIds)) {
            const std::int32_t l_Status = fetchAll<std::uint32_t>(
                [&](std::uint32_t* a_pBridges, std::uint32_t* a_pCount) {
                    return Entry<tZuPciBrd_FindBridgesByPciIds>(kFindBridgesByPciIds)(
                        Session(), nullptr, nullptr, nullptr, nullptr, a_pBridges, a_pCount);
                },
                l_Bridges);
            if (l_Status < 0) {
                Failed("FindBridgesByPciIds with no ID", l_Status);
            }
        }
        std::vector<std::uint32_t> l_Pending;
        for (const std::uint8_t l_Bus : a_rRootBuses) {
            if (Has(kGetBusChildren)) {
                std::vector<std::uint32_t> l_Children;
                const std::int32_t l_Status = fetchAll<std::uint32_t>(
                    [&](std::uint32_t* a_pChildren, std::uint32_t* a_pCount) {
                        return Entry<tZuPciBrd_GetBusChildren>(kGetBusChildren)(
                            Session(), l_Bus, a_pChildren, a_pCount);
                    },
                    l_Children);
                if (l_Status < 0) {
                    Failed("GetBusChildren of root bus " + std::to_string(l_Bus), l_Status);
                }
                l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
            }
        }
        std::set<std::uint32_t> l_Walked;
        while (!l_Pending.empty()) {
            const std::uint32_t l_Bridge = l_Pending.front();
            l_Pending.erase(l_Pending.begin());
            if (!l_Walked.insert(l_Bridge).second) {
                continue;
            }
            if (std::find(l_Bridges.begin(), l_Bridges.end(), l_Bridge) == l_Bridges.end()) {
                l_Bridges.push_back(l_Bridge);
            }
            std::vector<std::uint32_t> l_Children;
            if (Has(kGetBridgeChildren)) {
                const std::int32_t l_Status = fetchAll<std::uint32_t>(
                    [&](std::uint32_t* a_pChildren, std::uint32_t* a_pCount) {
                        return Entry<tZuPciBrd_GetBridgeChildren>(kGetBridgeChildren)(
                            Session(), l_Bridge, a_pChildren, a_pCount);
                    },
                    l_Children);
                if (l_Status < 0) {
                    Failed("GetBridgeChildren of bridge " + std::to_string(l_Bridge), l_Status);
                }
                m_Children[l_Bridge] = l_Children;
            }
            l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
        }
        return l_Bridges;
    }

    // The library reports no secondary bus as such: it is the bus a bridge's children sit on,
    // or the bus for which the library names the bridge as the one above.
    std::map<std::uint32_t, std::uint8_t> BusesBehind() {
        std::map<std::uint32_t, std::uint8_t> l_Behind;
        if (Has(kFindParentBridgeForBus)) {
            for (unsigned l_Bus = 0; l_Bus <= 0xFF; ++l_Bus) {
                std::uint32_t l_Bridge = 0;
                const std::int32_t l_Status =
                    Entry<tZuPciBrd_FindParentBridgeForBus>(kFindParentBridgeForBus)(
                        Session(), static_cast<std::uint8_t>(l_Bus), &l_Bridge);
                if (l_Status >= 0 && l_Bridge != 0 && l_Behind.count(l_Bridge) == 0) {
                    l_Behind[l_Bridge] = static_cast<std::uint8_t>(l_Bus);
                }
            }
        }
        return l_Behind;
    }

    bool Describe(tRecordedBridge& a_rBridge, const std::vector<std::uint32_t>& a_rAttributes) {
        const std::string l_Which = " of bridge " + std::to_string(a_rBridge.m_Ref);
        if (!Has(kGetBridgeAddress) || !Has(kGetBridgeIds)) {
            return false;
        }
        std::int32_t l_Status = Entry<tZuPciBrd_GetBridgeAddress>(kGetBridgeAddress)(
            Session(), a_rBridge.m_Ref, &a_rBridge.m_Bus, &a_rBridge.m_Device,
            &a_rBridge.m_Function);
        if (l_Status < 0) {
            Failed("GetBridgeAddress" + l_Which, l_Status);
            return false;
        }
        if (a_rBridge.m_Device > 31 || a_rBridge.m_Function > 7) {
            m_rErr << "zu7461-probe: GetBridgeAddress" << l_Which << " answered device "
                   << unsigned{a_rBridge.m_Device} << ", function "
                   << unsigned{a_rBridge.m_Function} << "\n";
            m_Complete = false;
            return false;
        }
        std::uint16_t* l_pIds = a_rBridge.m_Ids;
        l_Status = Entry<tZuPciBrd_GetBridgeIds>(kGetBridgeIds)(
            Session(), a_rBridge.m_Ref, &l_pIds[0], &l_pIds[1], &l_pIds[2], &l_pIds[3]);
        if (l_Status < 0) {
            Failed("GetBridgeIds" + l_Which, l_Status);
            return false;
        }
        if (Has(kGetBridgeParent)) {
            std::uint32_t l_Parent = 0;
            l_Status = Entry<tZuPciBrd_GetBridgeParent>(kGetBridgeParent)(
                Session(), a_rBridge.m_Ref, &l_Parent);
            if (l_Status < 0) {
                Failed("GetBridgeParent" + l_Which, l_Status);
            } else {
                a_rBridge.m_Parent = l_Parent;
            }
        }
        if (Has(kGetBridgeSlotPath)) {
            std::vector<char> l_Text;
            l_Status = fetchAll<char>(
                [&](char* a_pText, std::uint32_t* a_pSize) {
                    return Entry<tZuPciBrd_GetBridgeSlotPath>(kGetBridgeSlotPath)(
                        Session(), a_rBridge.m_Ref, a_pText, a_pSize);
                },
                l_Text);
            if (l_Status < 0) {
                Failed("GetBridgeSlotPath" + l_Which, l_Status);
            } else {
                a_rBridge.m_SlotPath.assign(l_Text.begin(),
                                            std::find(l_Text.begin(), l_Text.end(), '\0'));
            }
        }
        if (Has(kGetAttributeU32)) {
            for (const std::uint32_t l_Id : a_rAttributes) {
                std::uint32_t l_Value = 0;
                l_Status = Entry<tZuPciBrd_GetAttributeU32>(kGetAttributeU32)(
                    Session(), a_rBridge.m_Ref, l_Id, &l_Value);
                // Not every bridge has every attribute: a refusal is an answer, not a gap.
                if (l_Status >= 0) {
                    a_rBridge.m_Attributes[l_Id] = l_Value;
                }
            }
        }
        return true;
    }

private:
    cBridgeLibrary& m_rLibrary;
    std::ostream& m_rErr;
    bool m_Complete = true;
    std::set<std::size_t> m_Missing;
    std::map<std::uint32_t, std::vector<std::uint32_t>> m_Children;

public:
    const std::map<std::uint32_t, std::vector<std::uint32_t>>& Children() const {
        return m_Children;
    }
};

std::string bridgeLine(const tRecordedBridge& a_rBridge) {
    std::string l_Line = "    { \"ref\": " + std::to_string(a_rBridge.m_Ref) +
                         ", \"bus\": " + hexText(a_rBridge.m_Bus, 2) +
                         ", \"device\": " + hexText(a_rBridge.m_Device, 2) +
                         ", \"function\": " + std::to_string(a_rBridge.m_Function) +
                         ", \"secondaryBus\": " + hexText(*a_rBridge.m_SecondaryBus, 2) +
                         ",\n      \"vendorId\": " + hexText(a_rBridge.m_Ids[0], 4) +
                         ", \"deviceId\": " + hexText(a_rBridge.m_Ids[1], 4) +
                         ", \"subsystemVendorId\": " + hexText(a_rBridge.m_Ids[2], 4) +
                         ", \"subsystemId\": " + hexText(a_rBridge.m_Ids[3], 4);
    if (a_rBridge.m_Parent) {
        l_Line +=
            ", \"parent\": " +
            (*a_rBridge.m_Parent == 0 ? std::string("null") : std::to_string(*a_rBridge.m_Parent));
    }
    if (!a_rBridge.m_Attributes.empty()) {
        l_Line += ",\n      \"attributes\": {";
        bool l_First = true;
        for (const auto& l_Attribute : a_rBridge.m_Attributes) {
            l_Line += std::string(l_First ? " " : ", ") + hexText(l_Attribute.first, 8) + ": " +
                      hexText(l_Attribute.second, 8);
            l_First = false;
        }
        l_Line += " }";
    }
    std::string l_Comment =
        a_rBridge.m_SlotPath.empty() ? std::string() : "slot path " + a_rBridge.m_SlotPath;
    for (const std::string& l_Note : a_rBridge.m_Notes) {
        l_Comment += (l_Comment.empty() ? "" : "; ") + l_Note;
    }
    if (!l_Comment.empty()) {
        l_Line += ",\n      \"comment\": " + jsonText(l_Comment);
    }
    return l_Line + " }";
}

} // namespace

int runRecord(const std::string& a_rFile, const std::vector<std::uint32_t>& a_rAttributes,
              std::ostream& a_rOut, std::ostream& a_rErr) {
    const char kLibraryName[] = "zupcibrd.dll";
    const tLoadedModule l_Loaded = loadModule(kLibraryName);
    if (l_Loaded.m_Module == nullptr) {
        const std::string l_Message = systemMessage(l_Loaded.m_Error);
        a_rErr << "zu7461-probe: cannot load " << kLibraryName << ": error " << l_Loaded.m_Error
               << (l_Message.empty() ? "" : " (" + l_Message + ")") << "; nothing recorded\n";
        return 1;
    }
    cBridgeLibrary l_Library(l_Loaded.m_Module);
    const std::string l_Location = moduleLocation(l_Loaded.m_Module, l_Library.anyEntry());
    cRecorder l_Recorder(l_Library, a_rErr);
    if (!l_Recorder.Has(kOpenSession)) {
        a_rErr << "zu7461-probe: no session without ZuPciBrd_OpenSession; nothing recorded\n";
        return 1;
    }
    const std::int32_t l_SessionStatus = l_Library.openSession();
    if (l_SessionStatus < 0) {
        l_Recorder.Failed("OpenSession", l_SessionStatus);
        a_rErr << "zu7461-probe: nothing recorded\n";
        return 1;
    }

    std::vector<std::uint32_t> l_Attributes = {ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE};
    for (const std::uint32_t l_Id : a_rAttributes) {
        if (std::find(l_Attributes.begin(), l_Attributes.end(), l_Id) == l_Attributes.end()) {
            l_Attributes.push_back(l_Id);
        }
    }

    std::vector<std::uint8_t> l_RootBuses;
    const std::vector<std::uint32_t> l_Refs = l_Recorder.Bridges(l_RootBuses);
    std::map<std::uint32_t, std::uint8_t> l_Behind = l_Recorder.BusesBehind();
    std::vector<tRecordedBridge> l_Bridges;
    for (const std::uint32_t l_Ref : l_Refs) {
        tRecordedBridge l_Bridge;
        l_Bridge.m_Ref = l_Ref;
        if (l_Ref == 0 || l_Ref == 0xFFFFFFFFu) {
            a_rErr << "zu7461-probe: the library listed the reference " << l_Ref
                   << ", which cannot be recorded\n";
            continue;
        }
        if (l_Recorder.Describe(l_Bridge, l_Attributes)) {
            l_Bridges.push_back(std::move(l_Bridge));
        } else {
            a_rErr << "zu7461-probe: bridge " << l_Ref << " is left out\n";
        }
    }
    // Children tell the bus behind a bridge where the library did not name it.
    for (const auto& l_Parent : l_Recorder.Children()) {
        for (const tRecordedBridge& l_Child : l_Bridges) {
            const auto& l_Kids = l_Parent.second;
            if (l_Behind.count(l_Parent.first) == 0 &&
                std::find(l_Kids.begin(), l_Kids.end(), l_Child.m_Ref) != l_Kids.end()) {
                l_Behind[l_Parent.first] = l_Child.m_Bus;
            }
        }
    }

    // The file must make a machine the simulator accepts: every bus a bridge sits on is a root
    // bus or behind another bridge, and every bridge has a bus of its own behind it.
    std::set<unsigned> l_UsedBuses(l_RootBuses.begin(), l_RootBuses.end());
    for (tRecordedBridge& l_Bridge : l_Bridges) {
        const auto l_Bus = l_Behind.find(l_Bridge.m_Ref);
        if (l_Bus != l_Behind.end() && l_UsedBuses.insert(l_Bus->second).second &&
            l_Bus->second != l_Bridge.m_Bus) {
            l_Bridge.m_SecondaryBus = l_Bus->second;
        }
    }
    std::map<unsigned, std::uint32_t> l_BridgeAbove;
    for (const tRecordedBridge& l_Bridge : l_Bridges) {
        if (l_Bridge.m_SecondaryBus) {
            l_BridgeAbove[*l_Bridge.m_SecondaryBus] = l_Bridge.m_Ref;
        }
    }
    for (tRecordedBridge& l_Bridge : l_Bridges) {
        l_UsedBuses.insert(l_Bridge.m_Bus);
        if (l_BridgeAbove.count(l_Bridge.m_Bus) == 0 &&
            std::find(l_RootBuses.begin(), l_RootBuses.end(), l_Bridge.m_Bus) ==
                l_RootBuses.end()) {
            l_RootBuses.push_back(l_Bridge.m_Bus);
            l_Bridge.m_Notes.push_back("its bus was reported neither as a root bus nor behind a "
                                       "bridge: recorded as a root bus");
        }
    }
    for (tRecordedBridge& l_Bridge : l_Bridges) {
        if (!l_Bridge.m_SecondaryBus) {
            unsigned l_Free = 0xFF;
            while (l_Free > 0 && l_UsedBuses.count(l_Free) != 0) {
                --l_Free;
            }
            l_UsedBuses.insert(l_Free);
            l_Bridge.m_SecondaryBus = static_cast<std::uint8_t>(l_Free);
            l_Bridge.m_Notes.push_back("no bus behind it was reported: one was chosen");
        }
        // A parent is written only where it agrees with the buses; the simulator derives it.
        const auto l_Above = l_BridgeAbove.find(l_Bridge.m_Bus);
        const std::uint32_t l_Derived = l_Above == l_BridgeAbove.end() ? 0 : l_Above->second;
        if (l_Bridge.m_Parent && *l_Bridge.m_Parent != l_Derived) {
            l_Bridge.m_Notes.push_back("the library named parent " +
                                       std::to_string(*l_Bridge.m_Parent));
            l_Bridge.m_Parent.reset();
        }
    }

    std::string l_Text = "{\n  \"comment\": " +
                         jsonText("Recorded by zu7461-probe " ZU_PROJECT_VERSION " on " +
                                  hostName() + " at " + utcNow() + " from " +
                                  (l_Location.empty() ? std::string(kLibraryName) : l_Location) +
                                  (l_Recorder.Complete() ? "" : " (incomplete: see its report)")) +
                         ",\n  \"rootBuses\": [";
    for (std::size_t l_Index = 0; l_Index < l_RootBuses.size(); ++l_Index) {
        l_Text += (l_Index == 0 ? "" : ", ") + hexText(l_RootBuses[l_Index], 2);
    }
    l_Text += "],\n  \"bridges\": [";
    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        l_Text += (l_Index == 0 ? "\n" : ",\n") + bridgeLine(l_Bridges[l_Index]);
    }
    l_Text += l_Bridges.empty() ? "]\n}\n" : "\n  ]\n}\n";

    std::FILE* l_pFile = openForWriting(a_rFile);
    const bool l_Written = l_pFile != nullptr &&
                           std::fwrite(l_Text.data(), 1, l_Text.size(), l_pFile) == l_Text.size();
    if (l_pFile != nullptr && std::fclose(l_pFile) != 0) {
        a_rErr << "zu7461-probe: cannot write " << a_rFile << "\n";
        return 3;
    }
    if (!l_Written) {
        a_rErr << "zu7461-probe: cannot write " << a_rFile << "\n";
        return 3;
    }
    a_rOut << "Recorded " << l_RootBuses.size() << " root buses and " << l_Bridges.size()
           << " bridges from " << (l_Location.empty() ? kLibraryName : l_Location) << " into "
           << a_rFile << (l_Recorder.Complete() ? "" : " (incomplete)") << "\n";
    return l_Recorder.Complete() ? 0 : 1;
}

} // namespace nProbe
} // namespace nZU7461_14_0
