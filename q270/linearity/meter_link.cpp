#include "meter_link.h"

#include "serial_port.h"

namespace q270 {

void SerialMeterPort::openWith(int portNumber, const QString& settings) {
    port_.setPortNumber(portNumber);
    port_.setSettings(settings);
    port_.setOpen(true);
}

std::string SerialMeterPort::openFailure() const {
    return (port_.deviceName(port_.portNumber()) + QStringLiteral(": ") + port_.errorString())
        .toStdString();
}

bool SerialMeterPort::isOpen() const {
    return port_.isOpen();
}

void SerialMeterPort::close() {
    port_.close();
}

void SerialMeterPort::writeText(std::string_view text) {
    port_.writeText(text);
}

int SerialMeterPort::waitingCount() {
    return port_.waitingCount();
}

std::string SerialMeterPort::readWaiting() {
    return port_.readWaiting();
}

bool SerialMeterPort::waitForData(int milliseconds) {
    return port_.waitForData(milliseconds);
}

std::string SerialMeterPort::lostReason() const {
    return port_.lostReason();
}

bool MeterLink::OpenHP() {
    port_.openWith(kMeterPortNumber, QString::fromLatin1(kMeterLineSettings));
    if (!port_.isOpen()) return false;
    Delay(0.3f);
    WriteLineHP("SYST:REM");
    Delay(0.1f);
    ReadHP("SYST:ERR?");
    Delay(0.1f);
    ReadHP("SYST:ERR?");
    return true;
}

void MeterLink::CloseHP() {
    if (!port_.isOpen()) return;
    if (!port_.lostReason().empty()) {
        port_.close();
        return;
    }
    Delay(0.1f);
    WriteLineHP("SYST:LOC");
    Delay(0.1f);
    port_.close();
}

void MeterLink::Release() noexcept {
    try {
        CloseHP();
    } catch (...) {
        // The meter may stay in remote; the port must not stay open.
    }
    try {
        if (port_.isOpen()) port_.close();
    } catch (...) {
    }
}

void MeterLink::WriteLineHP(std::string_view command) {
    writeLineCom(port_, command);
}

std::string MeterLink::ReadLineHP() {
    return readLineWithin(port_, clock_, kMeterReplySeconds);
}

std::string MeterLink::ReadHP(std::string_view command) {
    WriteLineHP(command);
    return ReadLineHP();
}

void MeterLink::Delay(float seconds) {
    q270::Delay(clock_, seconds);
}

}  // namespace q270
