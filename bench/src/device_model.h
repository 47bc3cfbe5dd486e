// A device that speaks text lines: one line in, at most one answer out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zdx::bench {

class DeviceModel {
  public:
    virtual ~DeviceModel() = default;

    // "Q270", "Q610" or "KX".
    virtual std::string kind() const = 0;

    // Takes one received line without its line end. Returns the answer bytes,
    // line end included, or nothing when the device does not answer.
    virtual std::optional<std::string> handleLine(std::string_view line) = 0;

    virtual bool remote() const = 0;
    virtual void setRemote(bool remote) = 0;
};

// The line end both calibrators put after every answer.
inline constexpr std::string_view kLineEnd = "\r\n";

inline std::string answerLine(std::string_view text) {
    std::string s(text);
    s += kLineEnd;
    return s;
}

}  // namespace zdx::bench
