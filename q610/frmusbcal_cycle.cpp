// The working cycle of the Q610 panel: connecting, restoring the panel,
// sending the output byte every 300 ms, and the buttons that change it.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "calibrator_library.h"
#include "colour_value.h"
#include "frmusbcal.h"
#include "output_bits.h"
#include "q610_protocol.h"
#include "skip_step.h"

using namespace zdx::q610;
using zdx::skipOnError;

void frmusbCal::tick() {
    skipOnError("traffic indicator", [&] {
        TickPhase = nextTickPhase(TickPhase, Connection);
        statusPanel1_->setText(QString::fromStdString(tickPhaseText(TickPhase)));
    });
    skipOnError("cursor", [&] { unsetCursor(); });
    // Plain ifs, not else-ifs: each test sees the state the step before it
    // left, so the tick that connects also restores the panel and sends.
    if (LinkState == kLinkNotConnected) skipOnError("connecting", [&] { connectStep(); });
    if (LinkState == kLinkConnected) skipOnError("restoring the panel", [&] { restoreStep(); });
    if (LinkState == kLinkRunning) skipOnError("sending", [&] { runningStep(); });
}

void frmusbCal::showMessage(const QString& text, bool error) {
    zdx::setForeColour(messages_, error ? zdx::kColourRed : zdx::kColourBlack);
    // The text box shows CR LF as one line break; the text as set, CR LF
    // included, stays readable in its "messageText" property.
    messages_->setProperty("messageText", text);
    QString shown = text;
    messages_->setPlainText(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void frmusbCal::showRemark(const QString& text) {
    remark_->setText(text);
    remark_->setVisible(true);
}

void frmusbCal::connectStep() {
    skipOnError("resetting the steps", [&] { resetStepButtons(); });
    skipOnError("hiding the remark", [&] { remark_->setVisible(false); });
    skipOnError("clearing the messages", [&] { showMessage(QString(), false); });
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
    // A discovery that cannot be made at all leaves the info failed and empty.
    zdx::DeviceInfo info;
    skipOnError("USB discovery", [&] { info = zdx::discover(); });
    DeviceSerial = info.serial;
    const std::string& identification = info.string6;
    if (info.result < 0) {
        showMessage(QStringLiteral("\r\n\r\nno USB device found"), true);
    } else {
        LinkState = kLinkConnected;
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
        zdx::setBackColour(usbButton_, zdx::kColourGreen);
    }
    ReplyState = kReplyFailed;
}

void frmusbCal::connectLpt() {
    // A call that cannot be made counts as refused.
    int r = ZDXUSBCAL_LPT_REFUSED;
    skipOnError("opening the port", [&] {
        r = zdx::CalibratorLibrary::instance().CommandLPT(ZDXUSBCAL_LPT_OPEN,
                                                          lptPortNumber(Connection));
    });
    if (r == ZDXUSBCAL_LPT_NO_DRIVER) {
        showMessage(QStringLiteral("Error: the Win NT port I/O driver is not installed.\r\n"
                                   "Run the program PORTINST.EXE from ZDX CD"),
                    true);
    } else if (r != ZDXUSBCAL_OK) {
        showMessage(QStringLiteral("Error accessing LPT port"), true);
    } else {
        zdx::setBackColour(connectionButton(Connection), zdx::kColourGreen);
        showMessage(QStringLiteral("\r\nQ610 must be switched to 'REMOTE'"), false);
        LinkState = kLinkConnected;
    }
}

void frmusbCal::restoreStep() {
    const RestoredPanel panel = restorePanel(OutputBits);
    OutputBits = panel.outputBits;
    zdx::setBackColour(stepButtons_[panel.stepIndex], zdx::kColourYellow);
    if (readyIsOn(OutputBits)) zdx::setBackColour(readyButton_, zdx::kColourGreen);
    LinkState = kLinkRunning;
}

void frmusbCal::runningStep() {
    skipOnError("SendOutputBits", [&] { SendOutputBits(OutputBits); });
    if (PortDisplayOn) return;
    remark_->setVisible(false);
    if (Connection == kConnectionUsb) {
        switch (ReplyState) {
            case kReplyFailed:
                // Not connected any more: the button shows the connection as chosen only.
                LinkState = kLinkNotConnected;
                zdx::setBackColour(usbButton_, zdx::kColourYellow);
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
    // In: the value; out: the answer's length (USB) or the registers read back (LPT).
    int length = v;
    // A call that cannot be made counts as refused.
    int r = ZDXUSBCAL_CMD_REFUSED;
    if (Connection == kConnectionUsb) {
        std::string line = outputCommand(v, DeviceSerial);
        skipOnError("USB exchange", [&] { r = zdx::exchange(DeviceSerial, line, &length); });
        ReplyState = judgeUsbReply(r, line.empty() ? '\0' : line.front(), length);
        return;
    }
    skipOnError("port write", [&] {
        r = zdx::CalibratorLibrary::instance().CalCommand(lptWriteFunction(Connection),
                                                          DeviceSerial.c_str(), nullptr, &length);
    });
    ReplyState = judgeLptReply(r, v, length);
}

void frmusbCal::resetStepButtons() {
    for (QPushButton* button : stepButtons_) zdx::setBackColour(button, zdx::kColour3DLight);
    zdx::setBackColour(readyButton_, zdx::kColour3DLight);
    PortDisplayOn = false;
}

void frmusbCal::SelectConnection(int t) {
    if (DllMissing) return;
    PortDisplayOn = false;
    for (QPushButton* button : {usbButton_, lpt1Button_, lpt2Button_})
        zdx::setBackColour(button, zdx::kColourButtonFace);
    CloseLink();
    Connection = t;
    zdx::setBackColour(connectionButton(Connection), zdx::kColourYellow);
    TickPhase = 0;
    LinkState = kLinkNotConnected;
    tick();
}

// Without the library the buttons below have nothing to drive: they do nothing.

void frmusbCal::stepClick(int stepIndex) {
    if (DllMissing) return;
    resetStepButtons();
    zdx::setBackColour(stepButtons_[stepIndex], zdx::kColourYellow);
    SendOutputBits(afterStepClick(OutputBits, stepValue(stepIndex)));
    // The step keeps the ready lamp on, and its button says so.
    if (readyIsOn(OutputBits)) zdx::setBackColour(readyButton_, zdx::kColourGreen);
}

void frmusbCal::beepPressed() {
    if (DllMissing) return;
    zdx::setBackColour(beepButton_, zdx::kColourRed);
    SendOutputBits(afterBeepPress(OutputBits));
}

void frmusbCal::beepReleased() {
    if (DllMissing) return;
    zdx::setBackColour(beepButton_, zdx::kColour3DLight);
    SendOutputBits(afterBeepRelease(OutputBits));
}

void frmusbCal::readyClicked() {
    if (DllMissing) return;
    zdx::setBackColour(readyButton_,
                       readyIsOn(OutputBits) ? zdx::kColour3DLight : zdx::kColourGreen);
    SendOutputBits(afterReadyToggle(OutputBits));
}
