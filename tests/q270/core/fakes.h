// Test doubles for the Q270 transport: a clock that moves only when waited on,
// a scripted serial line and a scripted USB access.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "clock.h"
#include "serial_line.h"
#include "usb_access.h"

namespace q270::testing {

class FakeClock : public Clock {
  public:
    time_point now() const override { return now_; }
    void sleepUntil(time_point deadline) override {
        if (deadline > now_) now_ = deadline;
        ++sleeps;
    }
    void advance(duration d) { now_ += d; }
    int sleeps = 0;

  private:
    time_point now_{};
};

// Each written line is answered by the next scripted chunk list; chunks arrive
// one per wait, each after `chunkDelay`. `Port` is the port interface it plays.
template <typename Port>
class FakeLine : public Port {
  public:
    explicit FakeLine(FakeClock& clock) : clock_(clock) {}
    bool isOpen() const override { return open; }
    void close() override { open = false; }
    void writeText(std::string_view text) override {
        written.emplace_back(text);
        if (!replies.empty()) {
            for (auto& chunk : replies.front()) pending.push_back(chunk);
            replies.pop_front();
        }
    }
    int waitingCount() override { return static_cast<int>(buffer.size()); }
    std::string readWaiting() override { return std::exchange(buffer, {}); }
    bool waitForData(int milliseconds) override {
        ++waits;
        if (pending.empty()) {
            clock_.advance(std::chrono::milliseconds(milliseconds));
            return false;
        }
        clock_.advance(chunkDelay);
        buffer += pending.front();
        pending.pop_front();
        return true;
    }

    bool open = true;
    std::deque<std::vector<std::string>> replies;  // per written line
    std::deque<std::string> pending;
    std::string buffer;
    std::vector<std::string> written;
    std::chrono::milliseconds chunkDelay{5};
    int waits = 0;

  private:
    FakeClock& clock_;
};

using FakeSerialLine = FakeLine<SerialLine>;

class FakeUsb : public UsbAccess {
  public:
    void probe() override {}
    UsbDeviceInfo deviceInfo(const std::string&, const std::string&) override { return info; }
    int exchange(const std::string& serial, std::string& line) override {
        sent.push_back(line);
        serials.push_back(serial);
        if (answers.empty()) {
            line.clear();
            return ZDXUSBCAL_CMD_NO_ANSWER;
        }
        auto [result, answer] = answers.front();
        answers.pop_front();
        line = answer;
        return result;
    }

    UsbDeviceInfo info;
    std::deque<std::pair<int, std::string>> answers;
    std::vector<std::string> sent;
    std::vector<std::string> serials;
};

}  // namespace q270::testing
