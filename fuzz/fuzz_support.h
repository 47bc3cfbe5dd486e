// What every fuzz target shares: a contract check that stops the run with the
// broken promise named, and a reader that takes typed values from the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: contract broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace zdx::fuzz {

// Takes values from the front of the input; past its end every value is zero
// or empty, so any input is a valid case.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size)
        : text_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte() {
        if (text_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(text_.front());
        text_.remove_prefix(1);
        return b;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= std::uint32_t{byte()} << (8 * i);
        return v;
    }
    bool flag() { return (byte() & 1) != 0; }
    // A text of up to `longest` bytes: its length first, then its bytes.
    std::string text(std::size_t longest) {
        const std::size_t n = std::min<std::size_t>(byte() % (longest + 1), text_.size());
        std::string t(text_.substr(0, n));
        text_.remove_prefix(n);
        return t;
    }
    std::string_view rest() {
        const std::string_view r = text_;
        text_ = {};
        return r;
    }
    bool empty() const { return text_.empty(); }

  private:
    std::string_view text_;
};

}  // namespace zdx::fuzz
