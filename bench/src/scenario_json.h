// Reading scenario JSON: typed keys with defaults, refused unknown keys, and
// one exception type for every mistake, caught where the scenario is parsed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace zdx::bench::scenario_json {

using nlohmann::json;

[[noreturn]] inline void fail(const std::string& message) {
    throw std::runtime_error(message);
}

// A whole number that T holds: a fraction, or a number beyond T, is refused
// rather than cast (a COM number of 1e30 or 4294967297 is no COM1).
template <typename T>
T wholeNumber(const json& value, const std::string& what) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (std::in_range<T>(n)) return static_cast<T>(n);
    } else if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (std::in_range<T>(n)) return static_cast<T>(n);
    } else {
        fail(what + " must be a whole number");
    }
    fail(what + " is out of range");
}

template <typename T>
T get(const json& j, const char* key, T fallback) {
    if (!j.contains(key)) return fallback;
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>)
        return wholeNumber<T>(j.at(key), std::string("\"") + key + "\"");
    try {
        return j.at(key).get<T>();
    } catch (const json::exception&) {
        fail(std::string("\"") + key + "\" has the wrong type");
    }
}

inline void checkKeys(const json& j, std::initializer_list<const char*> allowed, const char* what) {
    if (!j.is_object()) fail(std::string(what) + " must be an object");
    for (const auto& item : j.items()) {
        bool known = false;
        for (const char* k : allowed) known = known || item.key() == k;
        if (!known) fail(std::string(what) + ": unknown key \"" + item.key() + "\"");
    }
}

inline const json& arrayOf(const json& j, const char* key) {
    static const json kEmpty = json::array();
    if (!j.contains(key)) return kEmpty;
    if (!j.at(key).is_array()) fail(std::string("\"") + key + "\" must be an array");
    return j.at(key);
}

}  // namespace zdx::bench::scenario_json
