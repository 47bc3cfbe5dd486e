// The Q270's output divider: twenty 120-ohm resistors R97..R116 in series
// across the excitation voltage, each with its own deviation and optionally a
// trim resistor soldered across it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zdx::bench {

inline constexpr int kDividerResistors = 20;
inline constexpr int kFirstResistor = 97;  // R97 .. R116
inline constexpr int kLastResistor = kFirstResistor + kDividerResistors - 1;
inline constexpr double kNominalOhm = 120.0;

// Index 0 is R97, index 19 R116.
struct DividerConfig {
    std::array<double, kDividerResistors> deviationsPpm{};
    std::array<std::optional<double>, kDividerResistors> trimsOhm{};
    double excitationV = 5.0;
};

// "R97" .. "R116" -> 97 .. 116; 0 for any other text.
int resistorNumber(const std::string& name);

// Deviations drawn evenly from -spreadPpm .. +spreadPpm, R97 first.
std::array<double, kDividerResistors> spreadDeviations(double spreadPpm, std::uint64_t seed);

class Divider {
  public:
    explicit Divider(DividerConfig config = {}) : config_(config) {}

    static bool isResistor(int number) {
        return number >= kFirstResistor && number <= kLastResistor;
    }

    // Resistor numbers outside R97..R116 give 0 and no trim.
    double deviationPpm(int number) const;
    std::optional<double> trimOhm(int number) const;
    // A trim is a positive resistance; false (and no change) otherwise or for
    // a number outside R97..R116. nullopt removes the trim.
    bool setTrim(int number, std::optional<double> ohm);
    void removeAllTrims() { config_.trimsOhm = {}; }
    double excitationV() const { return config_.excitationV; }

    // The resistor with its trim in parallel.
    double resistanceOhm(int number) const;
    double totalOhm() const;
    // The voltage across one resistor; 0 for a number outside R97..R116 (no
    // resistor selected: the output is short-circuited).
    double voltsAcross(int number) const;

  private:
    DividerConfig config_;
};

}  // namespace zdx::bench
