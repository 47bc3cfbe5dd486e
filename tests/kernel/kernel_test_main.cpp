// The kernel tests make USB gadgets: they need the test guest's kernel
// (configfs, FunctionFS, the dummy host controller) and root. Elsewhere they
// refuse to run and fail instead of passing unseen.
//
// As a second process of a test: --discover-as NAME runs one discovery as
// that user and prints "result count"; --exchange SERIAL LINE runs one
// exchange and prints its result.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "zdx_library.h"

namespace {

int discoverAs(const char* user) {
    const passwd* account = ::getpwnam(user);
    if (account == nullptr || ::setgid(account->pw_gid) != 0 || ::setuid(account->pw_uid) != 0) {
        std::fprintf(stderr, "cannot become %s\n", user);
        return 1;
    }
    zdx::testing::ZdxLibrary library;
    const zdx::testing::DeviceInfo info = zdx::testing::getDeviceInfo(library);
    std::printf("%d %d\n", info.result, info.count);
    return 0;
}

int exchangeOnce(const char* serial, const char* line) {
    zdx::testing::ZdxLibrary library;
    std::printf("%d\n", zdx::testing::exchange(library, serial, line).result);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--discover-as") == 0) return discoverAs(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--exchange") == 0) return exchangeOnce(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    if (::geteuid() != 0 || !std::filesystem::exists("/sys/class/udc/dummy_udc.0")) {
        std::fprintf(stderr,
                     "FAIL: not in the kernel test guest (root, configfs and dummy_hcd); run "
                     "through scripts/kernel-test.sh.\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
