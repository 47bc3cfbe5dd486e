// The Q270 bridge calibrator as its command lines see it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device_model.h"
#include "divider.h"
#include "divider_output.h"

namespace zdx::bench {

struct Q270Config {
    std::string id = "Q270S9 V1.18";  // answer to "SNR?0"
    std::string serial = "Q270S9-0001";
    int condition = 0;          // 0 = none, 1..8 = condition code answered
    bool probeAccepted = true;  // true: the unit has six ranges
    bool remote = false;
};

// The last accepted setting lines, as numbers.
struct Q270Settings {
    int mode = 0, percent = 0, range = 1, channel = 0;
    int ready = 0, beepFreq = 0, beepLen = 0, load = 0;
};

class Q270Model : public DeviceModel {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Q270Model(Q270Config config, DividerConfig divider = {});

    std::string kind() const override { return "Q270"; }
    std::optional<std::string> handleLine(std::string_view line) override;
    bool remote() const override { return remote_; }
    void setRemote(bool remote) override { remote_ = remote; }

    const Q270Config& config() const { return config_; }
    void setCondition(int condition) { config_.condition = condition; }
    const Q270Settings& settings() const { return settings_; }
    std::uint32_t relayMask() const { return relays_; }
    // Every accepted linearity step line's four numbers, oldest first.
    const std::vector<std::array<int, 4>>& steps() const { return steps_; }

    // The output divider. Only a linearity step line switches a resistor to
    // the output; one that is no step of the run switches none (0 V).
    Divider& divider() { return divider_; }
    const Divider& divider() const { return divider_; }
    const DividerOutput& output() const { return output_; }
    // The output voltage at `t` for an instrument that sees a new step only
    // once it has settled for `settle`.
    double outputVolts(Clock::time_point t, Clock::duration settle) const {
        return divider_.voltsAcross(output_.shownAt(t, settle));
    }

  private:
    std::string accepted();
    std::optional<std::string> settingA(std::string_view fields);
    std::optional<std::string> settingB(std::string_view fields);
    std::optional<std::string> relays(std::string_view fields);
    std::optional<std::string> step(std::string_view fields);

    Q270Config config_;
    bool remote_;
    Q270Settings settings_;
    std::uint32_t relays_ = 0;
    std::vector<std::array<int, 4>> steps_;
    Divider divider_;
    DividerOutput output_;
};

// Parses exactly `count` comma-separated decimal integers (blanks around a
// number allowed). Returns false for anything else.
bool parseIntList(std::string_view text, int* out, int count);

}  // namespace zdx::bench
