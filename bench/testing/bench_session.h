// A zdx-bench process for tests: started with a scenario, controlled and
// inspected through its control interface, stopped when the session ends.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zdx::bench {

struct TrafficEntry {
    double seconds = 0;     // since the bench started
    std::string device;     // USB serial number, "COM<n>" or "LPT<n>"
    std::string direction;  // "in": program to device; "out": device to program
    std::string line;       // the line without its line end; port writes as "data=0x41"
};

struct LptRegisters {
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;
};

// A Q270's output divider as the bench knows it; index 0 is R97, 19 R116.
struct DividerTruth {
    double excitationV = 0;
    int selected = 0;  // resistor the latest step line put on the output (97..116); 0: none
    std::array<double, 20> deviationsPpm{};
    std::array<std::optional<double>, 20> trimsOhm{};
    std::array<double, 20> ohms{};  // each resistor with its trim across it
};

struct MeterStatus {
    bool plugged = false;
    bool remote = false;
    bool portOpen = false;  // a program holds the meter's terminal open
    int readings = 0;       // readings taken since the scenario was loaded
    int queuedErrors = 0;
    std::string faults;  // "none" or names separated by ","
};

class BenchSession {
  public:
    // Starts zdx-bench with the scenario (JSON text) and waits until it serves.
    explicit BenchSession(const std::string& scenarioJson);
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    // Value for ZDXUSBCAL_BENCH.
    const std::string& socketPath() const;
    // The path of COM<n> (1..9), a link to its pseudo-terminal; the bench
    // always offers all nine.
    std::string comDevice(int n) const;
    // Sets ZDXUSBCAL_BENCH and ZDX_COM1..ZDX_COM9 in this process's environment.
    void exportEnvironment() const;

    // Replaces every device, port and driver setting; socket and COM ports stay.
    void loadScenario(const std::string& scenarioJson);

    std::vector<TrafficEntry> traffic() const;
    // The lines the program sent to one device, oldest first.
    std::vector<std::string> linesTo(const std::string& device) const;
    void clearTraffic();

    void unplug(const std::string& device);
    // replug("COM<n>") also gives back a port taken away.
    void replug(const std::string& device);
    // Takes the port "COM<n>" away as a pulled USB-serial adapter does: a
    // program's open port is hung up, its path cannot be opened until
    // replug("COM<n>") or loadScenario gives it back (under the same path).
    void takeAway(const std::string& device);
    // Sets (or with "none" clears) a fault of a device; names as in the scenario format.
    void setFault(const std::string& device, const std::string& fault);
    void setRemote(const std::string& device, bool remote);

    LptRegisters lpt(int portNumber) const;  // 0 = LPT1, 1 = LPT2

    // A Q270's divider, named by serial number (also behind a KX) or "COM<n>".
    DividerTruth divider(const std::string& calibrator) const;
    // Solders a trim resistor across R<resistor> (97..116), replacing one there.
    void setTrim(const std::string& calibrator, int resistor, double ohms);
    void removeTrim(const std::string& calibrator, int resistor);
    void removeAllTrims(const std::string& calibrator);
    // The multimeter on COM<com>. Unplug and replug it with unplug("COM<n>").
    MeterStatus meter(int com) const;

    // Sends any control command and returns the bench's reply; throws
    // std::runtime_error when the bench cannot be reached or reports an error.
    std::string control(const std::string& command) const;
    // Kills the bench process at once (SIGKILL), as a crash would.
    void kill();

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace zdx::bench
