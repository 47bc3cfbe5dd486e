// Composition of the setting lines, judging of answers and the command-line options.
#include <gtest/gtest.h>

#include "options.h"
#include "setting_lines.h"
#include "zdxusbcal.h"

namespace q270 {
namespace {

ProgramState selection(int sign, int percent, int range, int channel) {
    ProgramState s;
    s.SelSign = sign;
    s.SelPercent = percent;
    s.SelRange = range;
    s.SelChannel = channel;
    return s;
}

TEST(SettingLines, ComposeModePercentRangeChannel) {
    ProgramState s = selection(1, 5, 2, 0);
    EXPECT_EQ(composeLineA(s), "K1A1,5,2,0");
    EXPECT_EQ(composeLineB(s, 0), "K1B0,0,0,0");
    EXPECT_EQ(composeLineB(s, 1), "K1B0,1000,100,0");
    s.HBState = 1;
    s.SelSign = 0;
    EXPECT_EQ(composeLineA(s), "K1A2,5,2,0");
    s.SelSign = 1;
    EXPECT_EQ(composeLineA(s), "K1A3,5,2,0");
    s.SelSign = kProbeMode;
    s.SelRange = 6;
    s.SelChannel = 15;
    s.SelPercent = 10;
    EXPECT_EQ(composeLineA(s), "K1A128,10,6,15");
    s.ReadyState = 1;
    s.LoadState = 1;
    EXPECT_EQ(composeLineB(s, 7), "K1B1,1000,100,1");
}

TEST(SettingLines, RelayLineMostSignificantFirst) {
    EXPECT_EQ(composeRelayLine({0x44, 0x33, 0x22, 0x11}), "K1T 17,34,51,68");
    EXPECT_EQ(kRelayReleaseLine, "K1T 0,0,0,0");
}

TEST(SettingLines, UsbJudging) {
    EXPECT_EQ(judgeUsbReplies(0, 0, "0\n", "0\n"), kReplyAccepted);
    EXPECT_EQ(judgeUsbReplies(0, 0, "0\n", "3\n"), kReplyCondition);
    EXPECT_EQ(judgeUsbReplies(0, 0, "0\n", ""), kReplyCondition);
    EXPECT_EQ(judgeUsbReplies(0, 0, "?\n", "0\n"), kReplyNotUnderstood);
    EXPECT_EQ(judgeUsbReplies(0, 0, "0\n", "?\n"), kReplyNotUnderstood);
    EXPECT_EQ(judgeUsbReplies(0, ZDXUSBCAL_CMD_NO_ANSWER, "0\n", "0\n"), kReplyFailed);
    EXPECT_EQ(judgeUsbReplies(ZDXUSBCAL_CMD_NO_ANSWER_PIPE, 0, "", "0\n"), kReplyFailed);
}

TEST(SettingLines, SerialJudgingOrder) {
    EXPECT_TRUE(serialAnswerAllowsLineB("0\r\n"));
    EXPECT_TRUE(serialAnswerAllowsLineB("8"));
    EXPECT_FALSE(serialAnswerAllowsLineB("9"));
    EXPECT_FALSE(serialAnswerAllowsLineB("?"));
    EXPECT_FALSE(serialAnswerAllowsLineB(""));
    EXPECT_EQ(judgeSerialReplies("0\n", "0\n"), kReplyAccepted);
    EXPECT_EQ(judgeSerialReplies("3\n", "0\n"),
              kReplyCondition);  // condition on A outranks accepted B
    EXPECT_EQ(judgeSerialReplies("0\n", "5\n"), kReplyCondition);
    EXPECT_EQ(judgeSerialReplies("0\n", "?\n"), kReplyNotUnderstood);
    EXPECT_EQ(judgeSerialReplies("9\n", "x"), kReplyNotUnderstood);  // lineB skipped
    EXPECT_EQ(judgeSerialReplies("", "x"), kReplyNotUnderstood);
    EXPECT_EQ(judgeSerialReplies("?\n", "0\n"),
              kReplyAccepted);  // "?" on A alone does not count on serial
}

TEST(Options, ExclusionsAndCaptions) {
    Options o = parseOptions("/ZDXEinmessen /Load /Relais(255)");
    EXPECT_TRUE(o.special);
    EXPECT_FALSE(o.loadMode);
    EXPECT_FALSE(o.relayClean);

    o = parseOptions("/Load /Relais(255)");
    EXPECT_FALSE(o.special);
    EXPECT_TRUE(o.loadMode);
    EXPECT_FALSE(o.relayClean);

    o = parseOptions("/DEV=ABC /ID=7");
    EXPECT_EQ(captionFor(o), std::string(kWindowTitle) + "   Dev = ABC   ID = 7");
    o = parseOptions("/ID=Q270S9");
    EXPECT_EQ(captionFor(o), std::string(kWindowTitle) + "   ID = Q270S9");
    EXPECT_FALSE(o.DevFilter.has_value());
    o = parseOptions("x/DEV=");
    EXPECT_EQ(o.DevFilter.value(), "");
    EXPECT_EQ(captionFor(parseOptions("/dev=abc /load")), kWindowTitle);  // case-sensitive
}

TEST(Options, RelayMaskReading) {
    Options o = parseOptions("/Relais(255)");
    EXPECT_TRUE(o.relayClean);
    EXPECT_EQ(o.RelayBytes, (std::array<std::int16_t, 4>{255, 0, 0, 0}));
    o = parseOptions("/Relais(-1)");
    EXPECT_EQ(o.RelayBytes, (std::array<std::int16_t, 4>{255, 255, 255, 255}));
    o = parseOptions("/Relais(  1 2 34)");
    EXPECT_EQ(o.RelayBytes, (std::array<std::int16_t, 4>{0xD2, 0x04, 0, 0}));  // 1234
    o = parseOptions("/Relais(-2147483648)");
    EXPECT_EQ(o.RelayBytes, (std::array<std::int16_t, 4>{0, 0, 0, 128}));
    EXPECT_TRUE(parseOptions("/Relais(4294967295)").relayClean);
    EXPECT_FALSE(parseOptions("/Relais(0)").relayClean);
    EXPECT_FALSE(parseOptions("/Relais(A5)").relayClean);
    EXPECT_FALSE(parseOptions("/Relais(").relayClean);
    EXPECT_FALSE(parseOptions("/Relais(4294967296)").relayClean);
    EXPECT_FALSE(parseOptions("/Relais(99999999999999999999999999)").relayClean);
}

}  // namespace
}  // namespace q270
