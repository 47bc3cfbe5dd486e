// The Q610 operator panel: five output steps, beeper, ready lamp, and the
// choice of USB, LPT1 or LPT2. A 300 ms cycle (`tick`) connects, restores the
// panel after a connection and then sends the output byte on every tick.
//
// Every control carries its design name as its object name (Command1..7,
// CommandUSBb, CommandLPT1/2, txtMessages, Textremo, StatusBar, TimerTick), so
// tests and tools find it; the members are named for what they hold.
// Panel 1 of the status bar is the label "Panels_1" inside StatusBar.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>

#include "q610_protocol.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace zdx {
class SettingsStore;
}

class frmusbCal : public QMainWindow {
    Q_OBJECT

  public:
    explicit frmusbCal(QWidget* parent = nullptr);
    ~frmusbCal() override;

    // One cycle of TimerTick; tests call it directly.
    void tick();

    // Makes t (1 = USB, 2 = LPT1, 3 = LPT2) the connection and runs a cycle at once.
    void SelectConnection(int t);

    // Sends v as the new output byte and judges the answer into ReplyState.
    void SendOutputBits(int v);

    // Ends remote operation on the connection in use.
    void CloseLink();

    // Shows the registers of the parallel port in use in Textremo.
    void ShowPortRegisters();

    int connection() const { return Connection; }
    int linkState() const { return LinkState; }
    int outputBits() const { return OutputBits; }
    int replyState() const { return ReplyState; }
    bool dllMissing() const { return DllMissing; }
    const std::string& deviceSerial() const { return DeviceSerial; }
    bool portDisplayOn() const { return PortDisplayOn; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    void layoutControls();
    // The window's load and unload: settings, library probe, leaving the link.
    void startUp();
    void shutDown();

    void resetStepButtons();
    void stepClick(int stepIndex);
    void beepPressed();
    void beepReleased();
    void readyClicked();

    void connectStep();
    void connectUsb();
    void connectLpt();
    void restoreStep();
    void runningStep();
    void showMessage(const QString& text, bool error);
    void showRemark(const QString& text);
    QPushButton* connectionButton(int connection) const;

    // Window state.
    int Connection = zdx::q610::kConnectionUsb;
    int LinkState = zdx::q610::kLinkNotConnected;
    int TickPhase = 0;
    int OutputBits = 4;
    int ReplyState = zdx::q610::kReplyFailed;
    bool DllMissing = false;
    std::string DeviceSerial;
    bool PortDisplayOn = false;
    bool unloaded_ = false;

    std::unique_ptr<zdx::SettingsStore> settings_;

    std::array<QPushButton*, 5> stepButtons_{};  // Command1..Command5
    QPushButton* beepButton_ = nullptr;          // "Command6"
    QPushButton* readyButton_ = nullptr;         // "Command7"
    QPushButton* usbButton_ = nullptr;           // "CommandUSBb"
    QPushButton* lpt1Button_ = nullptr;          // "CommandLPT1"
    QPushButton* lpt2Button_ = nullptr;          // "CommandLPT2"
    QPlainTextEdit* messages_ = nullptr;         // "txtMessages": connection messages
    QLineEdit* remark_ = nullptr;                // "Textremo": device remarks, port registers
    QLabel* statusPanel1_ = nullptr;             // "Panels_1"
    QTimer* tickTimer_ = nullptr;                // "TimerTick"
};
