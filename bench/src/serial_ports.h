// COM1..COM9 as pseudo-terminals: the program opens the terminal side, the
// bench holds the master side and lets a device model answer on it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "device_model.h"
#include "faults.h"

namespace zdx::bench {

class TrafficLog;

inline constexpr int kComPorts = 9;

struct SerialDevice {
    std::unique_ptr<DeviceModel> model;
    std::set<Fault> faults;
    int baud = 9600;  // the device answers only when the line runs at this rate
};

class SerialPorts {
  public:
    using Clock = std::chrono::steady_clock;

    // Shares the bench's lock and log; lines are handled with the lock held.
    SerialPorts(std::mutex& lock, TrafficLog& log);
    ~SerialPorts();
    SerialPorts(const SerialPorts&) = delete;
    SerialPorts& operator=(const SerialPorts&) = delete;

    // Creates the nine terminals and starts serving them. False on failure.
    bool start(std::string& error);
    void stop();

    // The terminal path of COM<n> (1..9).
    std::string path(int com) const;

    // With the lock held: puts a device on COM<n> (nullptr model: none).
    void setDevice(int com, SerialDevice device);
    SerialDevice* device(int com);

  private:
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    struct Port {
        int master = -1;
        int keepOpen =
            -1;  // our own terminal-side descriptor: no hang-up while the program is away
        std::string path;
        SerialDevice device;
        std::string lineIn;
        std::deque<Pending> answers;
    };

    void run();
    void receive(int index);
    void handleLine(int index, const std::string& line);
    int flushDue(Clock::time_point now);  // returns ms until the next due answer, or -1
    void wake();

    std::mutex& lock_;
    TrafficLog& log_;
    std::array<Port, kComPorts> ports_;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace zdx::bench
