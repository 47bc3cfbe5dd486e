#include "string_descriptor.h"

#include <algorithm>
#include <cstring>

namespace zdx {

namespace {

void put_u16(StringRequest& block, std::size_t offset, std::uint16_t value) {
    block[offset] = static_cast<std::uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

bool descriptor_at(const StringAnswer& answer, std::size_t start, std::uint32_t expected_length) {
    const std::uint8_t length = answer[start];
    return answer[start + 1] == kStringDescriptorType && length == expected_length &&
           length % 2 == 0;
}

}  // namespace

StringRequest make_string_request(std::uint8_t index) {
    StringRequest block{};
    // Bytes 4..11 form a setup packet; request type and request stay 0.
    put_u16(block, 6, static_cast<std::uint16_t>((kStringDescriptorType << 8) + index));
    put_u16(block, 8, 0);
    put_u16(block, 10, kLongestStringWanted);
    return block;
}

bool accept_string_answer(const StringAnswer& answer, std::uint32_t returned,
                          DescriptorArea& area) {
    area.fill(0);
    if (returned < 2 || returned > answer.size()) {
        return false;
    }
    std::size_t start = 0;
    if (descriptor_at(answer, 0, returned)) {
        start = 0;
    } else if (returned >= kStringHeaderSize + 2 &&
               descriptor_at(answer, kStringHeaderSize, returned - kStringHeaderSize)) {
        start = kStringHeaderSize;
    } else {
        return false;
    }
    // The length byte was matched against what arrived, so the copy stays
    // within the bytes the driver delivered.
    std::memcpy(area.data(), answer.data() + start, answer[start]);
    return true;
}

std::size_t descriptor_chars(const DescriptorArea& area) {
    return area[0] < 2 ? 0 : (area[0] - 2u) / 2u;
}

std::size_t descriptor_to_text(const DescriptorArea& area, char* dest, std::size_t capacity) {
    const std::size_t count = std::min(descriptor_chars(area), capacity);
    for (std::size_t i = 0; i < count; ++i) {
        dest[i] = static_cast<char>(area[2 + 2 * i]);
    }
    dest[count] = '\0';
    return count;
}

}  // namespace zdx
