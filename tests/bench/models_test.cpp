// Device models on their own: what each calibrator answers to each line.
#include <gtest/gtest.h>

#include "interface_module.h"
#include "q270_model.h"
#include "q610_model.h"

namespace zdx::bench {
namespace {

std::string answer(DeviceModel& m, std::string_view line) {
    auto a = m.handleLine(line);
    return a ? *a : std::string("<none>");
}

TEST(Q270Model, IdentificationAnswersEndWithCrLf) {
    Q270Model m({"Q270S9 V1.18", "Q270S9-00417", 0, true, false});
    EXPECT_EQ(answer(m, "SNR?0"), "Q270S9 V1.18\r\n");
    EXPECT_EQ(answer(m, "SNR?1"), "\"Q270S9-00417\"\r\n");
}

TEST(Q270Model, SettingLinesAreTakenAndPutTheUnitIntoRemote) {
    Q270Model m({});
    EXPECT_FALSE(m.remote());
    EXPECT_EQ(answer(m, "K1A1,5,2,0"), "0\r\n");
    EXPECT_TRUE(m.remote());
    EXPECT_EQ(m.settings().mode, 1);
    EXPECT_EQ(m.settings().percent, 5);
    EXPECT_EQ(m.settings().range, 2);
    EXPECT_EQ(answer(m, "K1B1,1000,100,1"), "0\r\n");
    EXPECT_EQ(m.settings().ready, 1);
    EXPECT_EQ(m.settings().load, 1);
    EXPECT_EQ(answer(m, "DCL"), "0\r\n");
    EXPECT_FALSE(m.remote());
}

TEST(Q270Model, RefusesWhatItDoesNotUnderstand) {
    Q270Model m({});
    for (const char* line : {"", "K1A", "K1A1,5,2", "K1A1,5,2,0,9", "K1A9,5,2,0", "K1A1,11,2,0",
                             "K1A1,5,0,0", "K1A1,5,2,16", "K1Ax,5,2,0", "K1B2,0,0,0",
                             "K1T 256,0,0,0", "K1T1,2,3", "HELLO", "snr?0"}) {
        EXPECT_EQ(answer(m, line), "?\r\n") << line;
    }
    EXPECT_FALSE(m.remote());
}

TEST(Q270Model, RangeProbeAnswerFollowsTheUnitsRangeCount) {
    Q270Model six({"Q270S9", "A", 0, true, false});
    Q270Model five({"Q270S7", "B", 0, false, false});
    EXPECT_EQ(answer(six, "K1A128,0,6,0"), "0\r\n");
    EXPECT_EQ(answer(five, "K1A128,0,6,0"), "?\r\n");
    EXPECT_EQ(answer(five, "K1A0,0,6,0"), "?\r\n");
    EXPECT_EQ(answer(five, "K1A0,0,5,0"), "0\r\n");
}

TEST(Q270Model, ConditionCodeReplacesTheAcceptance) {
    Q270Model m({"Q270S9", "A", 3, true, false});
    EXPECT_EQ(answer(m, "K1A0,0,1,0"), "3\r\n");
    EXPECT_EQ(answer(m, "K1B0,0,0,0"), "3\r\n");
    EXPECT_EQ(answer(m, "NONSENSE"), "?\r\n");
    m.setCondition(0);
    EXPECT_EQ(answer(m, "K1B0,0,0,0"), "0\r\n");
}

TEST(Q270Model, RelayAndStepLinesAreRemembered) {
    Q270Model m({});
    EXPECT_EQ(answer(m, "K1T 255,1,2,3"), "0\r\n");
    EXPECT_EQ(m.relayMask(), 0xFF010203u);
    // Step numbers carry the leading blank of non-negative numbers.
    EXPECT_EQ(answer(m, "K1Y  1, 10, 9, 0"), "0\r\n");
    ASSERT_EQ(m.steps().size(), 1u);
    EXPECT_EQ(m.steps()[0], (std::array<int, 4>{1, 10, 9, 0}));
}

TEST(Q610Model, AnswersFollowTheRemoteSwitchAndTheByteIsKept) {
    Q610Model m(true);
    EXPECT_EQ(answer(m, "PAP 68"), "1\r\n");
    EXPECT_EQ(m.outputByte(), 68);
    m.setRemote(false);
    EXPECT_EQ(answer(m, "PAP 4"), "0\r\n");
    EXPECT_EQ(m.outputByte(), 4);
    EXPECT_EQ(answer(m, "PAP 256"), "?\r\n");
    EXPECT_EQ(answer(m, "PAP"), "?\r\n");
    EXPECT_EQ(answer(m, "K1A0,0,1,0"), "?\r\n");
    EXPECT_EQ(m.outputByte(), 4);
}

TEST(InterfaceModule, PassesCioLinesToTheQ610BehindIt) {
    InterfaceModule kx(std::make_unique<Q610Model>(true), nullptr);
    EXPECT_EQ(answer(kx,
                     "\x12"
                     "CIO 36"),
              "1\r\n");
    EXPECT_EQ(kx.q610()->outputByte(), 36);
    EXPECT_EQ(answer(kx, "DCL"), "0\r\n");
    // No Q270 behind it: a Q270 line is not understood.
    EXPECT_EQ(answer(kx, "K1A0,0,1,0"), "?\r\n");
}

TEST(InterfaceModule, WithoutAQ610BehindItCioLinesGetAThreeByteRefusal) {
    InterfaceModule kx(nullptr, std::make_unique<Q270Model>(Q270Config{}));
    EXPECT_EQ(answer(kx,
                     "\x12"
                     "CIO 4"),
              "?\r\n");
    EXPECT_EQ(answer(kx, "K1A0,0,1,0"), "0\r\n");
    EXPECT_TRUE(kx.q270()->remote());
    kx.setRemote(false);
    EXPECT_FALSE(kx.remote());
}

}  // namespace
}  // namespace zdx::bench
