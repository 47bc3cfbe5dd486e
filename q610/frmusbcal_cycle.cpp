// The working cycle of the Q610 panel: connecting, restoring the panel,
// sending the output byte every 300 ms, and the buttons that change it.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <cstring>

#include "calibrator_library.h"
#include "colour_value.h"
#include "frmusbcal.h"
#include "output_bits.h"
#include "q610_protocol.h"
#include "skip_on_error.h"

using namespace zdx::q610;

namespace {

// Every text buffer handed to discovery: 200 NULs (empty filters) plus the NUL
// the library may write after a text of full capacity.
constexpr int kTextBufferChars = 200;
using TextBuffer = std::array<char, kTextBufferChars + 1>;

// The text the library returned, cut to its returned length; never reads past
// the buffer whatever length the library reports.
std::string returnedText(const TextBuffer& buffer, int length) {
    const std::size_t limit = length < 0 ? 0 : std::min<std::size_t>(length, kTextBufferChars);
    std::string text(buffer.data(), strnlen(buffer.data(), limit));
    return text == "(null)" ? std::string() : text;
}

// A failed library call leaves its result at this value, so it counts as a
// failure rather than as success.
constexpr int kCallFailed = -1;

}  // namespace

void frmusbCal::tick() {
    skipOnError([&] {
        TickPhase = nextTickPhase(TickPhase, Connection);
        statusPanel1_->setText(QString::fromStdString(tickPhaseText(TickPhase)));
    });
    skipOnError([&] { unsetCursor(); });
    if (LinkState == 0) skipOnError([&] { connectStep(); });
    if (LinkState == 1) skipOnError([&] { restoreStep(); });
    if (LinkState == 2) skipOnError([&] { runningStep(); });
}

void frmusbCal::showMessage(const QString& text, bool error) {
    zdx::setForeColour(txtMessages, error ? zdx::kColourRed : zdx::kColourBlack);
    // The text box shows CR LF as one line break; the text as set, CR LF
    // included, stays readable in its "messageText" property.
    txtMessages->setProperty("messageText", text);
    QString shown = text;
    txtMessages->setPlainText(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void frmusbCal::showRemark(const QString& text) {
    Textremo->setText(text);
    Textremo->setVisible(true);
}

void frmusbCal::connectStep() {
    skipOnError([&] { ResetStepButtons(); });
    skipOnError([&] { Textremo->setVisible(false); });
    skipOnError([&] { showMessage(QString(), false); });
    if (DllMissing) {
        showMessage(QStringLiteral("Error: ZDXUSBCAL.DLL not found !\r\nno operation possible"),
                    true);
    } else if (Connection == kConnectionUsb) {
        connectUsb();
    } else {
        connectLpt();
    }
}

void frmusbCal::connectUsb() {
    TextBuffer serial{}, string4{}, string5{}, string6{};
    int count = 0, serialLength = 0, string4Length = 0, string5Length = 0, string6Length = 0;
    int r = kCallFailed;
    skipOnError([&] {
        r = zdx::CalibratorLibrary::instance().GetUSBDeviceInfo(
            &count, serial.data(), &serialLength, string4.data(), &string4Length, string5.data(),
            &string5Length, string6.data(), &string6Length);
    });
    DeviceSerial = returnedText(serial, serialLength);
    const std::string identification = returnedText(string6, string6Length);
    if (r < 0) {
        showMessage(QStringLiteral("\r\n\r\nno USB device found"), true);
    } else {
        LinkState = 1;
        const QString serialText = QString::fromLatin1(DeviceSerial.c_str());
        if (isInterfaceModule(DeviceSerial)) {
            showMessage(QStringLiteral("Connected via NVQ + KX, USB device\r\nSNo: ") + serialText,
                        false);
        } else {
            showMessage(QStringLiteral("Connected to Q610, USB device\r\nSNo: ") + serialText +
                            QStringLiteral("     ID: ") +
                            QString::fromLatin1(identification.c_str()),
                        false);
        }
        zdx::setBackColour(CommandUSBb, zdx::kColourGreen);
    }
    ReplyState = kReplyFailed;
}

void frmusbCal::connectLpt() {
    int r = kCallFailed;
    skipOnError([&] { r = zdx::CalibratorLibrary::instance().CommandLPT(0, Connection - 2); });
    if (r == -10) {
        showMessage(QStringLiteral("Error: the Win NT port I/O driver is not installed.\r\n"
                                   "Run the program PORTINST.EXE from ZDX CD"),
                    true);
    } else if (r != 0) {
        showMessage(QStringLiteral("Error accessing LPT port"), true);
    } else {
        zdx::setBackColour(connectionButton(Connection), zdx::kColourGreen);
        showMessage(QStringLiteral("\r\nQ610 must be switched to 'REMOTE'"), false);
        LinkState = 1;
    }
}

void frmusbCal::restoreStep() {
    const RestoredPanel panel = restorePanel(OutputBits);
    OutputBits = panel.outputBits;
    zdx::setBackColour(stepButtons_[panel.stepIndex], zdx::kColourYellow);
    if (readyIsOn(OutputBits)) zdx::setBackColour(Command7, zdx::kColourGreen);
    LinkState = 2;
}

void frmusbCal::runningStep() {
    skipOnError([&] { SendOutputBits(OutputBits); });
    if (PortDisplayOn) return;
    Textremo->setVisible(false);
    if (Connection == kConnectionUsb) {
        switch (ReplyState) {
            case kReplyFailed:
                // Not connected any more: the button shows the connection as chosen only.
                LinkState = 0;
                zdx::setBackColour(CommandUSBb, zdx::kColourYellow);
                break;
            case kReplyAnswered:
                showRemark(QStringLiteral("Switch Q610 to REMOTE !"));
                break;
            case kReplyNoQ610:
                showRemark(QStringLiteral("No Q610 connected to USB bus !"));
                break;
            default:
                break;
        }
    } else if (ReplyState == kReplyFailed) {
        showRemark(QStringLiteral("LPT-Port not found on this Computer"));
    }
}

void frmusbCal::SendOutputBits(int v) {
    OutputBits = v;
    int length = v;
    const std::string command = outputCommand(v, DeviceSerial);
    // The answer comes back in the command's buffer, never longer than the command.
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    int r = kCallFailed;
    skipOnError([&] {
        r = zdx::CalibratorLibrary::instance().CalCommand(Connection - 1, DeviceSerial.c_str(),
                                                          buffer.data(), &length);
    });
    buffer.back() = '\0';
    if (Connection == kConnectionUsb)
        ReplyState = judgeUsbReply(r, buffer.front(), length);
    else
        ReplyState = judgeLptReply(r, v, length);
}

void frmusbCal::ResetStepButtons() {
    for (QPushButton* button : stepButtons_) zdx::setBackColour(button, zdx::kColour3DLight);
    zdx::setBackColour(Command7, zdx::kColour3DLight);
    PortDisplayOn = false;
}

void frmusbCal::SelectConnection(int t) {
    if (DllMissing) return;
    PortDisplayOn = false;
    for (QPushButton* button : {CommandUSBb, CommandLPT1, CommandLPT2})
        zdx::setBackColour(button, zdx::kColourButtonFace);
    CloseLink();
    Connection = t;
    zdx::setBackColour(connectionButton(Connection), zdx::kColourYellow);
    TickPhase = 0;
    LinkState = 0;
    tick();
}

// Without the library the buttons below have nothing to drive: they do nothing.

void frmusbCal::stepClick(int stepIndex) {
    if (DllMissing) return;
    ResetStepButtons();
    zdx::setBackColour(stepButtons_[stepIndex], zdx::kColourYellow);
    SendOutputBits(afterStepClick(OutputBits, stepValue(stepIndex)));
    // The step keeps the ready lamp on, and its button says so.
    if (readyIsOn(OutputBits)) zdx::setBackColour(Command7, zdx::kColourGreen);
}

void frmusbCal::Command6_MouseDown() {
    if (DllMissing) return;
    zdx::setBackColour(Command6, zdx::kColourRed);
    SendOutputBits(afterBeepPress(OutputBits));
}

void frmusbCal::Command6_MouseUp() {
    if (DllMissing) return;
    zdx::setBackColour(Command6, zdx::kColour3DLight);
    SendOutputBits(afterBeepRelease(OutputBits));
}

void frmusbCal::Command7_Click() {
    if (DllMissing) return;
    zdx::setBackColour(Command7, readyIsOn(OutputBits) ? zdx::kColour3DLight : zdx::kColourGreen);
    SendOutputBits(afterReadyToggle(OutputBits));
}
