// USB string descriptors as the calibrator's driver hands them out: the
// request block, the checks an answer must pass, and the 8-bit conversion.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "constants.h"

namespace zdx {

using StringRequest = std::array<std::uint8_t, kStringRequestSize>;
using StringAnswer = std::array<std::uint8_t, kStringRequestSize>;
// A descriptor as accepted: its L bytes at the start, zeros after them.
using DescriptorArea = std::array<std::uint8_t, kDescriptorAreaSize>;

// The 267-byte request for string `index` (language 0, at most 255 bytes).
StringRequest make_string_request(std::uint8_t index);

// Checks an answer of `returned` bytes and copies the descriptor into `area`.
// Accepted are a bare descriptor whose length byte equals `returned`, or one
// behind a 12-byte header whose length byte equals `returned` - 12; the type
// byte must be 3 and the length even. Returns false for anything else.
bool accept_string_answer(const StringAnswer& answer, std::uint32_t returned, DescriptorArea& area);

// Number of characters a descriptor holds: (L - 2) / 2, or 0 when L < 2.
std::size_t descriptor_chars(const DescriptorArea& area);

// Writes the low byte of each UTF-16 unit, at most `capacity` characters, to
// `dest` and ends it with a NUL (dest holds capacity + 1 bytes). Returns the
// number of characters written.
std::size_t descriptor_to_text(const DescriptorArea& area, char* dest, std::size_t capacity);

}  // namespace zdx
