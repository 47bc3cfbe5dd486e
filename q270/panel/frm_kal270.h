// The main window of the Q270 program: the operator's front panel, the
// start-up and shut-down, the choice of connection and the timer cycle that
// connects, fits the panel to the device and resends the settings.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "clock.h"
#include "options.h"
#include "program_state.h"
#include "serial_port.h"
#include "transport.h"
#include "usb_access.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace q270 {

class frmResults;

// Widths of the range scroll bar in layout units (fifteen to a pixel), for five
// and for six range positions.
inline constexpr int kRangeScrollWidthFive = 2295;
inline constexpr int kRangeScrollWidthSix = 2755;
inline constexpr int kLayoutUnitsPerPixel = 15;

// Nominal interval of TimerTick; every tenth of its events runs a cycle.
inline constexpr int kTimerIntervalMs = 3;

class frmKal270 : public QMainWindow {
    Q_OBJECT

  public:
    // Runs the start-up: settings, options, library probe, connection (and with
    // it the first cycle). `usb` and `clock` default to the access library and the
    // steady clock.
    frmKal270(ProgramState& state, const QString& commandLine, UsbAccess* usb = nullptr,
              Clock* clock = nullptr, QWidget* parent = nullptr);
    ~frmKal270() override;

    // One event of TimerTick: counts CycleCountdown down and runs a cycle when it is due.
    void tick();
    // TimerTick woke: counts the nominal 3 ms events that passed on the clock
    // since the last one counted and re-arms it (public so that tests can drive
    // it on an injected clock).
    void timerElapsed();
    void SelectConnection(int conn, bool closeFirst);

    ProgramState& state() { return state_; }
    Transport& transport() { return transport_; }
    int comIncrement() const { return ComIncrement; }
    int rangeProbeDone() const { return RangeProbeDone; }
    int tickPhase() const { return TickPhase; }
    const std::array<std::int16_t, 4>& relayBytes() const { return RelayBytes; }
    // The results window, once a cycle has created it.
    frmResults* resultsWindow() const { return results_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Layout (frm_kal270.cpp).
    void buildControls();
    QGroupBox* buildChannelGroup();
    QGroupBox* buildRangeGroup();
    QGroupBox* buildPercentGroup();
    QGroupBox* buildSignGroup();
    QGroupBox* buildToggleGroup();
    QGroupBox* buildCommunicationGroup();
    QGroupBox* buildMessageGroup();
    void connectHandlers();
    // The range scroll bar's width in layout units; kept in its "layoutWidth" property.
    void setRangeScrollWidth(int layoutUnits);
    void flushPaint();
    // Shows, in the status bar, when the chosen COM port is the multimeter's too.
    void warnOfSharedPort();

    // Start-up, shut-down and the cycle (frm_kal270_cycle.cpp).
    void startUp(const QString& commandLine);
    void readSettings();
    void applyOptions(const QString& commandLine);
    void shutDown();
    void runCycle();
    // Arms TimerTick for the moment the next cycle is due.
    void armTimer();
    // Counts the events that passed while the timer slept, up to the one before
    // the cycle; a handler that calls the timer handler does so first.
    void countPassedEvents();
    // The timer handler called from a handler: one timer event now.
    void directTimerEvent();
    // Nominal events since the last one counted, to the nearest, at most `limit`;
    // they count as counted from now on.
    int eventsSinceLast(int limit);
    void animate();
    void stateNotConnected(std::string& id);
    void stateAttempt(std::string& id);
    void connectUsb(std::string& id);
    void connectSerial(std::string& id);
    void applyDeviceProfile(const std::string& id);
    void stateGoingOnline();
    void stateOnline(const std::string& id);
    void probeRanges(const std::string& id);
    // The results view (link states 3 and 4).
    frmResults& results();
    void stateResultsView();
    void stateReopenResults();
    void closeResults();
    void showConditions();
    void setMessages(const QString& text, std::uint32_t colour);
    void showCondition(const QString& text);

    // Front-panel handlers (frm_kal270_panel.cpp).
    void askForCycle();
    void ShowRange();
    void channelClicked(int index);
    void chanScrollChanged(int value);
    void rangeClicked(int index);
    void rangeScrollChanged(int value);
    void prozeClicked(int index);
    void percentLabelUpdate();
    void refreshPercentLabel();
    // Writes ProzLabel from the selection alone.
    void drawPercentLabel(bool minus);
    void plusClicked();
    void minusClicked();
    void hbrClicked();
    void readyClicked();
    void beepPressed();
    void beepReleased();
    void spezClicked();
    void relRefClicked();
    void com2RightPressed();
    void spezRightPressed();
    void statusBarClicked();

    ProgramState& state_;
    Clock& clock_;
    std::unique_ptr<UsbAccess> ownUsb_;
    SerialPort serialPort_;  // "MSComm1"
    Transport transport_;

    std::int16_t TickPhase = 0;
    std::int16_t ComIncrement = 0;
    std::string DevFilter;
    std::string IdFilter;
    std::array<std::int16_t, 4> RelayBytes{};
    std::int16_t RangeProbeDone = 0;
    bool shutDownDone_ = false;
    std::unique_ptr<frmResults> results_;
    bool scanActive_ = false;    // Scan is running inside a cycle: no cycle may nest in it
    bool closePending_ = false;  // the window was asked to close during a run
    bool messageSet_ = false;    // the connection attempt of this cycle wrote txtMessages

    // The controls, named for what they are; each carries its design name as
    // its objectName (given beside it), by which tests and tools find it.
    QGroupBox* channelGroup_ = nullptr;               // "Frame_0"
    std::array<QRadioButton*, 16> channelOptions_{};  // "Channel_0".."Channel_15"
    QScrollBar* channelScroll_ = nullptr;             // "ChanScroll"
    QLabel* channelLabel_ = nullptr;                  // "ChanLabel"
    std::array<QRadioButton*, 6> rangeOptions_{};     // "Range_0".."Range_5"
    QScrollBar* rangeScroll_ = nullptr;               // "RangeScroll"
    QWidget* rangeStrip_ = nullptr;
    QLabel* rangeLabel_ = nullptr;                    // "RangeLabel"
    QGroupBox* percentGroup_ = nullptr;               // "Frame_1"
    std::array<QRadioButton*, 11> percentOptions_{};  // "Proze_0".."Proze_10"
    QScrollBar* percentScroll_ = nullptr;             // "ProzScroll"
    QLabel* percentLabel_ = nullptr;                  // "ProzLabel"
    QGroupBox* signGroup_ = nullptr;                  // "Frame1"
    QPushButton* plusButton_ = nullptr;               // "Plus"
    QPushButton* minusButton_ = nullptr;              // "Minus"
    QCheckBox* halfBridgeBox_ = nullptr;              // "HBr"
    QPushButton* spezButton_ = nullptr;               // "Commandsp"
    QPushButton* relayCleanButton_ = nullptr;         // "RelRef"
    QPushButton* readyButton_ = nullptr;              // "Command7"
    QPushButton* beepButton_ = nullptr;               // "Command6"
    QGroupBox* communicationGroup_ = nullptr;         // "frameTest"
    QPushButton* usbButton_ = nullptr;                // "CommandUSBb"
    QPushButton* com1Button_ = nullptr;               // "CommandCOM1"
    QPushButton* comNButton_ = nullptr;               // "CommandCOM2": COM(2 + ComIncrement)
    QGroupBox* messageGroup_ = nullptr;               // "frameMeldungen"
    QPlainTextEdit* messages_ = nullptr;              // "txtMessages": connection messages
    QLineEdit* conditionBox_ = nullptr;               // "Textremo": device conditions
    QLabel* statusPanel1_ = nullptr;                  // "Panel1" of the status bar
    QLabel* portWarning_ = nullptr;       // "PortWarning": the connection shares the meter's port
    QTimer* tickTimer_ = nullptr;         // "TimerTick"
    Clock::time_point lastTimerEvent_{};  // when the last nominal timer event was counted
};

}  // namespace q270
