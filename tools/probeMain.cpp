// zu7461-probe: lists the chassis the finder module finds, as a resource host would see them,
// and diagnoses the bridge driver library when none is found.
#include "tools/probeDiagnose.h"
#include "tools/probeFinder.h"
#include "tools/probeModule.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>

using namespace nZU7461_14_0::nProbe;

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
            return l_App.exit(a_rError);
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
