#include "serial_port.h"

#include <QStringList>
#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include "settings_store.h"

namespace q270 {

std::optional<LineSettings> parseLineSettings(const QString& text) {
    const QStringList fields = text.split(',');
    if (fields.size() != 4) return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baud = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) return std::nullopt;
    const QString parity = fields[1].trimmed().toUpper();
    if (parity == "N")
        s.parity = QSerialPort::NoParity;
    else if (parity == "E")
        s.parity = QSerialPort::EvenParity;
    else if (parity == "O")
        s.parity = QSerialPort::OddParity;
    else if (parity == "M")
        s.parity = QSerialPort::MarkParity;
    else if (parity == "S")
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;
    const int data = fields[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8) return std::nullopt;
    s.dataBits = static_cast<QSerialPort::DataBits>(data);
    const QString stop = fields[3].trimmed();
    if (stop == "1")
        s.stopBits = QSerialPort::OneStop;
    else if (stop == "1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == "2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

SerialPort::SerialPort(QString application, QObject* owner, const QString& name)
    : application_(std::move(application)),
      port_(new QSerialPort(owner)),
      ownsPort_(owner == nullptr) {
    port_->setObjectName(name);
}

SerialPort::~SerialPort() {
    if (ownsPort_) delete port_;
}

void SerialPort::setPortNumber(int number) {
    portNumber_ = number;
}

bool SerialPort::setSettings(const QString& text) {
    const auto parsed = parseLineSettings(text);
    if (parsed) settings_ = *parsed;
    return parsed.has_value();
}

QString SerialPort::deviceName(int number) const {
    const QString key = QStringLiteral("COM%1").arg(number);
    const QString fromEnvironment = qEnvironmentVariable(("ZDX_" + key).toLatin1().constData());
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    const QString stored = zdx::SettingsStore(application_).readText(QStringLiteral("Ports"), key);
    if (!stored.isEmpty()) return stored;
#ifdef Q_OS_WIN
    return key;
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

void SerialPort::setOpen(bool open) {
    if (!open) {
        if (port_->isOpen()) port_->close();
        return;
    }
    if (port_->isOpen()) return;
    lost_.clear();
    port_->clearError();
    // Every line setting goes in before the open: a pseudo-terminal refuses a
    // parity change once it is open.
    port_->setPortName(deviceName(portNumber_));
    port_->setBaudRate(settings_.baud);
    port_->setParity(settings_.parity);
    port_->setDataBits(settings_.dataBits);
    port_->setStopBits(settings_.stopBits);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) return;
    port_->setDataTerminalReady(true);
    port_->clear();
}

bool SerialPort::isOpen() const {
    return port_->isOpen();
}

void SerialPort::writeText(std::string_view text) {
    if (!port_->isOpen() || !lost_.empty()) return;
    // Nobody runs the event loop during an exchange: push the bytes out now.
    if (port_->write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !port_->waitForBytesWritten(100))
        noteFailure();
}

int SerialPort::waitingCount() {
    return port_->isOpen() ? static_cast<int>(port_->bytesAvailable()) : 0;
}

std::string SerialPort::readWaiting() {
    if (!port_->isOpen()) return {};
    const QByteArray bytes = port_->readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool SerialPort::waitForData(int milliseconds) {
    if (!port_->isOpen() || !lost_.empty()) return false;
    if (port_->waitForReadyRead(milliseconds)) return true;
    noteFailure();
    return false;
}

// A time-out is a silent device; a read, write or resource error is a port
// that went away (a hung-up terminal reads end of file and refuses writes).
void SerialPort::noteFailure() {
    const QSerialPort::SerialPortError error = port_->error();
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    lost_ = port_->errorString().toStdString();
#ifndef Q_OS_WIN
    // Qt's text after an end of file is a stale one; an empty write asks the
    // terminal itself and changes nothing on a working line.
    if (::write(static_cast<int>(port_->handle()), "", 0) < 0) lost_ = std::strerror(errno);
#endif
    if (lost_.empty()) lost_ = "the port failed";
}

}  // namespace q270
