// The real Windows services behind the platform seam: the setup library
// loaded by name, file and device I/O, the multimedia clock, the version
// query, and byte-wide port instructions.
#pragma once

#include <cstdint>

#include "../../src/platform.h"

namespace zdx {

const PlatformOps& win32_platform();

// Port instructions (win32_port_io.cpp). Valid only for ports that the port
// I/O driver (or an OS outside the NT family) lets user mode reach.
std::uint8_t win32_port_in(std::uint16_t address);
void win32_port_out(std::uint16_t address, std::uint8_t value);

}  // namespace zdx
