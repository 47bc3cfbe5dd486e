// The virtual bench: every device, port and driver of a scenario, behind the
// requests of the library's bench backend and the control commands of tests.
// All state is guarded by one lock; clients are served on their own threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "parallel_ports.h"
#include "q270_model.h"
#include "scenario.h"
#include "serial_ports.h"
#include "traffic_log.h"
#include "usb_device.h"

namespace zdx::bench {

using ClientId = std::uint64_t;

class Bench {
  public:
    using Clock = std::chrono::steady_clock;

    Bench();
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // Creates the serial ports, offered as links in `comFolder`; false with a
    // message when that fails.
    bool start(const std::string& comFolder, std::string& error);
    void stop();
    bool openLogFile(const std::string& path);

    // Replaces every device, port and driver setting.
    bool load(const std::string& json, std::string& error);

    // One request of the wire format; returns the reply body.
    std::string handle(ClientId client, std::string_view request);
    // Releases what a client left open when its connection ends.
    void dropClient(ClientId client);

    // One control command (see docs/bench.md). Sets `stop` for "stop".
    std::string control(const std::string& command, bool& stop);

    // The environment lines a program needs to reach this bench.
    std::string environment() const;
    void setSocketPath(std::string path) { socketPath_ = std::move(path); }
    // Called (on a client's thread) when a control command asks the bench to stop.
    void setStopHandler(std::function<void()> handler) { onStop_ = std::move(handler); }

    // How long a read of the answer pipe is held when nothing has arrived,
    // as the driver does: a caller polling for an answer does not spin.
    static constexpr std::chrono::milliseconds kReadHold{20};

  private:
    enum class HandleKind { Device, AnswerPipe, CommandPipe, PortDriver };
    struct Handle {
        ClientId client = 0;
        HandleKind kind = HandleKind::Device;
        std::shared_ptr<UsbDevice> device;
        std::uint32_t generation = 0;
    };

    std::string getClassDevs(std::string_view guid);
    std::string open(ClientId client, std::string_view path);
    std::string deviceControl(std::uint32_t handle, std::uint32_t code, std::uint32_t outSize,
                              std::string_view in);
    std::string read(std::unique_lock<std::mutex>& guard, std::uint32_t handle, std::uint32_t size);
    std::string write(std::unique_lock<std::mutex>& guard, std::uint32_t handle,
                      std::string_view data);
    // A handle's device while it is still there; nullptr once it went away.
    UsbDevice* live(const Handle& h) const;
    std::shared_ptr<UsbDevice> findUsb(const std::string& serial) const;
    std::uint32_t newId() { return nextId_++; }
    void applyTimedPlugs();

    // Control commands.
    std::string setPlugged(const std::string& device, bool plugged);
    std::string takeAway(const std::string& device);
    std::string setFault(const std::string& device, const std::string& fault);
    std::string setRemote(const std::string& device, const std::string& value);
    std::string lptRegisters(const std::string& port);
    std::string describeDevices() const;
    std::string setCondition(const std::string& device, const std::string& value);
    std::string stats() const;
    std::set<Fault>* faultsOf(const std::string& device);
    DeviceModel* modelOf(const std::string& device);
    // A Q270 by device name (USB serial, COM<n>, a KX's serial) or by its own
    // serial number (also behind a KX); nullptr when there is none.
    Q270Model* q270Named(const std::string& name);
    MeterModel* meterOn(const std::string& device);
    void wireMeters();
    std::string setTrim(const std::string& device, const std::string& resistor,
                        const std::string& ohms);
    std::string describeDivider(const std::string& device);
    std::string describeMeter(const std::string& device);

    mutable std::mutex lock_;
    std::condition_variable answerArrived_;
    TrafficLog log_;
    SerialPorts serial_;
    ParallelPorts lpt_;
    std::vector<std::shared_ptr<UsbDevice>> usb_;
    std::uint32_t osFamily_ = 2;
    std::map<std::uint32_t, Handle> handles_;
    std::uint32_t nextId_ = 1;
    // Plug changes the scenario scheduled, applied when their time has come.
    std::vector<std::pair<Clock::time_point, TimedPlug>> timedPlugs_;
    struct Counters {
        std::uint64_t requests = 0, reads = 0, emptyReads = 0;
    } counters_;
    std::string socketPath_;
    std::function<void()> onStop_;
};

}  // namespace zdx::bench
