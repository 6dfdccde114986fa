// Front end of the chaos test bridge library: the scriptable front end's 18 entry points, each
// answered by the chaos state of zuTestBridgeChaos.h instead of the script.
#include "zuTestBridgeChaosNames.h"

#include "zuTestBridgeFront.cpp"
