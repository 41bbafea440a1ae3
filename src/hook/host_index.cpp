#include "hook/host_index.h"

#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "hook/base/target_selection.h"
#include "hook/base/trace.h"
#include "toolbar/toolbar.h"

int GetModuleIndex(HWND hWnd, const char* pszModuleName) {
    if (!IsIncludedModule(pszModuleName)) return kHostNotHooked;
    if (g_szModuleList[0] == '\0') return kHostGeneric;
    const int nIndex = FindModuleListPosition(pszModuleName);
    if (nIndex < 0) return kHostGeneric;

    if (nIndex == kHostBrowser && FindReBar(hWnd) != nullptr) {
        Trace("MODULE_IEXPLORE", hWnd);
        return kHostBrowser;
    }
    if (nIndex == kHostDocObject && !HasDocObjectView(hWnd)) return kHostNotHooked;
    if (IsButtonMenuModule(nIndex)) {
        if (FindCommandBarDock(hWnd) == nullptr) return kHostGeneric;
        Trace("IsButtonMenuModule", hWnd);
    }
    return nIndex;
}
