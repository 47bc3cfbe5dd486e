// The serial-port component: a thin layer over QSerialPort with the operations
// the program uses (port number, line settings, open state, write text, waiting
// count, read waiting text).
//
// COM port n is the device named by the environment variable ZDX_COM<n>, else
// by the settings store (section "Ports", key "COM<n>"), else the system's own
// name (/dev/ttyS<n-1>, or COM<n> on Windows).
#pragma once

#include <QSerialPort>
#include <QString>
#include <optional>

#include "serial_line.h"

namespace q270 {

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "9600,E,8,1" -> baud, parity letter (N, E, O, M, S), data bits (5..8), stop
// bits (1, 1.5, 2). Nothing for a text that does not have these four fields.
std::optional<LineSettings> parseLineSettings(const QString& text);

class SerialPort : public SerialLine {
  public:
    // With an owner, the port is the owner's child under `name`, so it can be
    // found among the window's controls; the owner outlives this object.
    explicit SerialPort(QString application, QObject* owner = nullptr, const QString& name = {});
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void setPortNumber(int number);
    int portNumber() const { return portNumber_; }
    // Kept until the next open; an unreadable text keeps the previous settings.
    bool setSettings(const QString& text);
    // Opens (with every line setting applied first) or closes the port. When
    // the port stays closed, errorString() says why.
    void setOpen(bool open);
    bool isOpen() const override;
    // The port's own text for its last error.
    QString errorString() const { return port_->errorString(); }
    void close() override { setOpen(false); }

    void writeText(std::string_view text) override;
    int waitingCount() override;
    std::string readWaiting() override;
    bool waitForData(int milliseconds) override;
    // A write or a wait that fails with the device gone marks the port lost:
    // nothing more is written or waited for until it is opened again.
    std::string lostReason() const override { return lost_; }

    // The device that COM port n stands for.
    QString deviceName(int number) const;

  private:
    void noteFailure();

    QString application_;
    int portNumber_ = 1;
    LineSettings settings_;
    QSerialPort* port_;
    bool ownsPort_;
    std::string lost_;
};

}  // namespace q270
