// The line transport of the main window: serial lines through the serial port,
// USB exchanges through the access library, and the procedures built on them
// (SendSettings, CloseLink, the presence probe, relay cleaning).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "clock.h"
#include "program_state.h"
#include "serial_line.h"
#include "usb_access.h"

namespace q270 {

class Transport {
  public:
    Transport(ProgramState& state, SerialLine& port, UsbAccess& usb, Clock& clock);

    // Called where the window is to be brought up to date before a blocking exchange.
    void setRepaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }

    void WriteLineCom(std::string_view command);
    std::string ReadLineCom();
    std::string QueryCom(std::string_view command);

    // Sends "K1A" and "K1B" over the connection in use and sets ReplyState.
    void SendSettings(int beep);
    // "DCL" on the connection in use, then the serial port is closed.
    void CloseLink();
    void ClearStop() { state_.StopRequest = 0; }
    void Delay(float seconds);

    // True when the access library can be bound (CalCommand(-1, ...) could be made).
    bool probeLibrary();

    // 50 pairs of the relay line and "K1T 0,0,0,0", 0.02 s apart, always over
    // USB; skipped while the library is missing. Returns whether it ran.
    bool cleanRelays(const std::array<std::int16_t, 4>& relayBytes);

    UsbAccess& usb() { return usb_; }

    // One USB exchange with DeviceSerial; a missing library counts as a failed exchange.
    int usbExchange(std::string& line);

  private:
    ProgramState& state_;
    SerialLine& port_;
    UsbAccess& usb_;
    Clock& clock_;
    std::function<void()> repaint_;
};

}  // namespace q270
