#include "functionfs_descriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

namespace zdx::gadget {

namespace {

constexpr std::uint16_t kFullSpeedPacket = 64;
constexpr std::uint16_t kHighSpeedPacket = 512;
constexpr std::uint16_t kEnglish = 0x0409;
// FunctionFS hands the function as many string numbers as the highest
// string a descriptor names: the interface names string 3 (the
// identification), so that all three strings are given numbers.
constexpr std::uint8_t kInterfaceString = 3;

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void interfaceWithPipes(Bytes& b, std::uint16_t packet) {
    b.insert(b.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_VENDOR_SPEC, 0,
                       0, kInterfaceString});
    for (const std::uint8_t address : {kDeclaredOut, kDeclaredIn}) {
        b.insert(b.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
        put16(b, packet);
        b.push_back(0);  // bInterval
    }
}

}  // namespace

Bytes functionDescriptors() {
    Bytes b;
    put32(b, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(b, 0);  // the length, set below
    put32(b, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(b, 3);  // descriptors at full speed
    put32(b, 3);  // and at high speed
    interfaceWithPipes(b, kFullSpeedPacket);
    interfaceWithPipes(b, kHighSpeedPacket);
    set32(b, 4, static_cast<std::uint32_t>(b.size()));
    return b;
}

Bytes functionStrings(const std::array<std::string, 3>& strings) {
    Bytes b;
    put32(b, FUNCTIONFS_STRINGS_MAGIC);
    put32(b, 0);  // the length, set below
    put32(b, static_cast<std::uint32_t>(strings.size()));
    put32(b, 1);  // one language
    put16(b, kEnglish);
    for (const std::string& s : strings) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    set32(b, 4, static_cast<std::uint32_t>(b.size()));
    return b;
}

}  // namespace zdx::gadget
