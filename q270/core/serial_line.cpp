#include "serial_line.h"

#include <algorithm>

#include "device_profile.h"

namespace q270 {

std::string readLineCom(SerialLine& port, Clock& clock) {
    return readLineWithin(port, clock, kReadLineSeconds);
}

std::string readLineWithin(SerialLine& port, Clock& clock, double seconds) {
    std::string collected;
    if (!port.isOpen()) return collected;
    const auto deadline = clock.now() + secondsToDuration(seconds);
    for (;;) {
        if (port.waitingCount() > 0) {
            std::string arrived = port.readWaiting();
            arrived.resize(std::min(arrived.size(), kReadLineLimit - collected.size()));
            collected += arrived;
        }
        if (collected.find('\n') != std::string::npos || collected.size() >= kReadLineLimit) break;
        const auto now = clock.now();
        if (now > deadline) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (!port.waitForData(static_cast<int>(std::max<long long>(left, 1)))) {
            // Time is up or the port failed: take what is there and stop.
            if (port.waitingCount() > 0) continue;
            break;
        }
    }
    return firstPointToComma(std::move(collected));
}

void writeLineCom(SerialLine& port, std::string_view command) {
    if (!port.isOpen()) return;
    std::string line(command);
    line += '\n';
    port.writeText(line);
}

}  // namespace q270
