// The command lines the main window sends and the judging of their answers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "program_state.h"

namespace q270 {

// "K1A" mode "," percent "," range "," channel.
std::string composeLineA(const ProgramState& state);

// "K1B" ready ",1000,100," load with beep on, "K1B" ready ",0,0," load with beep off.
std::string composeLineB(const ProgramState& state, int beep);

// "K1T " b3 "," b2 "," b1 "," b0 (most significant byte first).
std::string composeRelayLine(const std::array<std::int16_t, 4>& relayBytes);
inline constexpr std::string_view kRelayReleaseLine = "K1T 0,0,0,0";

// ReplyState of a USB exchange pair: r1/r2 are the library results, answerA/B
// the answers returned for lineA/lineB.
int judgeUsbReplies(int r1, int r2, std::string_view answerA, std::string_view answerB);

// ReplyState over a serial line. answerB is "x" when lineB was not sent.
int judgeSerialReplies(std::string_view answerA, std::string_view answerB);

// True when a serial answer to lineA lets lineB follow: it begins with "0".."8".
bool serialAnswerAllowsLineB(std::string_view answerA);

}  // namespace q270
