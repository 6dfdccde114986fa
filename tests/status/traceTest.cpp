#include <gtest/gtest.h>

#include <cstdio>
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

class tDebugOutputCapture {
public:
    tDebugOutputCapture() {
        g_Captured.clear();
        m_Previous = setDebugOutputForTesting(&captureDebugOutput);
    }
    ~tDebugOutputCapture() { setDebugOutputForTesting(m_Previous); }
    const std::string& text() const { return g_Captured; }

private:
    tDebugOutput m_Previous;
};

TEST(ConsoleTraceDestination, WriteTextNPrintsAtMostNCharacters) {
    tConsoleTraceDestination l_Destination;
    tDebugOutputCapture l_Capture;
    l_Destination.writeTextN("abcdef", 3);
    l_Destination.writeTextN("xy", 5);
    EXPECT_EQ(l_Capture.text(), "abcxy");
}

TEST(ConsoleTraceDestination, LongTextIsCutTo511Characters) {
    tConsoleTraceDestination l_Destination;
    const std::string l_Text(600, 'q');
    tDebugOutputCapture l_Capture;
    l_Destination.writeText(l_Text.c_str());
    l_Destination.writeTextN(l_Text.c_str(), 0xFFFFFFFF);
    EXPECT_EQ(l_Capture.text(), std::string(511, 'q') + std::string(511, 'q'));
}

TEST(ConsoleTraceDestination, DescribeDestinationCutsAndReportsTheFullSize) {
    tConsoleTraceDestination l_Destination;
    struct tCase {
        std::uint32_t size;
        const char* expected;
    };
    for (const tCase& l_Case : {tCase{10, " --destin"}, tCase{20, " --destination oska"},
                                tCase{64, " --destination oska"}, tCase{1, ""}}) {
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

TEST(ConsoleTraceDestination, FixedAnswers) {
    tConsoleTraceDestination l_Destination;
    iTraceDestination& l_rDestination = l_Destination;
    EXPECT_TRUE(l_rDestination.answersTrue());
    EXPECT_STREQ(l_rDestination.destinationName(), "zusdbg_printf");
}

TEST(ModuleTrace, LivesFromAttachToDetachAndIsTornDownBeforeTheFinderLock) {
    moduleAttach();
    ASSERT_NE(moduleTrace(), nullptr);
    EXPECT_TRUE(moduleTrace()->isActive());
    ASSERT_NE(moduleTrace()->destination(), nullptr);
    EXPECT_STREQ(moduleTrace()->destination()->destinationName(), "zusdbg_printf");
    moduleDetach();
    EXPECT_EQ(moduleTrace(), nullptr);
    const std::vector<const char*> l_Names = lastTeardownOrder();
    const std::vector<std::string> l_Order(l_Names.begin(), l_Names.end());
    EXPECT_EQ(l_Order,
              (std::vector<std::string>{"console trace destination", "trace", "finder lock"}));
}

} // namespace
