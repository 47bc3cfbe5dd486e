// Program-wide state of the Q270 program: the selection the front panel makes,
// the connection in use and the requests that drive the timer cycle. One copy
// for the whole program, shared by the windows and the cycle.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace q270 {

inline constexpr int kRangeHalfMilliVolt = 555;  // RangeTable value standing for 0.5 mV/V
inline constexpr int kProbeMode = 128;           // SelSign value of the range probe

// Connection: the link in use, as stored in the setting "Connection".
enum Connections : std::int32_t {
    kConnUsb = 1,
    kConnCom1 = 2,
    kConnComN = 3,  // COM(2 + ComIncrement)
};

// ReplyState: the judgement of the last SendSettings.
enum ReplyStates : std::int32_t {
    kReplyFailed = 0,         // USB: an exchange failed (library result not 0)
    kReplyCondition = 1,      // the device reports a condition ("1".."8")
    kReplyAccepted = 2,       // the "K1B" line was accepted ("0")
    kReplyNotUnderstood = 3,  // a line was not accepted ("?"); serial: no usable answer
};

// LinkState: the state of the timer cycle. One cycle may pass through several
// in turn (the cycle tests them in this order): a link made in kLinkNotConnected
// goes online before the cycle ends, and a scan request moves kLinkOnline on to
// kLinkResultsView in the same cycle.
enum LinkStates : std::int16_t {
    kLinkNotConnected = 0,   // the next cycle searches the device / opens the port
    kLinkGoingOnline = 1,    // connected just now
    kLinkOnline = 2,         // the settings are sent every cycle
    kLinkResultsView = 3,    // the results window is up
    kLinkReopenResults = 4,  // the results window is to be shown again
};

struct ProgramState {
    std::int32_t Connection = 0;  // Connections; 0 until the start-up chooses one
    std::int32_t BeepState = 0;
    std::int32_t SelRange = 0;    // 1..6
    std::int32_t SelChannel = 0;  // 0..15
    std::int32_t SelSign = 0;     // 0 = +, 1 = -, 128 = range probe
    std::int32_t SelPercent = 0;  // tens of per cent, 0..10
    std::int32_t ReadyState = 0;
    std::int32_t HBState = 0;                  // 0 unchecked, 1 checked, 2 greyed
    std::array<std::int32_t, 7> RangeTable{};  // mV/V of range numbers 1..6
    std::string SignText;
    double FullScale = 0.0;
    std::int32_t LoadState = 0;
    std::int32_t LoadMode = 0;
    std::int32_t ReplyState = kReplyFailed;
    std::int16_t DllMissing = 0;
    std::string DeviceSerial;
    std::int16_t StopRequest = 0;
    std::int16_t ScanRequest = 0;
    std::int16_t ResultsAvailable = 0;
    std::int16_t CycleCountdown = 0;
    std::int16_t LinkState = kLinkNotConnected;
};

}  // namespace q270
