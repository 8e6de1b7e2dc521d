// The test program's main: the window layer starts before the tests run.
#include "ui/UiSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qk::StartUserInterface(argc, argv);
    const int result = RUN_ALL_TESTS();
    qk::EndUserInterface();
    return result;
}
