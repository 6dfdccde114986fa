// Trace output to the operating system's debugger output. The finder itself writes no trace
// text; the facility exists for the module's lifetime so that diagnostics can be switched on.
#pragma once

#include <cstdint>

#include "platform/win32/zuPlatform.h"

namespace nZU7461_14_0 {
namespace nZUOSKA000 {

class iTraceDestination {
public:
    virtual ~iTraceDestination() = default;
    virtual void writeTextN(const char* a_pText, std::uint32_t a_Count) = 0;
    virtual void writeText(const char* a_pText) = 0;
    virtual void idleOperation() = 0;
    virtual char* describeDestination(char* a_pBuffer, std::uint32_t a_Size,
                                      std::uint32_t* a_pNeeded) = 0;
    virtual bool answersTrue() = 0;
    // A second slot that destinations fill with the same operation as idleOperation.
    virtual void idleOperationAgain() = 0;
    virtual const char* destinationName() = 0;
};

class tConsoleTraceDestination : public iTraceDestination {
public:
    constexpr tConsoleTraceDestination() = default;
    ~tConsoleTraceDestination() override = default;
    void writeTextN(const char* a_pText, std::uint32_t a_Count) override;
    void writeText(const char* a_pText) override;
    void idleOperation() override {}
    char* describeDestination(char* a_pBuffer, std::uint32_t a_Size,
                              std::uint32_t* a_pNeeded) override;
    bool answersTrue() override { return true; }
    void idleOperationAgain() override { idleOperation(); }
    const char* destinationName() override { return "zusdbg_printf"; }
};

class tTrace {
public:
    constexpr explicit tTrace(iTraceDestination* a_pDestination)
        : m_pDestination(a_pDestination), m_Active(true), m_Lock(), m_LockCreated(false),
          m_OwnsLock(false) {}
    virtual ~tTrace();
    tTrace(const tTrace&) = delete;
    tTrace& operator=(const tTrace&) = delete;

    iTraceDestination* destination() const { return m_pDestination; }
    bool isActive() const { return m_Active; }

private:
    iTraceDestination* m_pDestination;
    bool m_Active;
    CRITICAL_SECTION m_Lock;
    bool m_LockCreated;
    bool m_OwnsLock;
};

// Formats into a 512-byte buffer, cutting what does not fit, and sends it to the debugger.
void printDebug(const char* a_pFormat, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Test seam: where printDebug sends its text (OutputDebugStringA unless replaced). Returns the
// previous destination; null restores the debugger output.
using tDebugOutput = void (*)(const char* a_pText);
tDebugOutput setDebugOutputForTesting(tDebugOutput a_Output);

// The module's trace object and its console destination, made at attach and torn down at
// detach: the destination first, then the trace object.
void createTrace() noexcept;
void teardownConsoleDestination() noexcept;
void teardownTrace() noexcept;
tTrace* moduleTrace() noexcept;

} // namespace nZUOSKA000
} // namespace nZU7461_14_0
