#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <atomic>
#include <new>

namespace nZU7461_14_0 {
namespace nZUOSKA000 {

namespace {

constexpr std::size_t kDebugBufferSize = 512;
constexpr const char kDestinationOption[] = " --destination oska";

// Static storage, so that making the objects at attach needs no allocation.
alignas(tConsoleTraceDestination) unsigned char g_ConsoleStorage[sizeof(tConsoleTraceDestination)];
alignas(tTrace) unsigned char g_TraceStorage[sizeof(tTrace)];
tConsoleTraceDestination* g_pConsole = nullptr;
tTrace* g_pTrace = nullptr;

void toDebugger(const char* a_pText) {
    OutputDebugStringA(a_pText);
}
std::atomic<tDebugOutput> g_DebugOutput{&toDebugger};

} // namespace

void printDebug(const char* a_pFormat, ...) {
    char l_Buffer[kDebugBufferSize];
    va_list l_Arguments;
    va_start(l_Arguments, a_pFormat);
    std::vsnprintf(l_Buffer, sizeof l_Buffer, a_pFormat, l_Arguments);
    va_end(l_Arguments);
    l_Buffer[kDebugBufferSize - 1] = '\0';
    g_DebugOutput.load()(l_Buffer);
}

tDebugOutput setDebugOutputForTesting(tDebugOutput a_Output) {
    return g_DebugOutput.exchange(a_Output != nullptr ? a_Output : &toDebugger);
}

void tConsoleTraceDestination::writeTextN(const char* a_pText, std::uint32_t a_Count) {
    // printf precisions are ints; nothing beyond the buffer's 511 characters can show anyway.
    const std::uint32_t l_Count =
        a_Count < kDebugBufferSize - 1 ? a_Count : std::uint32_t{kDebugBufferSize - 1};
    char l_Format[16];
    std::snprintf(l_Format, sizeof l_Format, "%%.%us", static_cast<unsigned>(l_Count));
    printDebug(l_Format, a_pText != nullptr ? a_pText : "");
}

void tConsoleTraceDestination::writeText(const char* a_pText) {
    printDebug("%s", a_pText != nullptr ? a_pText : "");
}

char* tConsoleTraceDestination::describeDestination(char* a_pBuffer, std::uint32_t a_Size,
                                                    std::uint32_t* a_pNeeded) {
    char* l_pStop = a_pBuffer;
    if (a_pBuffer != nullptr) {
        const char* l_pSource = kDestinationOption;
        char* const l_pEnd = a_pBuffer + a_Size;
        while (l_pStop < l_pEnd) {
            const char l_Char = *l_pSource++;
            *l_pStop++ = l_Char;
            if (l_Char == '\0') {
                break;
            }
        }
        if (a_Size != 0) {
            a_pBuffer[a_Size - 1] = '\0';
        }
    }
    if (a_pNeeded != nullptr) {
        *a_pNeeded = sizeof kDestinationOption;
    }
    return l_pStop;
}

tTrace::~tTrace() {
    m_Active = false;
    if (m_OwnsLock) {
        if (m_LockCreated) {
            DeleteCriticalSection(&m_Lock);
        }
        m_LockCreated = false;
        m_OwnsLock = false;
    }
}

void createTrace() noexcept {
    g_pConsole = new (g_ConsoleStorage) tConsoleTraceDestination();
    g_pTrace = new (g_TraceStorage) tTrace(g_pConsole);
}

void teardownConsoleDestination() noexcept {
    if (g_pConsole != nullptr) {
        g_pConsole->~tConsoleTraceDestination();
        g_pConsole = nullptr;
    }
}

void teardownTrace() noexcept {
    if (g_pTrace != nullptr) {
        g_pTrace->~tTrace();
        g_pTrace = nullptr;
    }
}

tTrace* moduleTrace() noexcept {
    return g_pTrace;
}

} // namespace nZUOSKA000
} // namespace nZU7461_14_0
