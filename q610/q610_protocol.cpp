#include "q610_protocol.h"

#include <cstdint>
#include <cstdio>

#include "zdxusbcal.h"

namespace zdx::q610 {

int connectionFromSetting(int stored) {
    return (stored >= kConnectionUsb && stored <= kConnectionLpt2) ? stored : kConnectionUsb;
}

int lptPortNumber(int connection) {
    return connection == kConnectionLpt2 ? ZDXUSBCAL_LPT2 : ZDXUSBCAL_LPT1;
}

int lptWriteFunction(int connection) {
    return connection == kConnectionLpt2 ? ZDXUSBCAL_FN_LPT2_WRITE : ZDXUSBCAL_FN_LPT1_WRITE;
}

int lptReadFunction(int connection) {
    return connection == kConnectionLpt2 ? ZDXUSBCAL_FN_LPT2_READ : ZDXUSBCAL_FN_LPT1_READ;
}

bool isInterfaceModule(const std::string& serial) {
    return serial.starts_with("KX");
}

std::string signedNumberText(int value) {
    const std::string digits = std::to_string(value);
    return value >= 0 ? " " + digits : digits;
}

std::string outputCommand(int outputBits, const std::string& serial) {
    if (isInterfaceModule(serial))
        return std::string(1, '\x12') + "CIO" + signedNumberText(outputBits);
    return "PAP" + signedNumberText(outputBits);
}

int judgeUsbReply(int result, char firstCharacter, int answerLength) {
    if (result != ZDXUSBCAL_OK) return kReplyFailed;
    if (answerLength == 3 && firstCharacter == '1') return kReplyRemote;
    if (answerLength == 3 && firstCharacter == '?') return kReplyNoQ610;
    return kReplyAnswered;
}

int judgeLptReply(int result, int written, int readBack) {
    if (result != ZDXUSBCAL_OK) return kReplyFailed;
    // The status test divides as a real number: only a word of exactly 0xFF00
    // (status 0xFF, data 0) gives 255; a read-back with any data bit set passes it.
    const bool dataReadBack = written == (readBack & 255);
    const bool statusPlausible = static_cast<double>(readBack) / 256.0 != 255.0;
    return (dataReadBack && statusPlausible) ? kReplyAnswered : kReplyFailed;
}

std::string registerDisplayText(int connection, int readWord) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(readWord));
    const std::string digits(hex);
    const std::string base = connection == kConnectionLpt2 ? "0x278 : " : "0x378 : ";
    return "Port " + base + " " + digits.substr(6, 2) + " " + digits.substr(4, 2) + " " +
           digits.substr(2, 2);
}

int nextTickPhase(int phase, int connection) {
    int next = phase + 1;
    if (next >= 4) next = 0;
    if (connection != kConnectionUsb) next = 5;
    return next;
}

std::string tickPhaseText(int phase) {
    switch (phase) {
        case 0:
            return "USB transfer: |";
        case 1:
            return "USB transfer: /";
        case 2:
            return "USB transfer: --";
        case 3:
            return "USB transfer: \\";
        default:
            return "";
    }
}

}  // namespace zdx::q610
