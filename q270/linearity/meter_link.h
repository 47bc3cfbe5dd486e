// The line to the multimeter: SCPI command lines out, one reply line per query
// in, on the results window's serial port (COM1, "9600,N,8,1").
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "clock.h"
#include "serial_line.h"

namespace q270 {

class SerialPort;

inline constexpr int kMeterPortNumber = 1;
inline constexpr const char* kMeterLineSettings = "9600,N,8,1";
inline constexpr double kMeterReplySeconds = 1.5;

// What the meter link needs of its port beyond reading and writing.
class MeterPort : public SerialLine {
  public:
    // Sets the port number and the line settings, then opens the port.
    virtual void openWith(int portNumber, const QString& settings) = 0;
    // After an open that failed: the port's device and the system's reason
    // ("/dev/ttyS0: Permission denied"); empty when nothing is known.
    virtual std::string openFailure() const { return {}; }
};

// The serial-port component as a MeterPort.
class SerialMeterPort : public MeterPort {
  public:
    explicit SerialMeterPort(SerialPort& port) : port_(port) {}
    void openWith(int portNumber, const QString& settings) override;
    std::string openFailure() const override;
    bool isOpen() const override;
    void close() override;
    void writeText(std::string_view text) override;
    int waitingCount() override;
    std::string readWaiting() override;
    bool waitForData(int milliseconds) override;
    std::string lostReason() const override;

  private:
    SerialPort& port_;
};

// OpenHP, CloseHP, WriteLineHP, ReadLineHP and ReadHP on one port; Delay on
// the clock (no window events are processed while any of them waits).
class MeterLink {
  public:
    MeterLink(MeterPort& port, Clock& clock) : port_(port), clock_(clock) {}

    // Opens COM1 and puts the meter into remote operation. False, with nothing
    // sent, when the port cannot be opened.
    bool OpenHP();
    // Returns the meter to local operation and closes the port; a port that
    // was lost is just closed.
    void CloseHP();
    void WriteLineHP(std::string_view command);
    // One reply line within 1.5 s, terminator kept, its first "." made ",";
    // what has arrived (possibly nothing) when the time runs out.
    std::string ReadLineHP();
    std::string ReadHP(std::string_view command);
    void Delay(float seconds);
    // Ends the line whatever state it is in: CloseHP while the line still
    // works, otherwise just the port closed. Throws nothing.
    void Release() noexcept;

    bool isOpen() const { return port_.isOpen(); }
    // Why OpenHP found COM1 closed: its device and the system's reason.
    std::string openFailure() const { return port_.openFailure(); }
    // Empty while COM1 works; the system's reason once it went away.
    std::string lostReason() const { return port_.lostReason(); }

  private:
    MeterPort& port_;
    Clock& clock_;
};

}  // namespace q270
