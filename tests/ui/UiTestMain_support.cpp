// The test program's main: the window layer runs on the offscreen platform
// unless another one is asked for.
#include "ui/UiSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    if (!qk::StartUserInterface(argc, argv)) {
        std::fprintf(stderr, "no display for the window layer\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    qk::EndUserInterface();
    return result;
}
