// Front-panel handlers of frmKal270. Selections flow one way: an option button
// moves its scroll bar; the scroll bar's change sets the variable, selects the
// option button and rewrites the label.
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "colour_value.h"
#include "device_profile.h"
#include "frm_kal270.h"

namespace q270 {

namespace {

char localeDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? point[0].toLatin1() : '.';
}

}  // namespace

void frmKal270::askForCycle() {
    if (state_.LinkState != kLinkOnline) return;
    state_.CycleCountdown = 1;
    if (tickTimer_ != nullptr) armTimer();
}

void frmKal270::ShowRange() {
    state_.FullScale = fullScaleOf(state_.RangeTable, state_.SelRange);
    rangeLabel_->setText(QString::fromStdString(
        rangeLabelText(state_.RangeTable, state_.SelRange, localeDecimalSeparator())));
}

void frmKal270::channelClicked(int index) {
    channelScroll_->setValue(index);
    askForCycle();
}

void frmKal270::chanScrollChanged(int value) {
    state_.SelChannel = value;
    if (value >= 0 && value < static_cast<int>(channelOptions_.size()))
        channelOptions_[value]->setChecked(true);
    channelLabel_->setText(QStringLiteral("Channel %1").arg(value));
    askForCycle();
}

void frmKal270::rangeClicked(int index) {
    rangeScroll_->setValue(index + 1);
    askForCycle();
}

void frmKal270::rangeScrollChanged(int value) {
    state_.SelRange = value;
    if (value >= 1 && value <= static_cast<int>(rangeOptions_.size()))
        rangeOptions_[value - 1]->setChecked(true);
    ShowRange();
    percentLabelUpdate();
    askForCycle();
}

void frmKal270::prozeClicked(int index) {
    percentScroll_->setValue(index);
    askForCycle();
}

void frmKal270::refreshPercentLabel() {
    const bool minus = minusButton_->isChecked();
    state_.SignText.assign(1, minus ? '-' : '+');
    state_.SelPercent = percentScroll_->value();
    if (state_.SelPercent >= 0 && state_.SelPercent < static_cast<int>(percentOptions_.size()))
        percentOptions_[state_.SelPercent]->setChecked(true);
    drawPercentLabel(minus);
}

void frmKal270::drawPercentLabel(bool minus) {
    percentLabel_->setText(
        QString::fromStdString(percentLabelText(state_, minus, localeDecimalSeparator())));
}

void frmKal270::percentLabelUpdate() {
    refreshPercentLabel();
    askForCycle();
}

void frmKal270::plusClicked() {
    state_.SelSign = 0;
    percentLabelUpdate();
}

void frmKal270::minusClicked() {
    state_.SelSign = 1;
    percentLabelUpdate();
}

void frmKal270::hbrClicked() {
    // Travels with the next "K1A" line; nothing is sent now.
    // 0 unchecked, 1 checked, 2 greyed (Qt numbers checked as 2 and greyed as 1).
    const Qt::CheckState check = halfBridgeBox_->checkState();
    state_.HBState = check == Qt::Checked ? 1 : check == Qt::PartiallyChecked ? 2 : 0;
}

void frmKal270::readyClicked() {
    if (state_.ReadyState != 0) {
        zdx::setBackColour(readyButton_, zdx::kColour3DLight);
        state_.ReadyState = 0;
    } else {
        zdx::setBackColour(readyButton_, zdx::kColourYellow);
        state_.ReadyState = 1;
    }
    transport_.SendSettings(state_.BeepState);
    askForCycle();
}

void frmKal270::beepPressed() {
    zdx::setBackColour(beepButton_, zdx::kColourRed);
    transport_.SendSettings(1);
    askForCycle();
    directTimerEvent();
    flushPaint();
}

void frmKal270::beepReleased() {
    zdx::setBackColour(beepButton_, zdx::kColour3DLight);
    transport_.SendSettings(0);
}

void frmKal270::spezClicked() {
    if (state_.LoadMode != 1) {
        // The cycle hands over to the results window once the device is online.
        state_.ScanRequest = 1;
        return;
    }
    if (state_.LoadState != 0) {
        spezButton_->setText(QStringLiteral("Load high"));
        state_.LoadState = 0;
    } else {
        spezButton_->setText(QStringLiteral("Load low"));
        state_.LoadState = 1;
    }
    transport_.SendSettings(state_.BeepState);
}

void frmKal270::relRefClicked() {
    zdx::setBackColour(relayCleanButton_, zdx::kColourYellow);
    flushPaint();
    transport_.cleanRelays(RelayBytes);
    zdx::setBackColour(relayCleanButton_, zdx::kColour3DLight);
}

void frmKal270::com2RightPressed() {
    if (state_.Connection != kConnComN) return;
    ComIncrement = static_cast<std::int16_t>(ComIncrement >= 7 ? 0 : ComIncrement + 1);
    SelectConnection(kConnComN, true);
}

void frmKal270::spezRightPressed() {
    // Re-opens the results view of this run; only an online link can show it.
    if (state_.LinkState == kLinkOnline && state_.ResultsAvailable != 0)
        state_.LinkState = kLinkReopenResults;
}

void frmKal270::statusBarClicked() {
    state_.StopRequest = 1;
}

}  // namespace q270
