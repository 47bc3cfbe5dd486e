// Line settings texts and the mapping of COM port numbers to devices.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "serial_port.h"

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

}  // namespace
}  // namespace q270
