// COM1..COM9 as pseudo-terminals: the program opens the terminal side, the
// bench holds the master side and lets a device model answer on it. Each
// port is offered under a stable path, a link to its current terminal, so a
// port taken away (its terminal hung up and gone) comes back under the same
// name on a fresh terminal.
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
#include "meter_model.h"

namespace zdx::bench {

class TrafficLog;

inline constexpr int kComPorts = 9;

// A calibrator (`model`, shaped by `faults`) or a multimeter (`meter`, which
// keeps its own faults and answers only while the program holds the port open).
struct SerialDevice {
    std::unique_ptr<DeviceModel> model;
    std::set<Fault> faults;
    std::unique_ptr<MeterModel> meter;
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

    // Creates the nine terminals, their links COM1..COM9 in `folder` (made
    // when missing) and starts serving them. False on failure.
    bool start(const std::string& folder, std::string& error);
    void stop();

    // The stable path of COM<n> (1..9).
    std::string path(int com) const;

    // With the lock held: takes COM<n> away as a pulled adapter does: the
    // program's descriptor is hung up and the path cannot be opened.
    void takeAway(int com);
    // With the lock held: gives COM<n> back on a fresh terminal. False with a
    // message when no terminal can be made.
    bool giveBack(int com, std::string& error);
    bool away(int com) const;

    // With the lock held: puts a device on COM<n> (nullptr model: none).
    void setDevice(int com, SerialDevice device);
    SerialDevice* device(int com);
    // With the lock held: whether a program holds the terminal of COM<n> open
    // (always true where the bench cannot watch the terminals).
    bool terminalOpen(int com) const;

  private:
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    struct Port {
        int master = -1;
        // Our own terminal-side descriptor: no hang-up while the program is away.
        int keepOpen = -1;
        int watch = -1;        // inotify watch of the terminal
        int openers = 0;       // open descriptions of the terminal besides `keepOpen`
        std::string terminal;  // the current /dev/pts node
        std::string link;      // the stable path, a link to `terminal`
        bool away = false;     // taken away: no terminal, no link
        SerialDevice device;
        std::string lineIn;
        std::deque<Pending> answers;
    };

    void run();
    void receive(int index);
    void handleLine(int index, const std::string& line);
    void handleMeterLine(int index, const std::string& line);
    bool openTerminal(Port& p, std::string& error);
    void closeTerminal(Port& p);
    void watchTerminals();
    bool watch(Port& p);
    void countOpeners();
    bool deliverable(const Port& p, Clock::time_point due) const;
    int flushDue(Clock::time_point now);  // returns ms until the next due answer, or -1
    void wake();

    std::mutex& lock_;
    TrafficLog& log_;
    std::array<Port, kComPorts> ports_;
    int wakePipe_[2] = {-1, -1};
    std::string folder_;
    int inotify_ = -1;
    bool openersKnown_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace zdx::bench
