// The wire format between the access library's bench backend and zdx-bench.
//
// One stream connection over a Unix-domain socket carries strictly alternating
// requests and replies. Every message is a frame: a u32 body length followed by
// the body. A request body begins with one Op byte; a reply body begins with a
// u32 status (0 = success, anything else = the operation failed) followed by
// the operation's results. Integers are little-endian. Header-only so that the
// library and the bench share it without linking each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zdx::benchwire {

enum class Op : std::uint8_t {
    // guid[16] -> count u32, then per present interface: length u32, path bytes.
    // The set is a snapshot the client keeps; enumerating it needs no requests.
    GetClassDevs = 1,
    Open = 5,           // mode u8, path bytes -> handle u32
    DeviceControl = 6,  // handle u32, code u32, out_size u32, in bytes -> out bytes
    Read = 7,           // handle u32, size u32 -> bytes (may be empty)
    Write = 8,          // handle u32, bytes -> written u32
    Close = 9,          // handle u32 -> -
    OsFamily = 10,      // - -> family u32
    PortIn = 11,        // address u16 -> value u8
    PortOut = 12,       // address u16, value u8 -> -
    Control = 13,       // command text -> reply text
};

// Bodies larger than this are refused by both sides: a peer that sends more
// is broken, not merely verbose.
inline constexpr std::uint32_t kMaxBody = 16u * 1024u * 1024u;

inline void put_u8(std::string& out, std::uint8_t v) {
    out.push_back(static_cast<char>(v));
}

inline void put_u16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

inline void put_u32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Reads fields from a received body; every getter fails (returns false) instead
// of reading past the end.
class Reader {
  public:
    explicit Reader(std::string_view body) : body_(body) {}

    bool u8(std::uint8_t& v) {
        if (remaining() < 1) return false;
        v = static_cast<std::uint8_t>(body_[pos_++]);
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (remaining() < 2) return false;
        v = static_cast<std::uint16_t>(byte(0) | (byte(1) << 8));
        pos_ += 2;
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (remaining() < 4) return false;
        v = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
        pos_ += 4;
        return true;
    }
    // The rest of the body.
    std::string_view rest() {
        std::string_view r = body_.substr(pos_);
        pos_ = body_.size();
        return r;
    }
    std::size_t remaining() const { return body_.size() - pos_; }

  private:
    std::uint32_t byte(std::size_t i) const { return static_cast<std::uint8_t>(body_[pos_ + i]); }
    std::string_view body_;
    std::size_t pos_ = 0;
};

}  // namespace zdx::benchwire
