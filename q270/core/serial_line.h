// What the transport needs of a serial port, and the line reader on top of it.
#pragma once

#include <string>
#include <string_view>

#include "clock.h"

namespace q270 {

class SerialLine {
  public:
    virtual ~SerialLine() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Queues the text for sending, without a terminator; does not wait.
    virtual void writeText(std::string_view text) = 0;
    virtual int waitingCount() = 0;
    // Every received character waiting, removed from the port.
    virtual std::string readWaiting() = 0;
    // Blocks until characters arrive or the time has passed; false on time-out
    // or when the port cannot deliver anything.
    virtual bool waitForData(int milliseconds) = 0;
    // Empty while the port works; once it failed under the program (its
    // device removed or hung up), the system's reason, until it is opened again.
    virtual std::string lostReason() const { return {}; }
};

inline constexpr double kReadLineSeconds = 0.3;
// An answer that runs on without a line feed is cut here.
inline constexpr std::size_t kReadLineLimit = 4096;

// Collects one answer line within 0.3 s: stops at a line feed (keeping what
// came after it in the same read) or at the deadline (returning what arrived),
// and turns the first "." into ",". A port that is not open gives no answer.
std::string readLineCom(SerialLine& port, Clock& clock);

// The same line reader with a deadline of its own.
std::string readLineWithin(SerialLine& port, Clock& clock, double seconds);

// The command followed by one line feed; nothing when the port is not open.
void writeLineCom(SerialLine& port, std::string_view command);

}  // namespace q270
