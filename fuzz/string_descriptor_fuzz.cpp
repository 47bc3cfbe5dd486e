// String descriptor answers as the driver hands them to the library's core:
// an answer is accepted exactly when it is a bare descriptor of the returned
// length or one behind the 12-byte header, of type 3 and an even length; its
// text has (L - 2) / 2 characters, the low byte of each, cut at the capacity
// and ended with a NUL, and nothing is written beyond that.
#include <vector>

#include "fuzz_support.h"
#include "string_descriptor.h"

using namespace zdx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint32_t returned = in.flag() ? in.u32() : in.byte() + (in.flag() ? 12u : 0u);
    const std::size_t capacity = in.byte();
    zdx::StringAnswer answer{};
    for (auto& b : answer) b = in.byte();

    zdx::DescriptorArea area{};
    const bool accepted = zdx::accept_string_answer(answer, returned, area);
    const bool fits = returned >= 2 && returned <= answer.size();
    const bool bare = fits && answer[0] == returned && answer[1] == 3 && returned % 2 == 0;
    const bool behind = !bare && fits && returned >= 14 && answer[12] == returned - 12 &&
                        answer[13] == 3 && returned % 2 == 0;
    FUZZ_CHECK(accepted == (bare || behind));
    if (!accepted) return 0;
    const std::uint8_t* descriptor = bare ? answer.data() : answer.data() + 12;
    FUZZ_CHECK(area[0] == descriptor[0]);
    for (std::size_t i = 0; i < area.size(); ++i)
        FUZZ_CHECK(area[i] == (i < descriptor[0] ? descriptor[i] : 0));

    const std::size_t chars = zdx::descriptor_chars(area);
    FUZZ_CHECK(chars == (area[0] < 2 ? 0u : (area[0] - 2u) / 2u));
    constexpr char kGuard = '\x5A';
    std::vector<char> text(capacity + 1 + 16, kGuard);
    const std::size_t written = zdx::descriptor_to_text(area, text.data(), capacity);
    FUZZ_CHECK(written == std::min(chars, capacity));
    for (std::size_t i = 0; i < written; ++i)
        FUZZ_CHECK(static_cast<std::uint8_t>(text[i]) == area[2 + 2 * i]);
    FUZZ_CHECK(text[written] == '\0');
    for (std::size_t i = written + 1; i < text.size(); ++i) FUZZ_CHECK(text[i] == kGuard);
    return 0;
}
