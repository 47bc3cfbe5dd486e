// The calibrators' ID list: the project's IDs, and a site's IDs from a file
// and from the environment, with malformed entries reported and skipped.
#include "calibrator_ids.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zdx::linuxusb {
namespace {

// What a parse wrote to its message stream.
class Messages {
  public:
    Messages() : file_(std::tmpfile()) {}
    ~Messages() { std::fclose(file_); }
    std::FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string all;
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, file_)) all += chunk;
        return all;
    }

  private:
    std::FILE* file_;
};

TEST(CalibratorIds, PairsInHexWithOrWithoutPrefix) {
    UsbId id{};
    ASSERT_TRUE(parse_id("1209:0270", id));
    EXPECT_EQ(id, (UsbId{0x1209, 0x0270}));
    ASSERT_TRUE(parse_id(" 0xABcd : 0x1 ", id));
    EXPECT_EQ(id, (UsbId{0xABCD, 0x0001}));
    for (const char* bad : {"", "1209", "1209:", ":0270", "12090:1", "1209:0270:1", "g209:0270",
                            "0x:1", "-1:2", "1209 0270"}) {
        EXPECT_FALSE(parse_id(bad, id)) << bad;
    }
}

TEST(CalibratorIds, FileLinesWithCommentsAndMalformedLines) {
    Messages messages;
    const auto ids =
        parse_id_file("# site IDs\n\nabcd:0001  # bench 3\nnonsense\r\n1234:5678\n12345:1\n",
                      "site.conf", messages.file());
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0], (UsbId{0xABCD, 0x0001}));
    EXPECT_EQ(ids[1], (UsbId{0x1234, 0x5678}));
    const std::string text = messages.text();
    EXPECT_NE(text.find("site.conf:4:"), std::string::npos) << text;
    EXPECT_NE(text.find("\"nonsense\""), std::string::npos) << text;
    EXPECT_NE(text.find("site.conf:6:"), std::string::npos) << text;
    EXPECT_EQ(text.find("site.conf:3:"), std::string::npos) << text;
}

TEST(CalibratorIds, EnvironmentListSeparatedByCommasOrBlanks) {
    Messages messages;
    const auto ids = parse_id_list("1:2, 3:4 bad,,5:6", "ZDXUSBCAL_USB_IDS", messages.file());
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[2], (UsbId{5, 6}));
    EXPECT_NE(messages.text().find("\"bad\""), std::string::npos);
}

TEST(CalibratorIds, OverlongMalformedLineIsReportedCut) {
    Messages messages;
    const std::string line(5000, 'z');
    EXPECT_TRUE(parse_id_file(line, "f", messages.file()).empty());
    EXPECT_LT(messages.text().size(), 300u);
}

TEST(CalibratorIds, ProjectListComesFirstAndSiteIdsAreAdded) {
    ::setenv("ZDXUSBCAL_USB_IDS_FILE", "/nonexistent/usb-ids.conf", 1);
    ::setenv("ZDXUSBCAL_USB_IDS", "4321:8765", 1);
    Messages messages;
    const auto ids = load_calibrator_ids(messages.file());
    ASSERT_GE(ids.size(), project_ids().size() + 1);
    for (std::size_t i = 0; i < project_ids().size(); ++i) EXPECT_EQ(ids[i], project_ids()[i]);
    EXPECT_TRUE(is_calibrator(ids, 0x4321, 0x8765));
    EXPECT_TRUE(is_calibrator(ids, 0x1209, 0x0270));
    EXPECT_FALSE(is_calibrator(ids, 0x8765, 0x4321));
    // A file the site named but that cannot be read is reported.
    EXPECT_NE(messages.text().find("/nonexistent/usb-ids.conf"), std::string::npos);
}

}  // namespace
}  // namespace zdx::linuxusb
