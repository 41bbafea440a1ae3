#include <gtest/gtest.h>

#include "hook/module_lifetime.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The suite's operations are called in this process too (the installation
    // check); they need the library frame that module load sets up.
    OnModuleLoad(GetModuleHandleA(nullptr));
    const int nResult = RUN_ALL_TESTS();
    OnModuleUnload();
    return nResult;
}
