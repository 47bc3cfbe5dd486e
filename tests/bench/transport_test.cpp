// The bench's transports without a process: answer faults, descriptors,
// the answer queue of a USB device, parallel-port registers, the log.
#include <gtest/gtest.h>

#include "parallel_ports.h"
#include "q610_model.h"
#include "traffic_log.h"
#include "usb_device.h"

namespace zdx::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::string stringRequest(std::uint8_t index) {
    std::string r(267, '\0');
    r[6] = static_cast<char>(index);
    r[7] = 3;
    r[10] = static_cast<char>(255);
    return r;
}

TEST(AnswerFaults, ShapeTheAnswerAsDocumented) {
    const std::optional<std::string> a = std::string("1\r\n");
    EXPECT_EQ(shapeAnswer({}, a).bytes, "1\r\n");
    EXPECT_TRUE(shapeAnswer({Fault::Silent}, a).bytes.empty());
    EXPECT_TRUE(shapeAnswer({}, std::nullopt).bytes.empty());
    EXPECT_EQ(shapeAnswer({Fault::NoLineFeed}, a).bytes, "1\r");
    EXPECT_EQ(shapeAnswer({Fault::Overlong}, a).bytes.size(), 202u);
    EXPECT_EQ(shapeAnswer({Fault::Garbage}, a).bytes.back(), '\n');
    EXPECT_GT(shapeAnswer({Fault::Late}, a).delay, std::chrono::milliseconds(100));
    for (const auto& name : allFaultNames()) EXPECT_EQ(faultName(*faultFromName(name)), name);
    EXPECT_FALSE(faultFromName("bogus"));
}

TEST(UsbDeviceDescriptors, BareAndFaultyStringForms) {
    UsbDevice d("SER1", std::make_unique<Q610Model>());
    d.setString(6, "ID");
    auto dd = d.deviceDescriptor();
    ASSERT_TRUE(dd);
    ASSERT_EQ(dd->size(), 18u);
    EXPECT_EQ((*dd)[16], 3);

    auto s = d.stringDescriptor(stringRequest(3));
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, std::string("\x0a\x03S\0E\0R\0"
                              "1\0",
                              10));
    EXPECT_FALSE(d.stringDescriptor(stringRequest(7)));
    EXPECT_FALSE(d.stringDescriptor("short"));

    d.faults() = {Fault::OddDescriptor};
    s = d.stringDescriptor(stringRequest(6));
    EXPECT_EQ(s->size(), 7u);
    EXPECT_EQ(static_cast<std::uint8_t>((*s)[0]), 7);
    // The serial number stays readable, or the device would vanish from discovery.
    EXPECT_EQ(d.stringDescriptor(stringRequest(3))->size(), 10u);

    d.faults() = {Fault::MismatchedDescriptor};
    s = d.stringDescriptor(stringRequest(6));
    EXPECT_EQ(static_cast<std::uint8_t>((*s)[0]) + 2u, s->size());

    d.faults() = {Fault::HeaderForm};
    s = d.stringDescriptor(stringRequest(3));
    ASSERT_EQ(s->size(), 22u);
    EXPECT_EQ((*s)[12], 10);
    EXPECT_EQ((*s)[13], 3);

    d.faults() = {Fault::RefuseStrings};
    EXPECT_FALSE(d.stringDescriptor(stringRequest(6)));
    EXPECT_TRUE(d.stringDescriptor(stringRequest(3)));
    d.faults() = {Fault::RefuseRequests};
    EXPECT_FALSE(d.deviceDescriptor());
}

TEST(UsbDeviceDescriptors, LongSerialIsCutInTheDescriptorButNotInThePath) {
    const std::string serial(300, 'S');
    UsbDevice d(serial, std::make_unique<Q610Model>());
    auto s = d.stringDescriptor(stringRequest(3));
    EXPECT_EQ(static_cast<std::uint8_t>((*s)[0]), 254);
    EXPECT_EQ(s->size(), 254u);
    EXPECT_GT(d.path().size(), 255u);
    EXPECT_NE(d.path().find(serial), std::string::npos);
}

TEST(UsbDeviceAnswers, LinesAreSplitAndLateAnswersWait) {
    TrafficLog log;
    UsbDevice d("Q", std::make_unique<Q610Model>(true));
    const auto t0 = Clock::now();
    d.writeCommand("PAP 1\nPAP", log, t0);
    EXPECT_EQ(d.takeAnswer(100, t0), "1\r\n");
    d.writeCommand(" 2\n", log, t0);
    EXPECT_EQ(d.takeAnswer(2, t0), "1\r");
    EXPECT_EQ(d.takeAnswer(100, t0), "\n");
    EXPECT_EQ(d.takeAnswer(100, t0), "");

    d.faults() = {Fault::Late};
    d.writeCommand("PAP 3\n", log, t0);
    EXPECT_EQ(d.takeAnswer(100, t0 + std::chrono::milliseconds(100)), "");
    ASSERT_TRUE(d.nextDue());
    EXPECT_EQ(d.takeAnswer(100, *d.nextDue()), "1\r\n");

    d.faults().clear();
    d.writeCommand("PAP 4\n", log, t0);
    d.setPlugged(false);
    EXPECT_EQ(d.takeAnswer(100, t0), "");
    EXPECT_EQ(log.entries().size(), 8u);
    EXPECT_EQ(log.entries()[0].line, "PAP 1");
    EXPECT_EQ(log.entries()[1].direction, "out");
}

TEST(ParallelPorts, PresentPortReadsBackAbsentPortFloats) {
    TrafficLog log;
    ParallelPorts p;
    p.setPort(0, std::make_unique<LptPort>(true, std::make_unique<Q610Model>(true)));
    p.setPort(1, std::make_unique<LptPort>(false, nullptr));
    p.out(0x378, 0x41, log);
    EXPECT_EQ(p.in(0x378), 0x41);
    EXPECT_EQ(p.in(0x379), 0x5F);
    EXPECT_EQ(p.in(0x37A), 0xCC);
    EXPECT_EQ(p.port(0)->q610()->outputByte(), 0x41);
    p.port(0)->q610()->setRemote(false);
    EXPECT_EQ(p.in(0x379), 0x4F);
    p.out(0x278, 0x41, log);
    EXPECT_EQ(p.in(0x278), 0xFF);
    EXPECT_EQ(p.in(0x279), 0xFF);
    EXPECT_EQ(p.in(0x300), 0xFF);
    p.out(0x77A, 0x20, log);
    EXPECT_EQ(p.in(0x77A), 0x20);
    ASSERT_EQ(log.entries().size(), 3u);
    EXPECT_EQ(log.entries()[0].device, "LPT1");
    EXPECT_EQ(log.entries()[0].line, "data=0x41");
}

TEST(ParallelPorts, DriverRequestsFollowTheDriverState) {
    ParallelPorts p;
    std::string open(16, '\0');
    open[0] = 50;
    open[4] = 0x78;
    open[5] = 0x03;
    open[8] = 0x7F;
    open[9] = 0x03;
    EXPECT_TRUE(p.portAccess(open));
    EXPECT_FALSE(p.portAccess(open.substr(0, 12)));
    std::string other = open;
    other[0] = 51;
    EXPECT_FALSE(p.portAccess(other));
    p.setDriver(PortDriver::Refusing);
    EXPECT_FALSE(p.portAccess(open));
}

TEST(TrafficLogFormat, EscapesControlBytesAndParsesBack) {
    TrafficLog log;
    log.addLine("KX1", "in",
                std::string("\x12"
                            "CIO 4\r\n"));
    log.addLine("KX1", "out", std::string("a\\b\xff\n"));
    EXPECT_EQ(log.entries()[0].line, "\\x12CIO 4");
    EXPECT_EQ(log.entries()[1].line, "a\\\\b\\xFF");
    std::string text = log.format();
    LogEntry e;
    ASSERT_TRUE(TrafficLog::parseEntry(text.substr(0, text.find('\n')), e));
    EXPECT_EQ(e.device, "KX1");
    EXPECT_EQ(e.direction, "in");
    EXPECT_EQ(e.line, "\\x12CIO 4");
    EXPECT_FALSE(TrafficLog::parseEntry("garbage", e));
}

}  // namespace
}  // namespace zdx::bench
