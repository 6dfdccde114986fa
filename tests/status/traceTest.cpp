#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "source/finder.h"
#include "status/trace.h"

using namespace nZU7461_14_0;
using namespace nZU7461_14_0::nZUOSKA000;

namespace {

// Collects what the trace sends to the debugger output.
std::string g_Captured;
void captureDebugOutput(const char* a_pText) {
    g_Captured += a_pText;
}

class cDebugOutputCapture {
public:
    cDebugOutputCapture() : m_Previous(setDebugOutputForTesting(&captureDebugOutput)) {
        g_Captured.clear();
    }
    ~cDebugOutputCapture() { setDebugOutputForTesting(m_Previous); }

private:
    tDebugOutput m_Previous;
};

TEST(ConsoleTraceDestination, WritesAtMostTheCountAndAtMost511Characters) {
    tConsoleTraceDestination l_Destination;
    const std::string l_Long(600, 'q');
    cDebugOutputCapture l_Capture;
    l_Destination.writeTextN("abcdef", 3);
    l_Destination.writeTextN("xy", 5);
    l_Destination.writeText(l_Long.c_str());
    l_Destination.writeTextN(l_Long.c_str(), 0xFFFFFFFF);
    EXPECT_EQ(g_Captured, "abcxy" + std::string(511, 'q') + std::string(511, 'q'));
}

TEST(ConsoleTraceDestination, DescribeDestinationCutsAndReportsTheFullSize) {
    tConsoleTraceDestination l_Destination;
    const struct {
        std::uint32_t size;
        const char* expected;
    } l_Cases[] = {
        {10, " --destin"}, {20, " --destination oska"}, {64, " --destination oska"}, {1, ""}};
    for (const auto& l_Case : l_Cases) {
        std::vector<char> l_Buffer(l_Case.size + 4, 'Z');
        std::uint32_t l_Needed = 0;
        char* l_pStop = l_Destination.describeDestination(l_Buffer.data(), l_Case.size, &l_Needed);
        EXPECT_STREQ(l_Buffer.data(), l_Case.expected) << l_Case.size;
        EXPECT_EQ(l_Needed, 20u);
        EXPECT_EQ(l_pStop - l_Buffer.data(), std::min<std::ptrdiff_t>(l_Case.size, 20));
        EXPECT_EQ(l_Buffer[l_Case.size], 'Z') << "wrote past the buffer";
    }
    std::uint32_t l_Needed = 0;
    EXPECT_EQ(l_Destination.describeDestination(nullptr, 0, &l_Needed), nullptr);
    EXPECT_EQ(l_Needed, 20u);
}

TEST(ModuleTrace, WritesToTheDebuggerFromAttachToDetach) {
    for (int l_Round = 0; l_Round < 2; ++l_Round) {
        moduleAttach();
        tTrace* l_pTrace = moduleTrace();
        ASSERT_NE(l_pTrace, nullptr);
        EXPECT_TRUE(l_pTrace->isActive());
        ASSERT_NE(l_pTrace->destination(), nullptr);
        {
            cDebugOutputCapture l_Capture;
            l_pTrace->destination()->writeText("attached");
            EXPECT_EQ(g_Captured, "attached");
        }
        moduleDetach();
        // Torn down: there is nothing left to write through.
        EXPECT_EQ(moduleTrace(), nullptr);
    }
}

} // namespace
