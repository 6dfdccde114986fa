// zu7461-probe: lists the chassis the finder module finds, as a resource host would see them,
// and diagnoses the bridge driver library when none is found.
#include "tools/probeCheck.h"
#include "tools/probeDiagnose.h"
#include "tools/probeFinder.h"
#include "tools/probeModule.h"
#include "tools/probeRecord.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>

using namespace nZU7461_14_0::nProbe;

namespace {

// A command line that cannot be run: one code for every such mistake, apart from the codes of
// what a run finds (0 to 3).
constexpr int kExitCommandLine = 4;

bool parseAttributeId(const std::string& a_rText, std::uint32_t& a_rId) {
    const bool l_Hex = a_rText.size() > 2 && a_rText[0] == '0' && (a_rText[1] | 0x20) == 'x';
    const std::string l_Digits = l_Hex ? a_rText.substr(2) : a_rText;
    if (l_Digits.empty() || l_Digits.size() > (l_Hex ? 8u : 10u) ||
        l_Digits.find_first_not_of(l_Hex ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos) {
        return false;
    }
    const unsigned long long l_Value = std::stoull(l_Digits, nullptr, l_Hex ? 16 : 10);
    a_rId = static_cast<std::uint32_t>(l_Value);
    return l_Value <= 0xFFFFFFFFull;
}

} // namespace

int main(int a_Count, char** a_ppArguments) {
    try {
        CLI::App l_App{"Lists the ZU PXI-7461 chassis that the finder module finds, or diagnoses "
                       "the PCI bridge driver library it relies on.",
                       "zu7461-probe"};
        std::string l_Module;
        bool l_Json = false;
        bool l_Diagnose = false;
        l_App.add_option("--module", l_Module,
                         "Finder module to load (default: " + nativeModuleName("zu7461") +
                             " beside this program)");
        CLI::Option* l_pJson =
            l_App.add_flag("--json", l_Json, "Print the list as JSON, for scripts");
        l_App
            .add_flag("--diagnose", l_Diagnose,
                      "Load the bridge driver library as the finder does and list every bridge "
                      "it reports")
            ->excludes(l_pJson);
        std::string l_Record;
        std::vector<std::string> l_AttributeTexts;
        CLI::Option* l_pRecord =
            l_App
                .add_option("--record", l_Record,
                            "Load the bridge driver library as the finder does and write what it "
                            "reports as a topology file of the simulator")
                ->excludes(l_pJson);
        l_App
            .add_option("--attribute", l_AttributeTexts,
                        "With --record: one more attribute ID to read from every bridge "
                        "(decimal or 0x hexadecimal; repeatable)")
            ->needs(l_pRecord);
        tRecordOptions l_RecordOptions;
        l_App
            .add_flag("--force", l_RecordOptions.m_Force, "With --record: replace an existing file")
            ->needs(l_pRecord);
        l_App
            .add_option("--simulator", l_RecordOptions.m_Simulator,
                        "With --record: the simulator that replays the recording to verify it "
                        "(default: beside this program, then in the package's simulator folder)")
            ->needs(l_pRecord);
        bool l_Check = false;
        l_App
            .add_flag("--check", l_Check,
                      "Load the bridge driver library as the finder does and report every answer "
                      "that breaks what the finder relies on")
            ->excludes("--diagnose")
            ->excludes(l_pRecord);
        l_App.set_version_flag("--version", std::string("zu7461-probe ") + ZU_PROJECT_VERSION);

        // CLI11 takes the arguments without the program name, last first.
        std::vector<std::string> l_Arguments = utf8Arguments(a_Count, a_ppArguments);
        if (!l_Arguments.empty()) {
            l_Arguments.erase(l_Arguments.begin());
        }
        std::reverse(l_Arguments.begin(), l_Arguments.end());
        try {
            l_App.parse(l_Arguments);
        } catch (const CLI::ParseError& a_rError) {
            // --help and --version end parsing too, successfully.
            return l_App.exit(a_rError) == 0 ? 0 : kExitCommandLine;
        }

        if (!l_Record.empty() && l_Diagnose) {
            std::cerr << "zu7461-probe: --record and --diagnose are separate runs\n";
            return kExitCommandLine;
        }
        if (!l_Record.empty()) {
            std::vector<std::uint32_t>& l_Attributes = l_RecordOptions.m_Attributes;
            for (const std::string& l_Text : l_AttributeTexts) {
                std::uint32_t l_Id = 0;
                if (!parseAttributeId(l_Text, l_Id)) {
                    std::cerr << "zu7461-probe: --attribute " << l_Text
                              << ": not a 32-bit number (decimal, or 0x and hexadecimal)\n";
                    return kExitCommandLine;
                }
                l_Attributes.push_back(l_Id);
            }
            l_RecordOptions.m_File = l_Record;
            return runRecord(l_RecordOptions, std::cout, std::cerr);
        }
        if (l_Check) {
            return runCheck(l_Json, std::cout);
        }
        if (l_Diagnose) {
            return runDiagnose(std::cout);
        }
        if (l_Module.empty()) {
            l_Module = joinPath(executableFolder(), nativeModuleName("zu7461"));
        }
        const tFinderReport l_Report = runFinder(l_Module);
        return l_Json ? printFinderJson(l_Report, std::cout)
                      : printFinderText(l_Report, std::cout, std::cerr);
    } catch (const std::exception& a_rError) {
        std::cerr << "zu7461-probe: " << a_rError.what() << "\n";
    } catch (...) {
        std::cerr << "zu7461-probe: unexpected failure\n";
    }
    return 3;
}
