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

#include "colour_value.h"
#include "cycle_step.h"
#include "device_profile.h"
#include "frm_kal270.h"
#include "frm_results.h"
#include "settings_store.h"

namespace q270 {

namespace {

const QString kApplication = QStringLiteral("ZDXKalQ270");
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
    state_.LinkState = 0;
    TickPhase = 0;
    setWindowTitle(
        QString::fromLatin1(kWindowTitle.data(), static_cast<qsizetype>(kWindowTitle.size())));
    readSettings();
    Commandsp->setEnabled(false);
    Commandsp->setVisible(false);
    RelRef->setEnabled(false);
    RelRef->setVisible(false);
    state_.LoadState = 0;
    state_.LoadMode = 0;
    applyOptions(commandLine);
    state_.RangeTable = defaultRangeTable();
    SelectConnection(state_.Connection, false);

    if (state_.SelChannel > ChanScroll->maximum()) state_.SelChannel = ChanScroll->maximum();
    ChanLabel->setText(QStringLiteral("Channel %1").arg(state_.SelChannel));
    ChanScroll->setValue(state_.SelChannel);
    ProzScroll->setValue(state_.SelPercent);
    if (state_.SelRange > RangeScroll->maximum()) state_.SelRange = RangeScroll->maximum();
    RangeScroll->setValue(state_.SelRange);
    // Also when the scroll bar already stood there: the labels show the full scale from the start.
    ShowRange();
    if (state_.SelSign != 0) {
        Minus->setChecked(true);
        minusClicked();
    } else {
        Plus->setChecked(true);
        plusClicked();
    }
    if (state_.Connection == 1) state_.DllMissing = transport_.probeLibrary() ? 0 : 1;
}

void frmKal270::readSettings() {
    const zdx::SettingsStore store(kApplication);
    state_.SelRange = atMost(store.readInt(QStringLiteral("Q270Range"), 1), 1, 6, 1);
    state_.SelChannel = atMost(store.readInt(QStringLiteral("Q270Chann"), 0), 0, 15, 0);
    state_.SelSign = store.readInt(QStringLiteral("Q270Signe"), 0) != 0 ? 1 : 0;
    state_.SelPercent = within(store.readInt(QStringLiteral("Q270Proze"), 0), 0, 10, 0);
    ComIncrement = static_cast<std::int16_t>(
        within(store.readInt(QStringLiteral("Q270COMxincr"), 0), 0, 7, 0));
    state_.Connection = within(store.readInt(QStringLiteral("Connection"), 1), 1, 3, 1);
}

void frmKal270::applyOptions(const QString& commandLine) {
    const Options options = parseOptions(commandLine.toStdString());
    if (options.special) {
        Commandsp->setEnabled(true);
        Commandsp->setVisible(true);
    } else if (options.loadMode) {
        Commandsp->setEnabled(true);
        Commandsp->setVisible(true);
        Commandsp->setText(QStringLiteral("Load high"));
        state_.LoadMode = 1;
    } else if (options.relayClean) {
        RelayBytes = options.RelayBytes;
        RelRef->setEnabled(true);
        RelRef->setVisible(true);
    }
    DevFilter = options.DevFilter.value_or("");
    IdFilter = options.IdFilter.value_or("");
    setWindowTitle(QString::fromStdString(captionFor(options)));
}

void frmKal270::shutDown() {
    if (shutDownDone_) return;
    shutDownDone_ = true;
    TimerTick->stop();
    guarded([this] { transport_.CloseLink(); });
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
    for (QPushButton* b : {CommandUSBb, CommandCOM1, CommandCOM2})
        zdx::setBackColour(b, zdx::kColourButtonFace);
    CommandCOM2->setText(QStringLiteral("COM%1").arg(2 + ComIncrement));
    if (closeFirst) guarded([this] { transport_.CloseLink(); });
    state_.Connection = conn;
    if (conn == 1) {
        zdx::setBackColour(CommandUSBb, zdx::kColourYellow);
        state_.DllMissing = 0;
        if (!transport_.probeLibrary()) {
            state_.LinkState = 0;
            state_.DllMissing = 1;
            return;
        }
    } else {
        zdx::setBackColour(conn == 2 ? CommandCOM1 : CommandCOM2, zdx::kColourYellow);
        state_.DllMissing = 0;
    }
    state_.LinkState = 0;
    TickPhase = 0;
    flushPaint();
    directTimerEvent();
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
    TimerTick->start(kTimerIntervalMs * std::max<int>(1, state_.CycleCountdown));
}

void frmKal270::runCycle() {
    // Timer events keep arriving while a linearity run or a trim search lets
    // window events through; a cycle inside them would send settings and take
    // their stop.
    if (scanActive_ || (results_ && results_->busy())) return;
    guarded([this] { animate(); });
    std::string id;  // the device ID of this cycle's connection attempt
    if (state_.LinkState == 0) stateNotConnected(id);
    if (state_.LinkState == 1) guarded([this] { stateGoingOnline(); });
    if (state_.LinkState == 2) stateOnline(id);
    if (state_.LinkState == 3) stateResultsView();
    if (state_.LinkState == 4) stateReopenResults();
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
    txtMessages->setProperty("messageText", text);
    const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (txtMessages->toPlainText() != shown) txtMessages->setPlainText(shown);
    if (zdx::foreColour(txtMessages) != colour) zdx::setForeColour(txtMessages, colour);
    messageSet_ = true;
}

void frmKal270::showCondition(const QString& text) {
    if (Textremo->text() != text) Textremo->setText(text);
    Textremo->setVisible(true);
}

void frmKal270::stateNotConnected(std::string& id) {
    guarded([this] {
        transport_.ClearStop();
        Textremo->setVisible(false);
    });
    // Every attempt replaces the whole message; one that ends without a message leaves it empty.
    messageSet_ = false;
    stateAttempt(id);
    if (!messageSet_) guarded([this] { setMessages(QString(), zdx::kColourBlack); });
}

void frmKal270::stateAttempt(std::string& id) {
    if (state_.DllMissing != 0) {
        setMessages(QStringLiteral("Error: ZDXUSBCAL.DLL not found !\r\nno operation possible"),
                    zdx::kColourRed);
        return;
    }
    if (state_.Connection == 1)
        connectUsb(id);
    else
        connectSerial(id);
}

void frmKal270::connectUsb(std::string& id) {
    guarded([this] { zdx::setBackColour(CommandUSBb, zdx::kColourYellow); });
    guarded([this, &id] {
        const UsbDeviceInfo info = transport_.usb().deviceInfo(DevFilter, IdFilter);
        state_.DeviceSerial = info.serial;
        id = info.string6;
        if (info.result < 0) {
            setMessages(QStringLiteral("\r\n\r\nno USB device found"), zdx::kColourRed);
            return;
        }
        state_.LinkState = 1;
        const QString serial = fromLatin1(state_.DeviceSerial);
        if (state_.DeviceSerial.rfind("KX", 0) == 0)
            setMessages(QStringLiteral("Connected via NVQ + KX, USB device\r\nSNo: ") + serial,
                        zdx::kColourBlack);
        else
            setMessages(QStringLiteral("Connected to ZDX USB device\r\nSNo: ") + serial +
                            QStringLiteral("     ID: ") + fromLatin1(id),
                        zdx::kColourBlack);
        guarded([this, &id] { applyDeviceProfile(id); });
        HBr->setVisible(false);
        HBr->setCheckState(Qt::Unchecked);
        state_.HBState = 0;
        if (state_.DeviceSerial.find("Q270H") != std::string::npos) HBr->setVisible(true);
        zdx::setBackColour(CommandUSBb, zdx::kColourGreen);
    });
    state_.ReplyState = 0;
}

void frmKal270::connectSerial(std::string& id) {
    guarded([this] {
        MSComm1.setPortNumber(state_.Connection == 3 ? 2 + ComIncrement : state_.Connection - 1);
        MSComm1.setSettings(QStringLiteral("9600,E,8,1"));
        MSComm1.setOpen(true);
    });
    if (!MSComm1.isOpen()) {
        setMessages(QStringLiteral("Error accessing COM port"), zdx::kColourRed);
        return;
    }
    zdx::setBackColour(state_.Connection == 2 ? CommandCOM1 : CommandCOM2, zdx::kColourGreen);
    guarded([this, &id] {
        id = cleanSerialIdentification(transport_.QueryCom("SNR?0"));
        state_.DeviceSerial = cleanSerialIdentification(transport_.QueryCom("SNR?1"));
    });
    setMessages(QStringLiteral("Connection via serial line\r\nSNo: ") +
                    fromLatin1(state_.DeviceSerial) + QStringLiteral("     ID: ") + fromLatin1(id),
                zdx::kColourBlack);
    guarded([this, &id] { applyDeviceProfile(id); });
    state_.LinkState = 1;
}

void frmKal270::applyDeviceProfile(const std::string& id) {
    const int maximum = channelMaximumFor(id);
    if (maximum <= 8 && state_.SelChannel > maximum) {
        // The channel falls back to 0 on the panel as well, not only in the variable.
        state_.SelChannel = 0;
        ChanScroll->setValue(0);
    }
    ChanScroll->setMaximum(maximum);
    for (std::size_t i = 9; i < Channel.size(); ++i)
        Channel[i]->setVisible(static_cast<int>(i) <= maximum);
}

void frmKal270::stateGoingOnline() {
    state_.BeepState = 0;
    state_.LinkState = 2;
    state_.ScanRequest = 0;
    RangeProbeDone = 0;
}

void frmKal270::stateOnline(const std::string& id) {
    if (RangeProbeDone == 0) guarded([this, &id] { probeRanges(id); });
    guarded([this] { transport_.SendSettings(state_.BeepState); });
    if (state_.StopRequest == 0) guarded([this] { showConditions(); });
    if (state_.ScanRequest != 0) state_.LinkState = 3;
}

void frmKal270::probeRanges(const std::string& id) {
    setRangeScrollWidth(kRangeScrollWidthFive);
    Range[5]->setVisible(false);
    const int savedRange = state_.SelRange;
    const int savedSign = state_.SelSign;
    state_.SelSign = kProbeMode;
    state_.SelRange = 6;
    guarded([this] { transport_.SendSettings(state_.BeepState); });
    state_.SelRange = savedRange;
    state_.SelSign = savedSign;
    state_.RangeTable = rangeTableFor(id);
    if (state_.ReplyState == 2) {
        setRangeScrollWidth(kRangeScrollWidthSix);
        RangeScroll->setMaximum(6);
        Range[5]->setVisible(true);
        RangeProbeDone = 2;
    } else {
        if (RangeScroll->value() == 6) RangeScroll->setValue(5);
        RangeScroll->setMaximum(5);
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
    if (reply == 1) condition = QStringLiteral("Q270 bell !");
    if (state_.Connection == 1) {
        if (reply == 0)
            state_.LinkState = 0;
        else if (reply == 3)
            condition = QStringLiteral("No Q270 connected to USB bus !");
    } else if (reply == 3) {
        condition = QStringLiteral("No answer from Q270");
    }
    if (condition.isEmpty())
        Textremo->setVisible(false);
    else
        showCondition(condition);
}

}  // namespace q270
