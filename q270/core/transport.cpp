#include "transport.h"

#include "calibrator_library.h"
#include "setting_lines.h"

namespace q270 {

namespace {
constexpr int kRelayPairs = 50;
constexpr float kRelayPause = 0.02f;
constexpr float kCloseLinkPause = 0.1f;
// No library result: what an exchange that could not be made at all reports.
constexpr int kNoExchange = ZDXUSBCAL_SETUP_MISSING;
}  // namespace

Transport::Transport(ProgramState& state, SerialLine& port, UsbAccess& usb, Clock& clock)
    : state_(state), port_(port), usb_(usb), clock_(clock) {}

void Transport::WriteLineCom(std::string_view command) {
    writeLineCom(port_, command);
}

std::string Transport::ReadLineCom() {
    return readLineCom(port_, clock_);
}

std::string Transport::QueryCom(std::string_view command) {
    WriteLineCom(command);
    return ReadLineCom();
}

void Transport::Delay(float seconds) {
    q270::Delay(clock_, seconds);
}

int Transport::usbExchange(std::string& line) {
    try {
        return usb_.exchange(state_.DeviceSerial, line);
    } catch (const zdx::LibraryMissing&) {
        return kNoExchange;
    }
}

void Transport::SendSettings(int beep) {
    state_.BeepState = beep;
    if (repaint_) repaint_();
    std::string lineA = composeLineA(state_);
    std::string lineB = composeLineB(state_, beep);
    if (state_.Connection == kConnUsb) {
        if (state_.DllMissing != 0) return;
        const int r1 = usbExchange(lineA);
        const int r2 = usbExchange(lineB);
        state_.ReplyState = judgeUsbReplies(r1, r2, lineA, lineB);
        return;
    }
    std::string answerB = "x";
    const std::string answerA = QueryCom(lineA);
    if (serialAnswerAllowsLineB(answerA)) answerB = QueryCom(lineB);
    state_.ReplyState = judgeSerialReplies(answerA, answerB);
}

void Transport::CloseLink() {
    if (state_.Connection == kConnUsb && state_.DllMissing == 0) {
        std::string line = "DCL";
        usbExchange(line);
        Delay(kCloseLinkPause);
    }
    if (port_.isOpen() && (state_.Connection == kConnCom1 || state_.Connection == kConnComN)) {
        WriteLineCom("DCL");
        Delay(kCloseLinkPause);
        port_.close();
    }
}

bool Transport::probeLibrary() {
    try {
        usb_.probe();
        return true;
    } catch (const zdx::LibraryMissing&) {
        return false;
    }
}

bool Transport::cleanRelays(const std::array<std::int16_t, 4>& relayBytes) {
    // Without the library every exchange would fail at once: nothing to clean.
    if (state_.DllMissing != 0) return false;
    const std::string relayLine = composeRelayLine(relayBytes);
    for (int i = 0; i < kRelayPairs; ++i) {
        std::string line = relayLine;
        usbExchange(line);
        Delay(kRelayPause);
        line = std::string(kRelayReleaseLine);
        usbExchange(line);
        Delay(kRelayPause);
    }
    return true;
}

}  // namespace q270
