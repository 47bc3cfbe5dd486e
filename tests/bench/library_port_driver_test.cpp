// What the library asks of the port I/O driver, as the bench's log shows it:
// which handle, which ranges in which order, and the handle an open replaces.
// Its own process: the driver handle lives as long as the library binding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench_session.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

using bench::BenchSession;

class PortDriverLog {
  public:
    explicit PortDriverLog(BenchSession& bench) : bench_(bench) {}

    // The driver's entries since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> lines = bench_.linesTo("PORTIO");
        bench_.clearTraffic();
        return lines;
    }
    // The handle of the one open among `lines`, or "" when there is none.
    static std::string openedHandle(const std::vector<std::string>& lines) {
        std::string handle;
        for (const std::string& line : lines) {
            if (line.rfind("open handle=", 0) == 0) {
                EXPECT_TRUE(handle.empty()) << "two opens";
                handle = line.substr(12);
            }
        }
        return handle;
    }

  private:
    BenchSession& bench_;
};

using Lines = std::vector<std::string>;

TEST(LibraryPortDriver, RangesHandlesAndTheirReplacement) {
    BenchSession session(R"({"lpt": [{"port": 1, "device": "Q610"}, {"port": 2}]})");
    session.exportEnvironment();
    ZdxLibrary lib;
    PortDriverLog log(session);

    // Closing before any open: no handle, so no request at all.
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_REFUSED);
    EXPECT_TRUE(log.take().empty());

    ASSERT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    Lines first = log.take();
    const std::string h1 = PortDriverLog::openedHandle(first);
    ASSERT_FALSE(h1.empty());
    EXPECT_EQ(first, (Lines{"open handle=" + h1, "handle=" + h1 + " open 0x378-0x37F granted",
                            "handle=" + h1 + " open 0x77A-0x77A granted"}));

    // A second open takes a new handle and closes the one it replaces.
    ASSERT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), 0);
    Lines second = log.take();
    const std::string h2 = PortDriverLog::openedHandle(second);
    ASSERT_FALSE(h2.empty());
    EXPECT_NE(h2, h1);
    EXPECT_EQ(second, (Lines{"open handle=" + h2, "close handle=" + h1,
                             "handle=" + h2 + " open 0x278-0x27F granted",
                             "handle=" + h2 + " open 0x67A-0x67A granted"}));

    // Closing access uses the kept handle, same ranges, same order.
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2), 0);
    EXPECT_EQ(log.take(), (Lines{"handle=" + h2 + " close 0x278-0x27F granted",
                                 "handle=" + h2 + " close 0x67A-0x67A granted"}));

    // A port number other than 0 or 1 reaches no driver.
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, 2), ZDXUSBCAL_LPT_BAD_PORT);
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
    EXPECT_TRUE(log.take().empty());

    // A refused first range: the second is not asked for, and no port is open.
    session.loadScenario(R"({"port_driver": "refusing"})");
    log.take();
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_REFUSED);
    Lines refused = log.take();
    const std::string h3 = PortDriverLog::openedHandle(refused);
    ASSERT_FALSE(h3.empty());
    EXPECT_EQ(refused, (Lines{"open handle=" + h3, "close handle=" + h2,
                              "handle=" + h3 + " open 0x378-0x37F refused"}));
    int value = 0x41;
    EXPECT_EQ(lib.calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);

    // A driver that is gone: the open fails and the handle kept from before
    // stays (it is what a close then uses).
    session.loadScenario(R"({"port_driver": "missing"})");
    log.take();
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_NO_DRIVER);
    EXPECT_EQ(log.take(), Lines{"open refused: no driver"});
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_REFUSED);
    EXPECT_EQ(log.take(), Lines{"handle=" + h3 + " close 0x378-0x37F refused"});

    // Outside the NT family the driver is never asked.
    session.loadScenario(R"({"os_family": "other", "port_driver": "present"})");
    log.take();
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    EXPECT_TRUE(log.take().empty());
}

}  // namespace
}  // namespace zdx::testing
