#include "win32_backend.h"

namespace zdx {

std::uint8_t win32_port_in(std::uint16_t address) {
    std::uint8_t value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(address));
    return value;
}

void win32_port_out(std::uint16_t address, std::uint8_t value) {
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(address));
}

}  // namespace zdx
