#include "hook/base/hook_messages.h"

#include "hook/base/shared_state.h"

UINT g_uTestQueryMsg = 0;
UINT g_uHookRemovedMsg = 0;
UINT g_uPlaceItemMsg = 0;

void RegisterModuleMessages() {
    g_uRefreshMsg = RegisterWindowMessageA(g_SharedSection.szRefreshMsgName);
    g_uTestQueryMsg = RegisterWindowMessageA(kTestQueryMessageName);
    g_uHookRemovedMsg = RegisterWindowMessageA(kHookRemovedMessageName);
    g_uPlaceItemMsg = RegisterWindowMessageA(kPlaceItemMessageName);
}

void AnnounceHookRemoved() {
    if (g_uHookRemovedMsg != 0) PostMessageA(HWND_BROADCAST, g_uHookRemovedMsg, 0, 0);
}
