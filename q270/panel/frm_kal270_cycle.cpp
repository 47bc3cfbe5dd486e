// Start-up, shut-down, the choice of connection and the timer cycle of frmKal270.
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>

#include "application.h"
#include "colour_value.h"
#include "device_profile.h"
#include "frm_kal270.h"
#include "frm_results.h"
#include "meter_link.h"
#include "settings_store.h"
#include "skip_step.h"

namespace q270 {

using zdx::skipOnError;

namespace {

const QString kApplication = QString::fromLatin1(kQ270Application);
constexpr int kCycleDivider = 10;

QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Stored values the panel cannot take fall back to their defaults.
int within(int value, int low, int high, int fallback) {
    return value < low || value > high ? fallback : value;
}

// A stored channel or range above the panel's is lowered to the highest one the
// panel can ever offer; the start-up lowers it further to what the device has.
int atMost(int value, int low, int high, int fallback) {
    return value < low ? fallback : std::min(value, high);
}

}  // namespace

void frmKal270::startUp(const QString& commandLine) {
    state_.LinkState = kLinkNotConnected;
    TickPhase = 0;
    setWindowTitle(
        QString::fromLatin1(kWindowTitle.data(), static_cast<qsizetype>(kWindowTitle.size())));
    readSettings();
    spezButton_->setEnabled(false);
    spezButton_->setVisible(false);
    relayCleanButton_->setEnabled(false);
    relayCleanButton_->setVisible(false);
    state_.LoadState = 0;
    state_.LoadMode = 0;
    applyOptions(commandLine);
    state_.RangeTable = defaultRangeTable();
    SelectConnection(state_.Connection, false);

    if (state_.SelChannel > channelScroll_->maximum())
        state_.SelChannel = channelScroll_->maximum();
    channelLabel_->setText(QStringLiteral("Channel %1").arg(state_.SelChannel));
    channelScroll_->setValue(state_.SelChannel);
    percentScroll_->setValue(state_.SelPercent);
    if (state_.SelRange > rangeScroll_->maximum()) state_.SelRange = rangeScroll_->maximum();
    rangeScroll_->setValue(state_.SelRange);
    // Also when the scroll bar already stood there: the labels show the full scale from the start.
    ShowRange();
    if (state_.SelSign != 0) {
        minusButton_->setChecked(true);
        minusClicked();
    } else {
        plusButton_->setChecked(true);
        plusClicked();
    }
    if (state_.Connection == kConnUsb) state_.DllMissing = transport_.probeLibrary() ? 0 : 1;
}

void frmKal270::readSettings() {
    const zdx::SettingsStore store(kApplication);
    state_.SelRange = atMost(store.readInt(QStringLiteral("Q270Range"), 1), 1, 6, 1);
    state_.SelChannel = atMost(store.readInt(QStringLiteral("Q270Chann"), 0), 0, 15, 0);
    state_.SelSign = store.readInt(QStringLiteral("Q270Signe"), 0) != 0 ? 1 : 0;
    state_.SelPercent = within(store.readInt(QStringLiteral("Q270Proze"), 0), 0, 10, 0);
    ComIncrement = static_cast<std::int16_t>(
        within(store.readInt(QStringLiteral("Q270COMxincr"), 0), 0, 7, 0));
    state_.Connection = within(store.readInt(QStringLiteral("Connection"), kConnUsb), kConnUsb,
                               kConnComN, kConnUsb);
}

void frmKal270::applyOptions(const QString& commandLine) {
    const Options options = parseOptions(commandLine.toStdString());
    if (options.special) {
        spezButton_->setEnabled(true);
        spezButton_->setVisible(true);
    } else if (options.loadMode) {
        spezButton_->setEnabled(true);
        spezButton_->setVisible(true);
        spezButton_->setText(QStringLiteral("Load high"));
        state_.LoadMode = 1;
    } else if (options.relayClean) {
        RelayBytes = options.RelayBytes;
        relayCleanButton_->setEnabled(true);
        relayCleanButton_->setVisible(true);
    }
    DevFilter = options.DevFilter.value_or("");
    IdFilter = options.IdFilter.value_or("");
    setWindowTitle(QString::fromStdString(captionFor(options)));
}

void frmKal270::shutDown() {
    if (shutDownDone_) return;
    shutDownDone_ = true;
    tickTimer_->stop();
    skipOnError("CloseLink at shut-down", [this] { transport_.CloseLink(); });
    zdx::SettingsStore store(kApplication);
    store.writeInt(QStringLiteral("Connection"), state_.Connection);
    store.writeInt(QStringLiteral("Q270Range"), state_.SelRange);
    store.writeInt(QStringLiteral("Q270Chann"), state_.SelChannel);
    store.writeInt(QStringLiteral("Q270Signe"), state_.SelSign);
    store.writeInt(QStringLiteral("Q270Proze"), state_.SelPercent);
    store.writeInt(QStringLiteral("Q270COMxincr"), ComIncrement);
    store.sync();
}

void frmKal270::closeEvent(QCloseEvent* event) {
    if (scanActive_) {
        // The run ends after its current step with the meter back in local;
        // the cycle that ran it closes the window then.
        state_.StopRequest = 1;
        results().requestStop();
        closePending_ = true;
        event->ignore();
        return;
    }
    shutDown();
    closeResults();
    event->accept();
}

void frmKal270::SelectConnection(int conn, bool closeFirst) {
    // The direct timer event below is one event after those that passed until now.
    countPassedEvents();
    state_.StopRequest = 0;
    for (QPushButton* b : {usbButton_, com1Button_, comNButton_})
        zdx::setBackColour(b, zdx::kColourButtonFace);
    comNButton_->setText(QStringLiteral("COM%1").arg(2 + ComIncrement));
    if (closeFirst) skipOnError("CloseLink", [this] { transport_.CloseLink(); });
    state_.Connection = conn;
    warnOfSharedPort();
    if (conn == kConnUsb) {
        zdx::setBackColour(usbButton_, zdx::kColourYellow);
        state_.DllMissing = 0;
        if (!transport_.probeLibrary()) {
            state_.LinkState = kLinkNotConnected;
            state_.DllMissing = 1;
            return;
        }
    } else {
        zdx::setBackColour(conn == kConnCom1 ? com1Button_ : comNButton_, zdx::kColourYellow);
        state_.DllMissing = 0;
    }
    state_.LinkState = kLinkNotConnected;
    TickPhase = 0;
    flushPaint();
    directTimerEvent();
}

void frmKal270::warnOfSharedPort() {
    const int port = state_.Connection == kConnCom1   ? 1
                     : state_.Connection == kConnComN ? 2 + ComIncrement
                                                      : 0;
    const QString device = port > 0 ? serialPort_.deviceName(port) : QString();
    const bool shared = port > 0 && device == serialPort_.deviceName(kMeterPortNumber);
    // Short enough for the status bar beside the transfer marker; the device in the tooltip.
    portWarning_->setText(shared ? QStringLiteral("COM%1 is the multimeter's port too").arg(port)
                                 : QString());
    portWarning_->setToolTip(shared ? QStringLiteral("COM%1 (%2) is also the port of the "
                                                     "multimeter: setting lines sent here reach "
                                                     "the meter as well as the calibrator")
                                          .arg(port)
                                          .arg(device)
                                    : QString());
    portWarning_->setVisible(shared);
}

void frmKal270::tick() {
    state_.CycleCountdown = static_cast<std::int16_t>(state_.CycleCountdown - 1);
    if (state_.CycleCountdown >= 1) return;
    state_.CycleCountdown = kCycleDivider;
    runCycle();
}

// A 3 ms timer that wakes only to count down costs more CPU than the whole
// cycle. The timer therefore sleeps until the event that runs the next cycle
// and counts the events in between when it wakes; a handler that asks for a
// cycle re-arms it for the very next event. Divider and countdown behave as
// with one wake-up every 3 ms. Events are counted from the moment the window
// thread is free again: while a cycle or a handler blocks it, a timer cannot
// deliver any, so a cycle is always followed by nine events before the next.
void frmKal270::timerElapsed() {
    // A wake-up is at least one event, and never more than the one that runs the cycle.
    const int events = std::max(1, eventsSinceLast(std::max<int>(1, state_.CycleCountdown)));
    for (int i = 0; i < events; ++i) tick();
    lastTimerEvent_ = clock_.now();
    armTimer();
}

void frmKal270::countPassedEvents() {
    // Never the event that would run a cycle: that one is the timer's own.
    const int passed = eventsSinceLast(std::max<int>(0, state_.CycleCountdown - 1));
    for (int i = 0; i < passed; ++i) tick();
}

void frmKal270::directTimerEvent() {
    tick();
    lastTimerEvent_ = clock_.now();
    armTimer();
}

int frmKal270::eventsSinceLast(int limit) {
    using std::chrono::microseconds;
    const Clock::time_point now = clock_.now();
    const auto elapsed = std::chrono::duration_cast<microseconds>(now - lastTimerEvent_);
    lastTimerEvent_ = now;
    const microseconds interval = std::chrono::milliseconds(kTimerIntervalMs);
    const auto nearest = (elapsed + interval / 2) / interval;
    return static_cast<int>(std::clamp<decltype(nearest)>(nearest, 0, limit));
}

void frmKal270::armTimer() {
    if (shutDownDone_) return;
    tickTimer_->start(kTimerIntervalMs * std::max<int>(1, state_.CycleCountdown));
}

void frmKal270::runCycle() {
    // Timer events keep arriving while a linearity run or a trim search lets
    // window events through; a cycle inside them would send settings and take
    // their stop.
    if (scanActive_ || (results_ && results_->busy())) return;
    skipOnError("animate", [this] { animate(); });
    std::string id;  // the device ID of this cycle's connection attempt
    // Plain ifs, not else-ifs: each test sees the state the block before it
    // left, so one cycle connects, goes online and sends the settings, or goes
    // from online straight into the run a scan request asked for.
    if (state_.LinkState == kLinkNotConnected) stateNotConnected(id);
    if (state_.LinkState == kLinkGoingOnline)
        skipOnError("going online", [this] { stateGoingOnline(); });
    if (state_.LinkState == kLinkOnline) stateOnline(id);
    if (state_.LinkState == kLinkResultsView) stateResultsView();
    if (state_.LinkState == kLinkReopenResults) stateReopenResults();
}

void frmKal270::animate() {
    static const char* const kMarkers[] = {"|", "/", "--", "\\"};
    TickPhase = static_cast<std::int16_t>((TickPhase + 1) % 4);
    statusPanel1_->setText(QStringLiteral("Data transfer: ") +
                           QString::fromLatin1(kMarkers[TickPhase]));
}

void frmKal270::setMessages(const QString& text, std::uint32_t colour) {
    // The box shows CR LF line breaks as plain line breaks; the text as set, CR
    // LF included, stays readable in its "messageText" property. Setting the text
    // it already shows would only relayout and repaint it, on every cycle of a retry.
    messages_->setProperty("messageText", text);
    const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (messages_->toPlainText() != shown) messages_->setPlainText(shown);
    if (zdx::foreColour(messages_) != colour) zdx::setForeColour(messages_, colour);
    messageSet_ = true;
}

void frmKal270::showCondition(const QString& text) {
    if (conditionBox_->text() != text) conditionBox_->setText(text);
    conditionBox_->setVisible(true);
}

void frmKal270::stateNotConnected(std::string& id) {
    skipOnError("clearing the condition", [this] {
        transport_.ClearStop();
        conditionBox_->setVisible(false);
    });
    // Every attempt replaces the whole message; one that ends without a message leaves it empty.
    messageSet_ = false;
    stateAttempt(id);
    if (!messageSet_)
        skipOnError("clearing the messages", [this] { setMessages(QString(), zdx::kColourBlack); });
}

void frmKal270::stateAttempt(std::string& id) {
    if (state_.DllMissing != 0) {
        setMessages(QStringLiteral("Error: ZDXUSBCAL.DLL not found !\r\nno operation possible"),
                    zdx::kColourRed);
        return;
    }
    if (state_.Connection == kConnUsb)
        connectUsb(id);
    else
        connectSerial(id);
}

void frmKal270::connectUsb(std::string& id) {
    skipOnError("USB button colour",
                [this] { zdx::setBackColour(usbButton_, zdx::kColourYellow); });
    skipOnError("USB discovery", [this, &id] {
        const UsbDeviceInfo info = transport_.usb().deviceInfo(DevFilter, IdFilter);
        state_.DeviceSerial = info.serial;
        id = info.string6;
        if (info.result < 0) {
            setMessages(QStringLiteral("\r\n\r\nno USB device found"), zdx::kColourRed);
            return;
        }
        state_.LinkState = kLinkGoingOnline;
        const QString serial = fromLatin1(state_.DeviceSerial);
        if (state_.DeviceSerial.rfind("KX", 0) == 0)
            setMessages(QStringLiteral("Connected via NVQ + KX, USB device\r\nSNo: ") + serial,
                        zdx::kColourBlack);
        else
            setMessages(QStringLiteral("Connected to ZDX USB device\r\nSNo: ") + serial +
                            QStringLiteral("     ID: ") + fromLatin1(id),
                        zdx::kColourBlack);
        skipOnError("device profile", [this, &id] { applyDeviceProfile(id); });
        halfBridgeBox_->setVisible(false);
        halfBridgeBox_->setCheckState(Qt::Unchecked);
        state_.HBState = 0;
        if (state_.DeviceSerial.find("Q270H") != std::string::npos)
            halfBridgeBox_->setVisible(true);
        zdx::setBackColour(usbButton_, zdx::kColourGreen);
    });
    state_.ReplyState = kReplyFailed;
}

void frmKal270::connectSerial(std::string& id) {
    skipOnError("opening the COM port", [this] {
        serialPort_.setPortNumber(state_.Connection == kConnComN ? 2 + ComIncrement : 1);
        serialPort_.setSettings(QStringLiteral("9600,E,8,1"));
        serialPort_.setOpen(true);
    });
    if (!serialPort_.isOpen()) {
        qCDebug(zdx::lcCycle) << "COM port" << serialPort_.portNumber()
                              << "not opened:" << serialPort_.errorString();
        // The port's device and the system's reason: what the operator can act on.
        setMessages(
            QStringLiteral("Error accessing COM%1 (%2: %3)")
                .arg(serialPort_.portNumber())
                .arg(serialPort_.deviceName(serialPort_.portNumber()), serialPort_.errorString()),
            zdx::kColourRed);
        return;
    }
    zdx::setBackColour(state_.Connection == kConnCom1 ? com1Button_ : comNButton_,
                       zdx::kColourGreen);
    skipOnError("serial identification", [this, &id] {
        id = cleanSerialIdentification(transport_.QueryCom("SNR?0"));
        state_.DeviceSerial = cleanSerialIdentification(transport_.QueryCom("SNR?1"));
    });
    setMessages(QStringLiteral("Connection via serial line\r\nSNo: ") +
                    fromLatin1(state_.DeviceSerial) + QStringLiteral("     ID: ") + fromLatin1(id),
                zdx::kColourBlack);
    skipOnError("device profile", [this, &id] { applyDeviceProfile(id); });
    state_.LinkState = kLinkGoingOnline;
}

void frmKal270::applyDeviceProfile(const std::string& id) {
    const int maximum = channelMaximumFor(id);
    if (maximum <= 8 && state_.SelChannel > maximum) {
        // The channel falls back to 0 on the panel as well, not only in the variable.
        state_.SelChannel = 0;
        channelScroll_->setValue(0);
    }
    channelScroll_->setMaximum(maximum);
    for (std::size_t i = 9; i < channelOptions_.size(); ++i)
        channelOptions_[i]->setVisible(static_cast<int>(i) <= maximum);
}

void frmKal270::stateGoingOnline() {
    state_.BeepState = 0;
    state_.LinkState = kLinkOnline;
    state_.ScanRequest = 0;
    RangeProbeDone = 0;
}

void frmKal270::stateOnline(const std::string& id) {
    if (RangeProbeDone == 0) skipOnError("range probe", [this, &id] { probeRanges(id); });
    skipOnError("SendSettings", [this] { transport_.SendSettings(state_.BeepState); });
    if (state_.StopRequest == 0)
        skipOnError("showing the conditions", [this] { showConditions(); });
    if (state_.ScanRequest != 0) state_.LinkState = kLinkResultsView;
}

void frmKal270::probeRanges(const std::string& id) {
    setRangeScrollWidth(kRangeScrollWidthFive);
    rangeOptions_[5]->setVisible(false);
    const int savedRange = state_.SelRange;
    const int savedSign = state_.SelSign;
    state_.SelSign = kProbeMode;
    state_.SelRange = 6;
    skipOnError("range probe SendSettings", [this] { transport_.SendSettings(state_.BeepState); });
    state_.SelRange = savedRange;
    state_.SelSign = savedSign;
    state_.RangeTable = rangeTableFor(id);
    if (state_.ReplyState == kReplyAccepted) {
        setRangeScrollWidth(kRangeScrollWidthSix);
        rangeScroll_->setMaximum(6);
        rangeOptions_[5]->setVisible(true);
        RangeProbeDone = 2;
    } else {
        if (rangeScroll_->value() == 6) rangeScroll_->setValue(5);
        rangeScroll_->setMaximum(5);
        RangeProbeDone = 1;
    }
    ShowRange();
    // The signal shown must follow the table of the device just found. Drawn from
    // the selection, not read from the controls: in the start-up's first cycle
    // they do not show the stored selection yet.
    drawPercentLabel(state_.SelSign == 1);
}

void frmKal270::showConditions() {
    // Decided first and shown once, so a standing condition does not blink the box every cycle.
    const int reply = state_.ReplyState;
    QString condition;
    if (reply == kReplyCondition) condition = QStringLiteral("Q270 bell !");
    if (state_.Connection == kConnUsb) {
        if (reply == kReplyFailed)
            state_.LinkState = kLinkNotConnected;
        else if (reply == kReplyNotUnderstood)
            condition = QStringLiteral("No Q270 connected to USB bus !");
    } else if (reply == kReplyNotUnderstood) {
        condition = QStringLiteral("No answer from Q270");
    }
    if (condition.isEmpty())
        conditionBox_->setVisible(false);
    else
        showCondition(condition);
}

}  // namespace q270
