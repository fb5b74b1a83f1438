// Entry of the test binaries that need umockdev: without umockdev-wrapper
// there is no test bed, and the run counts as skipped (77).

#include "support/usb_testbed.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!testing::GTEST_FLAG(list_tests)) {
        fw::test::UsbTestbed probe;
        if (!probe.available()) {
            std::fprintf(stderr, "not running under umockdev-wrapper: skipped\n");
            return 77;
        }
    }
    return RUN_ALL_TESTS();
}
