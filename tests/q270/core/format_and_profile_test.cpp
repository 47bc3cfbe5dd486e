// Pattern formatting, range tables, device profiles and the labels built from them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device_profile.h"
#include "pattern_format.h"

namespace q270 {
namespace {

TEST(PatternFormat, PlaceholdersLiteralsAndSeparator) {
    EXPECT_EQ(formatPattern(1.0, " ###0.0"), " 1.0");
    EXPECT_EQ(formatPattern(0.0, " ###0.0"), " 0.0");
    EXPECT_EQ(formatPattern(1234.56, " ###0.0"), " 1234.6");
    EXPECT_EQ(formatPattern(123456.0, " ###0.0"), " 123456.0");
    EXPECT_EQ(formatPattern(0.5, " ###0.00"), " 0.50");
    EXPECT_EQ(formatPattern(0.5, " #0.0"), " 0.5");
    EXPECT_EQ(formatPattern(-1.0, " ###0.0"), " -1.0");
    EXPECT_EQ(formatPattern(-0.04, " ###0.0"), " 0.0");
    EXPECT_EQ(formatPattern(0.25, "#0.0 ppm"), "0.3 ppm");  // halves away from zero
    EXPECT_EQ(formatPattern(-0.25, "#0.0 ppm"), "-0.3 ppm");
    EXPECT_EQ(formatPattern(0.12345678, "##0.0000000"), "0.1234568");
    EXPECT_EQ(formatPattern(2.5, "##0.0000000", ','), "2,5000000");
    EXPECT_EQ(formatPattern(0.5, "#.##"), ".5");
    EXPECT_EQ(formatPattern(7.0, "0.0#"), "7.0");
    EXPECT_EQ(formatPattern(7.125, "0.0#"), "7.13");
    EXPECT_EQ(formatPattern(3.0, "000"), "003");
    EXPECT_EQ(formatPattern(std::numeric_limits<double>::quiet_NaN(), "#0.0 ppm"), "NaN ppm");
    EXPECT_FALSE(formatPattern(1e300, "##0.0000000").empty());
}

// Rounding works on the value's exact digits: no scaling that overflows or
// that lifts a value just below a half over it.
TEST(PatternFormat, EveryFiniteValueShowsItsOwnDigits) {
    const std::string big = formatPattern(1e302, "##0.0000000");
    EXPECT_EQ(big.size(), 303u + 8u) << big;
    EXPECT_EQ(big.rfind("10000000000000000", 0), 0u) << big;
    EXPECT_EQ(big.substr(big.size() - 8), ".0000000");
    EXPECT_EQ(formatPattern(-1.7976931348623157e308, "0").size(), 310u);
    EXPECT_EQ(formatPattern(1.0, "0." + std::string(300, '0')), "1." + std::string(300, '0'));
    EXPECT_EQ(formatPattern(0.49999999999999994, "0"), "0");
    EXPECT_EQ(formatPattern(0.5, "0"), "1");
    EXPECT_EQ(formatPattern(2.5, "0"), "3");
    EXPECT_EQ(formatPattern(-2.5, "0"), "-3");
    EXPECT_EQ(formatPattern(9.995, "0.00"), "9.99");  // 9.99499999999999957...
    EXPECT_EQ(formatPattern(9.9951, "0.00"), "10.00");
    EXPECT_EQ(formatPattern(4.9e-324, "0.0"), "0.0");
    EXPECT_EQ(formatPattern(5e-324, std::string("0.") + std::string(323, '0') + "#"),
              "0." + std::string(323, '0') + "5");
}

TEST(DeviceProfile, RangeTablesFromId) {
    EXPECT_EQ(defaultRangeTable(), (RangeValues{0, 2, 5, 10, 20, 100, 1000}));
    EXPECT_EQ(rangeTableFor("Q270S6"), (RangeValues{0, 1, 50, 200, 500, 1000, 1000}));
    EXPECT_EQ(rangeTableFor("Q270S8 x"), (RangeValues{0, 1, 2, 5, 10, 20, 1000}));
    EXPECT_EQ(rangeTableFor("Q270S9"), (RangeValues{0, 555, 1, 2, 5, 10, 1000}));
    EXPECT_EQ(rangeTableFor("Q270S10ABC"), (RangeValues{0, 1, 2, 5, 10, 100, 1000}));
    EXPECT_EQ(rangeTableFor("Q270S7"), defaultRangeTable());
    EXPECT_EQ(rangeTableFor("Q270S"), defaultRangeTable());
    EXPECT_EQ(rangeTableFor("Q270H9"), defaultRangeTable());
    EXPECT_EQ(rangeTableFor("Q270S99999999999999"), defaultRangeTable());  // only chars 6..10
    EXPECT_EQ(channelMaximumFor("TV560-2"), 15);
    EXPECT_EQ(channelMaximumFor("TV56"), 8);
    EXPECT_EQ(channelMaximumFor(""), 8);
}

TEST(DeviceProfile, RangeAndPercentLabels) {
    ProgramState s;
    s.RangeTable = defaultRangeTable();
    EXPECT_EQ(rangeLabelText(s.RangeTable, 1), "Range 2 mV/V");
    EXPECT_EQ(rangeLabelText(s.RangeTable, 4), "Range 20 mV/V");
    EXPECT_EQ(fullScaleOf(s.RangeTable, 0), 0.0);
    EXPECT_EQ(fullScaleOf(s.RangeTable, 7), 0.0);
    s.FullScale = 2;
    s.SelPercent = 5;
    EXPECT_EQ(percentLabelText(s, false, '.'), "+50 % =  1.0 mV/V");
    EXPECT_EQ(percentLabelText(s, true, '.'), "-50 % =  -1.0 mV/V");
    s.FullScale = 0;
    EXPECT_EQ(percentLabelText(s, false, '.'), "+50 % =  0.0 mV/V");

    s.RangeTable = rangeTableFor("Q270S9");
    EXPECT_EQ(rangeLabelText(s.RangeTable, 1), "Range  0.5 mV/V");
    EXPECT_EQ(rangeLabelText(s.RangeTable, 1, ','), "Range  0,5 mV/V");
    s.FullScale = fullScaleOf(s.RangeTable, 1);
    s.SelPercent = 10;
    EXPECT_EQ(percentLabelText(s, false, '.'), "+100 % =  0.50 mV/V");
    s.FullScale = fullScaleOf(s.RangeTable, 6);
    EXPECT_EQ(percentLabelText(s, false, ','), "+100 % =  1000,00 mV/V");
}

TEST(DeviceProfile, SerialAnswerCleanUp) {
    EXPECT_EQ(cleanSerialIdentification("\"Q270S9\"\r\n"), "Q270S9");
    EXPECT_EQ(cleanSerialIdentification("\"AB\"\r\n"), "AB\r\n");  // 4 left after the quotes
    EXPECT_EQ(cleanSerialIdentification("12\r\n"), "12\r\n");      // 4 characters stay whole
    EXPECT_EQ(cleanSerialIdentification(""), "");
    EXPECT_EQ(firstPointToComma("1.2.3\n"), "1,2.3\n");
    EXPECT_EQ(firstPointToComma("12\n"), "12\n");
}

}  // namespace
}  // namespace q270
