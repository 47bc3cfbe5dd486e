#include "calibrator_library.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

// A library that cannot be bound surfaces as LibraryMissing on every call and
// is looked for again on the next call rather than given up; once bound, it
// stays bound for the process. One test, because that order is the contract.
TEST(CalibratorLibraryTest, LookedForOnEveryCallUntilBoundThenKept) {
    auto& library = zdx::CalibratorLibrary::instance();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray missing = dir.filePath("zdxusbcal.so").toLocal8Bit();
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", missing.constData(), 1), 0);
    EXPECT_FALSE(library.bind());
    int value = 0;
    EXPECT_THROW(library.CalCommand(ZDXUSBCAL_FN_PROBE, "", nullptr, &value), zdx::LibraryMissing);
    EXPECT_THROW(library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
                 zdx::LibraryMissing);
    int count = 0;
    EXPECT_THROW(library.GetUSBDeviceInfo(&count, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr),
                 zdx::LibraryMissing);

    // Any shared object that lacks the three exports will do: the maths library.
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", "libm.so.6", 1), 0);
    EXPECT_FALSE(library.bind());
    EXPECT_THROW(library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
                 zdx::LibraryMissing);

    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", ZDX_BUILT_LIBRARY, 1), 0);
    ASSERT_TRUE(library.bind());
    char empty[1] = "";
    EXPECT_EQ(library.CalCommand(ZDXUSBCAL_FN_PROBE, "", empty, &value),
              ZDXUSBCAL_CMD_BAD_FUNCTION);
    EXPECT_EQ(library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);

    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", missing.constData(), 1), 0);
    EXPECT_TRUE(library.bind());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
