// Small file operations for making gadgets through configfs.
#pragma once

#include <cstdint>
#include <string>

namespace zdx::gadget {

inline constexpr const char* kGadgetRoot = "/sys/kernel/config/usb_gadget/";

// Writes the text to a configfs attribute; false with a message on stderr.
bool writeText(const std::string& path, const std::string& text);
// Makes a folder (one that exists is fine); false with a message on stderr.
bool makeDir(const std::string& path);
// "0x1209": the form of configfs' ID attributes.
std::string hex16(std::uint16_t value);

// The gadget folder with IDs, strings and one configuration, and the function
// `function` ("ffs.NAME", "acm.NAME") linked into it. Not bound yet.
bool makeGadget(const std::string& name, std::uint16_t vendor, std::uint16_t product,
                const std::string& manufacturer, const std::string& productName,
                const std::string& serial, const std::string& function);

}  // namespace zdx::gadget
