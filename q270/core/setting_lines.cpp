#include "setting_lines.h"

#include "zdxusbcal.h"

namespace q270 {

namespace {

bool beginsWith(std::string_view text, char c) {
    return !text.empty() && text.front() == c;
}

bool beginsWithCondition(std::string_view text) {
    return !text.empty() && text.front() >= '1' && text.front() <= '8';
}

}  // namespace

std::string composeLineA(const ProgramState& state) {
    const int mode =
        state.SelSign == kProbeMode ? state.SelSign : state.HBState * 2 + state.SelSign;
    return "K1A" + std::to_string(mode) + "," + std::to_string(state.SelPercent) + "," +
           std::to_string(state.SelRange) + "," + std::to_string(state.SelChannel);
}

std::string composeLineB(const ProgramState& state, int beep) {
    return "K1B" + std::to_string(state.ReadyState) + (beep != 0 ? ",1000,100," : ",0,0,") +
           std::to_string(state.LoadState);
}

std::string composeRelayLine(const std::array<std::int16_t, 4>& relayBytes) {
    return "K1T " + std::to_string(relayBytes[3]) + "," + std::to_string(relayBytes[2]) + "," +
           std::to_string(relayBytes[1]) + "," + std::to_string(relayBytes[0]);
}

int judgeUsbReplies(int r1, int r2, std::string_view answerA, std::string_view answerB) {
    if (r1 != ZDXUSBCAL_OK || r2 != ZDXUSBCAL_OK) return kReplyFailed;
    int reply = beginsWith(answerB, '0') ? kReplyAccepted : kReplyCondition;
    if (beginsWith(answerB, '?')) reply = kReplyNotUnderstood;
    if (beginsWith(answerA, '?')) reply = kReplyNotUnderstood;
    return reply;
}

bool serialAnswerAllowsLineB(std::string_view answerA) {
    return !answerA.empty() && answerA.front() >= '0' && answerA.front() <= '8';
}

int judgeSerialReplies(std::string_view answerA, std::string_view answerB) {
    // The order matters: a reported condition outranks everything else.
    int reply = beginsWith(answerB, '0') ? kReplyAccepted : kReplyNotUnderstood;
    if (beginsWith(answerB, '?')) reply = kReplyNotUnderstood;
    if (beginsWithCondition(answerB)) reply = kReplyCondition;
    if (beginsWithCondition(answerA)) reply = kReplyCondition;
    return reply;
}

}  // namespace q270
