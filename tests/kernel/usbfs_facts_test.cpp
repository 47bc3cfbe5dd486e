// What the kernel's USB stack does on its own, seen through libusb as the
// library's linux backend sees it, against gadget calibrators: the answers
// that the umockdev model of tests/linux must give too; and an interface
// held by another open file, through the library.
#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "gadget_process.h"

namespace zdx::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned char kCommand[] = "K1A1,5,2,0\n";
constexpr int kCommandBytes = sizeof kCommand - 1;

struct OpenGadget {
    libusb_device_handle* handle = nullptr;
    std::uint8_t in = 0, out = 0;
};

class UsbfsFacts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(libusb_init(&context_), 0); }
    static void TearDownTestSuite() { libusb_exit(context_); }
    void TearDown() override { close(); }

    void close() {
        if (open_.handle == nullptr) return;
        libusb_release_interface(open_.handle, 0);
        libusb_close(open_.handle);
        open_ = {};
    }

    // Opens the gadget with this serial (waiting until the host has it) and
    // claims its interface.
    OpenGadget& open(const std::string& serial) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline && (open_.handle = find(serial)) == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (open_.handle == nullptr) throw std::runtime_error("no gadget " + serial);
        libusb_config_descriptor* config = nullptr;
        libusb_get_active_config_descriptor(libusb_get_device(open_.handle), &config);
        const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const std::uint8_t address = setting.endpoint[e].bEndpointAddress;
            (address & LIBUSB_ENDPOINT_IN ? open_.in : open_.out) = address;
        }
        libusb_free_config_descriptor(config);
        if (libusb_claim_interface(open_.handle, 0) != 0) throw std::runtime_error("claim");
        return open_;
    }

    static int bulk(libusb_device_handle* h, std::uint8_t endpoint, unsigned char* data, int size,
                    int* done, unsigned ms) {
        return libusb_bulk_transfer(h, endpoint, data, size, done, ms);
    }

  private:
    static libusb_device_handle* find(const std::string& serial) {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_, &list);
        libusb_device_handle* found = nullptr;
        for (ssize_t i = 0; i < n && found == nullptr; ++i) {
            libusb_device_descriptor d{};
            libusb_get_device_descriptor(list[i], &d);
            libusb_device_handle* h = nullptr;
            if (d.idVendor != 0x1209 || libusb_open(list[i], &h) != 0) continue;
            unsigned char text[64] = {};
            if (libusb_get_string_descriptor_ascii(h, d.iSerialNumber, text, sizeof text) > 0 &&
                serial == reinterpret_cast<char*>(text)) {
                found = h;
            } else {
                libusb_close(h);
            }
        }
        libusb_free_device_list(list, 1);
        return found;
    }

    static libusb_context* context_;
    OpenGadget open_;
};
libusb_context* UsbfsFacts::context_ = nullptr;

TEST_F(UsbfsFacts, EndpointsGetOtherAddressesThanTheFunctionAsked) {
    GadgetProcess gadget("Q270", "EP");
    const OpenGadget& g = open("EP");
    // The function asked for 0x01 (OUT) and 0x82 (IN).
    EXPECT_EQ(g.out, 0x02);
    EXPECT_EQ(g.in, 0x81);
}

TEST_F(UsbfsFacts, ReadWithNothingToReadTimesOut) {
    GadgetProcess gadget("Q270", "IDLE");
    const OpenGadget& g = open("IDLE");
    unsigned char buffer[64];
    int got = -1;
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 50), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(got, 0);
}

TEST_F(UsbfsFacts, HaltedEndpointStallsUntilTheHostClearsIt) {
    GadgetProcess gadget("Q270", "HALTED", {"halt"});
    const OpenGadget& g = open("HALTED");
    unsigned char command[kCommandBytes];
    std::memcpy(command, kCommand, kCommandBytes);
    int done = 0;
    ASSERT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 1000), 0);
    unsigned char buffer[64] = {};
    int got = 0;
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 1000), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 200), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(libusb_clear_halt(g.handle, g.in), 0);
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 1000), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "0\r\n");
}

TEST_F(UsbfsFacts, AnswerNotReadInTimeStaysForTheNextRead) {
    GadgetProcess gadget("Q270", "LATER", {"late"});
    const OpenGadget& g = open("LATER");
    unsigned char command[kCommandBytes];
    std::memcpy(command, kCommand, kCommandBytes);
    int done = 0;
    ASSERT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 1000), 0);
    unsigned char buffer[64] = {};
    int got = -1;
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 100), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(got, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(bulk(g.handle, g.in, buffer, sizeof buffer, &got, 100), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "0\r\n");
}

// A transfer ends at a short packet: an answer that fills its last packet
// ends the host's read only with a zero-length packet after it; without one
// the read waits for more until its time-out.
TEST_F(UsbfsFacts, AnswerFillingItsPacketEndsOnlyWithAZeroLengthPacket) {
    GadgetProcess ended("Q270", "ZLP", {"full_packet"});
    GadgetProcess unended("Q270", "NOZLP", {"full_packet", "no_zlp"});
    unsigned char command[kCommandBytes];
    std::memcpy(command, kCommand, kCommandBytes);
    std::vector<unsigned char> buffer(16384);
    int done = 0, got = -1;
    for (const char* serial : {"ZLP", "NOZLP"}) {
        const OpenGadget& g = open(serial);
        ASSERT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 1000), 0);
        const auto start = Clock::now();
        const int result =
            bulk(g.handle, g.in, buffer.data(), static_cast<int>(buffer.size()), &got, 1500);
        const auto took = Clock::now() - start;
        EXPECT_EQ(got, 512) << serial;
        if (std::string(serial) == "ZLP") {
            EXPECT_EQ(result, 0);
            EXPECT_LT(took, std::chrono::milliseconds(1000));
        } else {
            EXPECT_EQ(result, LIBUSB_ERROR_TIMEOUT);
            EXPECT_GE(took, std::chrono::milliseconds(1500));
        }
        close();
    }
}

// An interface that another open file holds (here this test's own libusb)
// is busy for every other claim: the library reaches no pipe and sends nothing.
TEST_F(UsbfsFacts, InterfaceHeldElsewhereIsBusyForTheLibrary) {
    GadgetProcess gadget("Q270", "HELD");
    open("HELD");
    ZdxLibrary library;
    const Exchange e = exchange(library, "HELD", "K1A1,5,2,0");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    EXPECT_EQ(e.buffer, "K1A1,5,2,0");
}

TEST_F(UsbfsFacts, DeviceThatTakesNothingLetsTheWriteTimeOut) {
    GadgetProcess gadget("Q270", "DEAFER", {"deaf"});
    const OpenGadget& g = open("DEAFER");
    unsigned char command[kCommandBytes];
    std::memcpy(command, kCommand, kCommandBytes);
    int done = -1;
    EXPECT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 40), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(done, 0);
}

TEST_F(UsbfsFacts, DeviceLeavingDuringARead) {
    GadgetProcess gadget("Q270", "LEAVER", {"drop"});
    const OpenGadget& g = open("LEAVER");
    // The read waits in the kernel before the command goes out; the device
    // leaves 50 ms after taking the command.
    unsigned char buffer[64] = {};
    int got = -1, read = 0;
    std::thread reader([&] { read = bulk(g.handle, g.in, buffer, sizeof buffer, &got, 3000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    unsigned char command[kCommandBytes];
    std::memcpy(command, kCommand, kCommandBytes);
    int done = 0;
    EXPECT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 1000), 0);
    reader.join();
    // The read in flight ends with a transfer error (EPROTO) or as flushed
    // with the device ("no device"), depending on the moment: both happen.
    EXPECT_TRUE(read == LIBUSB_ERROR_IO || read == LIBUSB_ERROR_NO_DEVICE) << read;
    EXPECT_EQ(got, 0);
    // Once the kernel has taken the device away, the handle says so.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(bulk(g.handle, g.out, command, kCommandBytes, &done, 40), LIBUSB_ERROR_NO_DEVICE);
}

}  // namespace
}  // namespace zdx::testing
