// The in-process tests run the module's code without its entry point, so the
// per-process set-up that the entry point does is done here.
#include <gtest/gtest.h>

#include "hook/module_lifetime.h"
#include "hook/shared_state.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OnModuleLoad(GetModuleHandleA(nullptr));
    const int nResult = RUN_ALL_TESTS();
    OnModuleUnload();
    return nResult;
}
