#include "calibrator_library.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

// A library that cannot be bound must surface as LibraryMissing on every call,
// and must be looked for again on the next call rather than being given up.
TEST(CalibratorLibraryTest, UnboundLibraryRaisesLibraryMissingOnEveryCall) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray missing = dir.filePath("zdxusbcal.so").toLocal8Bit();
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", missing.constData(), 1), 0);

    auto& library = zdx::CalibratorLibrary::instance();
    EXPECT_FALSE(library.bind());
    int value = 0;
    EXPECT_THROW(library.CalCommand(ZDXUSBCAL_FN_PROBE, "", nullptr, &value), zdx::LibraryMissing);
    EXPECT_THROW(library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
                 zdx::LibraryMissing);
    int count = 0;
    EXPECT_THROW(library.GetUSBDeviceInfo(&count, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr),
                 zdx::LibraryMissing);
}

TEST(CalibratorLibraryTest, AFileWithoutTheExportsIsNotBound) {
    // Any shared object that lacks the three exports will do: the maths library.
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", "libm.so.6", 1), 0);
    EXPECT_FALSE(zdx::CalibratorLibrary::instance().bind());
    EXPECT_THROW(zdx::CalibratorLibrary::instance().CommandLPT(ZDXUSBCAL_LPT_CLOSE,
                                                               ZDXUSBCAL_LPT_PROBE_PORT),
                 zdx::LibraryMissing);
}

TEST(CalibratorLibraryTest, TheBuiltLibraryIsBoundAndAnswersTheProbes) {
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", ZDX_BUILT_LIBRARY, 1), 0);
    auto& library = zdx::CalibratorLibrary::instance();
    ASSERT_TRUE(library.bind());
    int value = 0;
    char empty[1] = "";
    EXPECT_EQ(library.CalCommand(ZDXUSBCAL_FN_PROBE, "", empty, &value),
              ZDXUSBCAL_CMD_BAD_FUNCTION);
    EXPECT_EQ(library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
