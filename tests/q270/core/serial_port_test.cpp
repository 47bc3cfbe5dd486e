// Line settings texts and the mapping of COM port numbers to devices.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>

#include "serial_port.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace q270 {
namespace {

TEST(SerialPort, LineSettingsText) {
    const auto calibrator = parseLineSettings("9600,E,8,1");
    ASSERT_TRUE(calibrator.has_value());
    EXPECT_EQ(calibrator->baud, 9600);
    EXPECT_EQ(calibrator->parity, QSerialPort::EvenParity);
    EXPECT_EQ(calibrator->dataBits, QSerialPort::Data8);
    EXPECT_EQ(calibrator->stopBits, QSerialPort::OneStop);
    EXPECT_EQ(parseLineSettings("19200,n,7,2")->parity, QSerialPort::NoParity);
    EXPECT_FALSE(parseLineSettings("9600,E,8").has_value());
    EXPECT_FALSE(parseLineSettings("fast,E,8,1").has_value());
    EXPECT_FALSE(parseLineSettings("9600,X,8,1").has_value());
    EXPECT_FALSE(parseLineSettings("9600,E,9,1").has_value());
    EXPECT_FALSE(parseLineSettings("9600,E,8,3").has_value());
}

TEST(SerialPort, ComPortMappingAndClosedPort) {
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    QSettings("ZDX", "ZDXKalQ270").setValue("Ports/COM4", "/dev/ttyUSB7");
    qputenv("ZDX_COM3", "/dev/pts/42");
    SerialPort port(QStringLiteral("ZDXKalQ270"));
    EXPECT_EQ(port.deviceName(3), "/dev/pts/42");   // environment first
    EXPECT_EQ(port.deviceName(4), "/dev/ttyUSB7");  // then the settings store
#ifndef Q_OS_WIN
    EXPECT_EQ(port.deviceName(5), "/dev/ttyS4");
#endif
    qunsetenv("ZDX_COM3");

    // A port that cannot be opened stays closed and answers nothing.
    qputenv("ZDX_COM9", "/nonexistent/tty");
    port.setPortNumber(9);
    const QString beforeOpen = port.errorString();
    port.setOpen(true);
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.errorString(), beforeOpen);  // the port's reason stays readable
    port.writeText("K1A0,0,1,0\n");
    EXPECT_EQ(port.waitingCount(), 0);
    EXPECT_EQ(port.readWaiting(), "");
    EXPECT_FALSE(port.waitForData(10));
    qunsetenv("ZDX_COM9");
}

#ifndef Q_OS_WIN
// The master side of a pseudo-terminal, whose terminal side a SerialPort opens.
struct Terminal {
    Terminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            qputenv("ZDX_COM6", ::ptsname(master));
    }
    ~Terminal() { hangUp(); }
    void hangUp() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    int master;
};

// A silent device is no lost port; a hung-up one is, at once and without
// further waiting, until the port is opened again.
TEST(SerialPort, APortHungUpUnderTheProgramIsLostUntilOpenedAgain) {
    int argc = 0;
    const QCoreApplication app(argc, nullptr);  // the port's notifiers need one
    SerialPort port(QStringLiteral("ZDXKalQ270"));
    port.setPortNumber(6);
    Terminal first;
    ASSERT_GE(first.master, 0);
    port.setOpen(true);
    ASSERT_TRUE(port.isOpen()) << port.errorString().toStdString();
    EXPECT_FALSE(port.waitForData(20));
    EXPECT_EQ(port.lostReason(), "");

    first.hangUp();
    port.writeText("SYST:REM\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.waitForData(1500));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_NE(port.lostReason(), "");
    EXPECT_TRUE(port.isOpen());  // its owner closes it

    port.setOpen(false);
    const Terminal second;
    port.setOpen(true);
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.lostReason(), "");
    port.writeText("SYST:REM\n");
    char bytes[16] = {};
    EXPECT_EQ(::read(second.master, bytes, sizeof bytes), 9);
    port.setOpen(false);
    qunsetenv("ZDX_COM6");
}
#endif

}  // namespace
}  // namespace q270
