/* Chaos mode of the test bridge library: a hostile but well-behaved-in-memory bridge driver.
 *
 * The chaos front end (zuTestBridgeChaosFront.cpp, built as zupcibrd.so / .dll by the tests that
 * use it) has the 18 entry points; the state behind them lives in zutestbridge, like the
 * scriptable library's, so it outlives every load and unload. Each run starts with
 * ZuTestChaos_BeginRun(seed); from then on every call draws its answer from a splitmix64
 * sequence of that seed, so a run is reproduced exactly by its seed and the same calls:
 * - any call may answer an error, a warning or -313002 instead of success, at a rate that is
 *   itself drawn per run (some runs are calm, some fail nearly every call);
 * - OpenSession writes a random session (or nothing);
 * - FindBridgesByPciIds as a count query (null buffer) announces 0 to 256 bridges; as a fill it
 *   writes at most the count it was given (never past the caller's buffer), sometimes fewer, and
 *   writes back a count that may be smaller or larger than what it filled; it may also answer
 *   -313002 again with a larger count, as if bridges appeared between the two calls;
 * - GetAttributeU32 writes a random value, or nothing, whatever it answers;
 * - the other entry points answer a drawn code and write nothing.
 * Missing entry points come from front ends built without them.
 *
 * Every call is recorded (the first ZUTEST_CHAOS_MAX_CALLS of a run), so a test can work out
 * what its caller should have made of the answers. The entry points allocate nothing, so a test
 * may count the heap around a run. Control functions may be called from any thread.
 */
#ifndef ZU_TEST_BRIDGE_CHAOS_H
#define ZU_TEST_BRIDGE_CHAOS_H

#include "zuTestBridge.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZUTEST_CHAOS_MAX_CALLS 320
/* The most bridges a count query announces, and so the most elements a fill writes. */
#define ZUTEST_CHAOS_MAX_BRIDGES 256

typedef struct tZuTestChaosCall {
    uint32_t entry;       /* ZuTestEntry_* */
    int32_t code;         /* what the call answered (CloseSession: 0) */
    uint32_t session;     /* session argument (OpenSession: its flags) */
    uint32_t bridge;      /* bridge argument, where there is one */
    uint32_t attribute;   /* attribute argument of GetAttributeU32 */
    uint32_t bufferGiven; /* count-then-fill: 1 when a buffer was passed */
    uint32_t countIn;     /* count-then-fill: the count on entry */
    uint32_t wrote;       /* 1 when the call wrote its single output (session, value, count) */
    uint32_t written;     /* what it wrote there */
    uint32_t filled;      /* count-then-fill: elements written into the buffer */
} tZuTestChaosCall;

typedef struct tZuTestChaosRun {
    uint64_t seed;
    uint32_t callCount; /* every call of the run, also those beyond the record */
    /* 1 when a fill was handed more room than the library ever announced (it writes no more
     * than it announced then). */
    uint32_t oversizedBuffer;
    tZuTestChaosCall calls[ZUTEST_CHAOS_MAX_CALLS];
    /* The elements the last fill of FindBridgesByPciIds wrote, in order. */
    uint32_t fill[ZUTEST_CHAOS_MAX_BRIDGES];
} tZuTestChaosRun;

/* Starts a run: clears the record and seeds the answers. */
ZU_TEST_BRIDGE_API void ZuTestChaos_BeginRun(uint64_t a_Seed);
/* Copies the record of the current run. */
ZU_TEST_BRIDGE_API void ZuTestChaos_GetRun(tZuTestChaosRun* a_pRun);
/* Loads and unloads of any chaos front end since the process started. */
ZU_TEST_BRIDGE_API uint32_t ZuTestChaos_LoadCount(void);
ZU_TEST_BRIDGE_API uint32_t ZuTestChaos_UnloadCount(void);

#ifdef __cplusplus
}
#endif

#endif /* ZU_TEST_BRIDGE_CHAOS_H */
