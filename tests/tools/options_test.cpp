// The tool's one option reader: what every command's arguments go through.
#include <gtest/gtest.h>

#include "options.h"

namespace {

using zdxtool::Options;

const std::vector<std::string> kFlags = {"--json", "--no-archive"};
const std::vector<std::string> kValued = {"-o|--output", "--serial"};

TEST(OptionsTest, ReadsFlagsValuesInBothSpellingsAndPositionalsInOrder) {
    const Options o({"A", "--json", "-o", "f.json", "B", "--serial=Q270S9-1"}, kFlags, kValued);
    EXPECT_EQ(o.error(), "");
    EXPECT_TRUE(o.flag("--json"));
    EXPECT_FALSE(o.flag("--no-archive"));
    EXPECT_EQ(o.value("--output"), "f.json");
    EXPECT_EQ(o.value("-o"), "f.json");
    EXPECT_EQ(o.value("--serial"), "Q270S9-1");
    EXPECT_EQ(o.positionals(), (std::vector<std::string>{"A", "B"}));
}

TEST(OptionsTest, AfterTheEndOfOptionsEverythingIsPositional) {
    // A serial number may start with "-".
    const Options o({"--json", "--", "-SERIAL", "--serial"}, kFlags, kValued);
    EXPECT_EQ(o.error(), "");
    EXPECT_TRUE(o.flag("--json"));
    EXPECT_FALSE(o.value("--serial"));
    EXPECT_EQ(o.positionals(), (std::vector<std::string>{"-SERIAL", "--serial"}));
    // A lone "-" is an argument too.
    EXPECT_EQ(Options({"-"}, kFlags, kValued).positionals(), std::vector<std::string>{"-"});
}

TEST(OptionsTest, SaysWhatWasWrongFirst) {
    EXPECT_EQ(Options({"--fast"}, kFlags, kValued).error(), "unknown option \"--fast\"");
    EXPECT_EQ(Options({"--serial"}, kFlags, kValued).error(), "--serial needs a value");
    EXPECT_EQ(Options({"-o", "a", "--output", "b"}, kFlags, kValued).error(),
              "--output given twice");
    EXPECT_EQ(Options({"--json", "--json"}, kFlags, kValued).error(), "--json given twice");
    EXPECT_EQ(Options({"--json=yes", "--fast"}, kFlags, kValued).error(), "--json takes no value");
    // The value of a valued option is taken whatever it looks like.
    EXPECT_EQ(Options({"-o", "--json"}, kFlags, kValued).value("-o"), "--json");
}

}  // namespace
