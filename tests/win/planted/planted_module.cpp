// A DLL that only tells it was loaded: the tests plant it under the names a
// host's folder or an odd module name could offer, and look for its mark.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        char szPath[MAX_PATH] = {};
        GetModuleFileNameA(hInstance, szPath, MAX_PATH);
        SetEnvironmentVariableA("PFC_PLANTED_LOADED", szPath);
    }
    return TRUE;
}
