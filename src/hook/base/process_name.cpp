#include "hook/base/process_name.h"

#include <atomic>

#include "hook/base/shared_state.h"
#include "hook/base/target_selection.h"

namespace {

INIT_ONCE g_ProcessNameOnce = INIT_ONCE_STATIC_INIT;
std::atomic<bool> g_bProcessNameTaken{false};
bool g_bProcessNameUsable = false;
char g_szProcessModuleName[kPathSize] = {};

BOOL CALLBACK TakeProcessModuleName(PINIT_ONCE, void*, void**) {
    g_bProcessNameUsable = GetModuleName(g_szProcessModuleName, nullptr) != FALSE;
    g_bProcessNameTaken.store(true, std::memory_order_release);
    return TRUE;
}

}  // namespace

void EnsureModuleStarted() {
    // The executable's name cannot change while the process runs: it is
    // taken once, so that the window-created path compares and nothing else.
    if (g_bProcessNameTaken.load(std::memory_order_acquire)) return;
    InitOnceExecuteOnce(&g_ProcessNameOnce, TakeProcessModuleName, nullptr, nullptr);
}

const char* ProcessModuleName() {
    EnsureModuleStarted();
    return g_bProcessNameUsable ? g_szProcessModuleName : nullptr;
}
