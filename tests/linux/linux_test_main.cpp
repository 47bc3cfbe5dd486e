// The linux backend's tests need umockdev's emulated sysfs and device nodes:
// outside its wrapper they would reach the real machine, so they refuse to run
// and fail instead of passing unseen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "libumockdev-preload") == nullptr) {
        std::fprintf(stderr,
                     "FAIL: not running under umockdev-wrapper (package umockdev); the emulated "
                     "USB devices and parallel ports need it.\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
