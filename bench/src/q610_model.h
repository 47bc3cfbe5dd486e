// The Q610 calibrator: one output byte, set by "PAP n" lines, and a front-panel
// REMOTE switch that decides whether it answers "1" (remote) or "0" (local).
#pragma once

#include <cstdint>

#include "device_model.h"

namespace zdx::bench {

class Q610Model : public DeviceModel {
  public:
    explicit Q610Model(bool remote = true) : remote_(remote) {}

    std::string kind() const override { return "Q610"; }
    std::optional<std::string> handleLine(std::string_view line) override;
    bool remote() const override { return remote_; }
    void setRemote(bool remote) override { remote_ = remote; }

    // The output byte last received over the line or the parallel port.
    std::uint8_t outputByte() const { return output_; }
    void setOutputByte(std::uint8_t value) { output_ = value; }

  private:
    bool remote_;
    std::uint8_t output_ = 0;
};

}  // namespace zdx::bench
