// Start and stop of the module: DllMain on Windows, static construction and destruction
// elsewhere. Both run the same attach and detach work.
#include "platform/win32/zuPlatform.h"
#include "source/finder.h"

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE a_Instance, DWORD a_Reason, LPVOID) {
    if (a_Reason == DLL_PROCESS_ATTACH) {
        nZU7461_14_0::moduleAttach();
        // The module keeps no per-thread state.
        DisableThreadLibraryCalls(a_Instance);
    } else if (a_Reason == DLL_PROCESS_DETACH) {
        nZU7461_14_0::moduleDetach();
    }
    // Also after a failed lock creation: openList reports it from the static status.
    return TRUE;
}

#else

namespace {

struct tModuleLifetime {
    tModuleLifetime() {
        nZU7461_14_0::moduleAttach();
        DisableThreadLibraryCalls(nullptr);
    }
    ~tModuleLifetime() { nZU7461_14_0::moduleDetach(); }
};

tModuleLifetime g_ModuleLifetime;

} // namespace

#endif
