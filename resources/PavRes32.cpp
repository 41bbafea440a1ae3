// The suite's resource library. Kind 4 is the user-interface resources of the
// send command, which this module itself holds.
#include <windows.h>

namespace {
HINSTANCE g_hThisModule = nullptr;
constexpr int kSendCommandResources = 4;
}  // namespace

extern "C" HINSTANCE WINAPI PavResGetInstance(int nKind) {
    return nKind == kSendCommandResources ? g_hThisModule : nullptr;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hThisModule = hInstance;
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}
