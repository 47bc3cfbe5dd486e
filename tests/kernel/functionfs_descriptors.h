// What a calibrator's function tells FunctionFS about itself: one
// vendor-specific interface with a bulk OUT endpoint (the command pipe) and a
// bulk IN endpoint (the answer pipe), at full and high speed, and its strings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zdx::gadget {

using Bytes = std::vector<std::uint8_t>;

// The endpoint addresses the function asks for; the kernel may give others.
inline constexpr std::uint8_t kDeclaredOut = 0x01;
inline constexpr std::uint8_t kDeclaredIn = 0x82;

// The descriptor block written first to ep0.
Bytes functionDescriptors();

// The strings block written to ep0 after the descriptors: the function's
// strings 1..3 in US English, which the gadget's composite device numbers
// after its own manufacturer, product and serial number (1..3), so that they
// are the device's strings 4, 5 and 6.
Bytes functionStrings(const std::array<std::string, 3>& strings);

}  // namespace zdx::gadget
