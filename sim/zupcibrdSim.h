/* The simulated PCI bridge driver library: its own codes, attributes and settings.
 *
 * The entry points are those of pcibrd/zupcibrd.h. This header adds what a client of the
 * simulator (a test, the probe tool) needs to know beyond them. The topology file format is
 * described in README.md, with the scripted faults and the call log.
 */
#ifndef ZUPCIBRD_SIM_H
#define ZUPCIBRD_SIM_H

#include "pcibrd/zupcibrd.h"

/* Environment variable naming the topology file; unset or empty selects the built-in machine.
 * It is read at every OpenSession. */
#define ZUPCIBRD_SIM_TOPOLOGY_VARIABLE "ZUPCIBRD_SIM_TOPOLOGY"

/* Environment variable naming the call log: every call of an entry point is appended to that
 * file as one line. Read at every call; unset or empty, nothing is logged. */
#define ZUPCIBRD_SIM_LOG_VARIABLE "ZUPCIBRD_SIM_LOG"

/* Codes. 0 is success; -313002 is the count-then-fill answer of pcibrd/zupcibrd.h. -313008
 * is left out on purpose: the finder uses it for an entry point it could not load. */
#define ZUPCIBRD_SIM_INVALID_ARGUMENT (-313001) /* null pointer, unknown flag or method */
#define ZUPCIBRD_SIM_BUFFER_TOO_SMALL ZUPCIBRD_STATUS_BUFFER_TOO_SMALL
#define ZUPCIBRD_SIM_UNKNOWN_SESSION (-313003)    /* not opened, or closed already */
#define ZUPCIBRD_SIM_UNKNOWN_BRIDGE (-313004)     /* no bridge with that reference */
#define ZUPCIBRD_SIM_TOPOLOGY_FAULT (-313005)     /* OpenSession: the topology file is unusable */
#define ZUPCIBRD_SIM_OUT_OF_MEMORY (-313006)      /* or any other internal failure */
#define ZUPCIBRD_SIM_NOT_FOUND (-313007)          /* no bridge at that address, path or bus */
#define ZUPCIBRD_SIM_BRIDGE_NOT_OPEN (-313009)    /* EepromUpdate before OpenBridge */
#define ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE (-313010)  /* the bridge has no such attribute */
#define ZUPCIBRD_SIM_EEPROM_ID_MISMATCH (-313012) /* image for another vendor/device ID */
#define ZUPCIBRD_SIM_MALFORMED_SLOT_PATH (-313013)

/* OpenSession knows no flags: anything but 0 is refused. */
#define ZUPCIBRD_SIM_SESSION_FLAGS 0u

/* Gates of the scripted faults, for a test in the same process as the library (resolve them
 * with GetProcAddress / dlsym from the loaded simulator). A call that a rule sends to a gate
 * waits there until the gate lets it through, once the process has called either control (for
 * any gate: ZuPciBrdSim_ReleaseGate(name, 0) asks for gates and nothing else); until then it
 * passes, so that a file written for a test never holds a program that cannot open gates.
 *
 * ZuPciBrdSim_WaitAtGate waits until at least a_Calls calls are held at the gate, or until
 * a_TimeoutMs have passed (a safety net, not a timing), and returns how many are held then.
 * ZuPciBrdSim_ReleaseGate lets a_Calls more calls through, held now or arriving later;
 * ZUPCIBRD_SIM_GATE_OPEN opens the gate for good. Gates live as long as the library is loaded. */
#define ZUPCIBRD_SIM_GATE_OPEN 0xFFFFFFFFu
typedef uint32_t (*tZuPciBrdSim_WaitAtGate)(const char* a_pGate, uint32_t a_Calls,
                                            uint32_t a_TimeoutMs);
typedef void (*tZuPciBrdSim_ReleaseGate)(const char* a_pGate, uint32_t a_Calls);

#endif /* ZUPCIBRD_SIM_H */
