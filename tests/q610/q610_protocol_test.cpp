#include "q610_protocol.h"

#include "zdxusbcal.h"

#include <gtest/gtest.h>

using namespace zdx::q610;

TEST(Q610Protocol, StoredConnectionOutsideTheRangeMeansUsb) {
    EXPECT_EQ(connectionFromSetting(2), kConnectionLpt1);
    EXPECT_EQ(connectionFromSetting(3), kConnectionLpt2);
    for (int stored : {0, 4, 7, -1}) EXPECT_EQ(connectionFromSetting(stored), kConnectionUsb);
}

TEST(Q610Protocol, OutputCommandHasTheSignPositionBlank) {
    EXPECT_EQ(outputCommand(4, "Q610-0001"), "PAP 4");
    EXPECT_EQ(outputCommand(68, ""), "PAP 68");
    EXPECT_EQ(outputCommand(-3, ""), "PAP-3");
    EXPECT_EQ(outputCommand(36, "KX0815"),
              "\x12"
              "CIO 36");
    // Only a serial *beginning* with KX means the interface module.
    EXPECT_EQ(outputCommand(1, "AKX1"), "PAP 1");
    EXPECT_EQ(outputCommand(1, "K"), "PAP 1");
}

TEST(Q610Protocol, UsbAnswersAreJudgedByFirstCharacterAndLength) {
    EXPECT_EQ(judgeUsbReply(0, '1', 3), kReplyRemote);
    EXPECT_EQ(judgeUsbReply(0, '?', 3), kReplyNoQ610);
    EXPECT_EQ(judgeUsbReply(0, '0', 3), kReplyAnswered);
    // The length counts the line feed: "1\n" is two bytes and not a remote answer.
    EXPECT_EQ(judgeUsbReply(0, '1', 2), kReplyAnswered);
    EXPECT_EQ(judgeUsbReply(0, '?', 4), kReplyAnswered);
    for (int result : {ZDXUSBCAL_CMD_REFUSED, ZDXUSBCAL_CMD_NO_ANSWER_PIPE,
                       ZDXUSBCAL_CMD_WRITE_FAILED, ZDXUSBCAL_CMD_NO_ANSWER})
        EXPECT_EQ(judgeUsbReply(result, '1', 3), kReplyFailed);
}

// Connections 2 and 3 are ports 0 and 1, written by functions 1 and 2 and read by 3 and 4.
TEST(Q610Protocol, EachLptConnectionUsesItsOwnPort) {
    for (const int connection : {kConnectionLpt1, kConnectionLpt2}) {
        EXPECT_EQ(lptPortNumber(connection), connection - 2);
        EXPECT_EQ(lptWriteFunction(connection), connection - 1);
        EXPECT_EQ(lptReadFunction(connection), connection + 1);
    }
}

TEST(Q610Protocol, LptReadBackMustMatchTheByteWritten) {
    EXPECT_EQ(judgeLptReply(0, 4, 0x7F04), kReplyAnswered);
    EXPECT_EQ(judgeLptReply(0, 4, 0x7FFF), kReplyFailed);                       // floating data bus
    EXPECT_EQ(judgeLptReply(ZDXUSBCAL_LPT_NOT_OPEN, 4, 0x7F04), kReplyFailed);  // port not open
    // The status test divides as a real number: only exactly 0xFF00 fails it.
    EXPECT_EQ(judgeLptReply(0, 0, 0xFF00), kReplyFailed);
    EXPECT_EQ(judgeLptReply(0, 4, 0xFF04), kReplyAnswered);
    // A byte outside 0..255 can never be read back.
    EXPECT_EQ(judgeLptReply(0, 0x104, 0x7F04), kReplyFailed);
}

TEST(Q610Protocol, RegisterDisplayShowsDataStatusControl) {
    EXPECT_EQ(registerDisplayText(kConnectionLpt1, 0xCC7F41), "Port 0x378 :  41 7F CC");
    EXPECT_EQ(registerDisplayText(kConnectionLpt2, 0x048705), "Port 0x278 :  05 87 04");
    EXPECT_EQ(registerDisplayText(kConnectionLpt1, 0), "Port 0x378 :  00 00 00");
    EXPECT_EQ(registerDisplayText(kConnectionLpt2, 0xABCDEF), "Port 0x278 :  EF CD AB");
}

TEST(Q610Protocol, TrafficIndicatorTurnsOnUsbOnly) {
    int phase = 0;
    std::string shown;
    for (int i = 0; i < 5; ++i) {
        phase = nextTickPhase(phase, kConnectionUsb);
        shown += tickPhaseText(phase) + ";";
    }
    EXPECT_EQ(shown,
              "USB transfer: /;USB transfer: --;USB transfer: \\;USB transfer: |;USB transfer: /;");
    EXPECT_EQ(nextTickPhase(2, kConnectionLpt1), 5);
    EXPECT_EQ(nextTickPhase(5, kConnectionLpt2), 5);
    EXPECT_EQ(tickPhaseText(5), "");
}
