#include "frm_kal270.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "application.h"
#include "colour_value.h"
#include "frm_results.h"

namespace q270 {

namespace {

// Text boxes are grey: the colour of the button face.
constexpr std::uint32_t kTextBoxGrey = zdx::kColourButtonFace;

void makeBold(QWidget* widget, int pointSize = 0) {
    QFont font = widget->font();
    font.setBold(true);
    if (pointSize > 0) font.setPointSize(pointSize);
    widget->setFont(font);
}

QScrollBar* horizontalScroll(const char* name, int minimum, int maximum, QWidget* parent) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(minimum, maximum);
    bar->setPageStep(1);
    return bar;
}

// A row of option buttons without captions, one per position of a scroll bar,
// spread over the scroll bar's width.
template <std::size_t N>
QHBoxLayout* optionRow(std::array<QRadioButton*, N>& buttons, const char* name, QWidget* parent) {
    auto* row = new QHBoxLayout;
    for (std::size_t i = 0; i < N; ++i) {
        buttons[i] = new QRadioButton(parent);
        buttons[i]->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        if (i > 0) row->addStretch(1);
        row->addWidget(buttons[i]);
    }
    return row;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

frmKal270::frmKal270(ProgramState& state, const QString& commandLine, UsbAccess* usb, Clock* clock,
                     QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      clock_(clock == nullptr ? SteadyClock::instance() : *clock),
      ownUsb_(usb == nullptr ? std::make_unique<LibraryUsbAccess>() : nullptr),
      serialPort_(QString::fromLatin1(kQ270Application), this, QStringLiteral("MSComm1")),
      transport_(state, serialPort_, usb == nullptr ? *ownUsb_ : *usb, clock_) {
    setObjectName(QStringLiteral("frmKal270"));
    buildControls();
    connectHandlers();
    transport_.setRepaint([this] { flushPaint(); });
    tickTimer_ = new QTimer(this);
    tickTimer_->setObjectName(QStringLiteral("TimerTick"));
    tickTimer_->setTimerType(Qt::PreciseTimer);
    tickTimer_->setInterval(kTimerIntervalMs);
    connect(tickTimer_, &QTimer::timeout, this, &frmKal270::timerElapsed);
    // The start-up's direct timer event is the first one counted.
    lastTimerEvent_ = clock_.now();
    startUp(commandLine);
    armTimer();
}

frmKal270::~frmKal270() = default;

void frmKal270::buildControls() {
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    left->addWidget(buildChannelGroup());
    left->addWidget(buildRangeGroup());
    left->addWidget(buildPercentGroup());
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(buildSignGroup());
    right->addWidget(buildToggleGroup());
    right->addWidget(buildCommunicationGroup());
    right->addWidget(buildMessageGroup(), 1);
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusPanel1_ = new QLabel(statusBar());
    statusPanel1_->setObjectName(QStringLiteral("Panel1"));
    // A fixed size keeps the marker, rewritten on every cycle, from relaying out
    // the status bar each time.
    statusPanel1_->setFixedSize(240, statusPanel1_->sizeHint().height());
    statusBar()->addWidget(statusPanel1_);
    portWarning_ = new QLabel(statusBar());
    portWarning_->setObjectName(QStringLiteral("PortWarning"));
    zdx::setForeColour(portWarning_, zdx::kColourRed);
    portWarning_->setVisible(false);
    statusBar()->addWidget(portWarning_, 1);
    statusBar()->installEventFilter(this);
    statusPanel1_->installEventFilter(this);
}

QGroupBox* frmKal270::buildChannelGroup() {
    channelGroup_ = new QGroupBox;
    channelGroup_->setObjectName(QStringLiteral("Frame_0"));
    auto* box = new QVBoxLayout(channelGroup_);
    box->addLayout(optionRow(channelOptions_, "Channel", channelGroup_));
    for (std::size_t i = 9; i < channelOptions_.size(); ++i) channelOptions_[i]->setVisible(false);
    channelScroll_ = horizontalScroll("ChanScroll", 0, 8, channelGroup_);
    box->addWidget(channelScroll_);
    channelLabel_ = new QLabel(QStringLiteral("Channel"), channelGroup_);
    channelLabel_->setObjectName(QStringLiteral("ChanLabel"));
    makeBold(channelLabel_, 12);
    box->addWidget(channelLabel_);
    channelOptions_[0]->setChecked(true);
    return channelGroup_;
}

QGroupBox* frmKal270::buildRangeGroup() {
    auto* group = new QGroupBox;
    auto* box = new QVBoxLayout(group);
    // The option buttons sit over the scroll bar, which is as wide as the device's ranges need.
    rangeStrip_ = new QWidget(group);
    auto* strip = new QVBoxLayout(rangeStrip_);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addLayout(optionRow(rangeOptions_, "Range", rangeStrip_));
    rangeOptions_[5]->setVisible(false);
    rangeScroll_ = horizontalScroll("RangeScroll", 1, 6, rangeStrip_);
    rangeScroll_->setValue(1);
    strip->addWidget(rangeScroll_);
    setRangeScrollWidth(kRangeScrollWidthFive);
    box->addWidget(rangeStrip_);
    rangeLabel_ = new QLabel(QStringLiteral("Range"), group);
    rangeLabel_->setObjectName(QStringLiteral("RangeLabel"));
    box->addWidget(rangeLabel_);
    rangeOptions_[0]->setChecked(true);
    return group;
}

void frmKal270::setRangeScrollWidth(int layoutUnits) {
    rangeScroll_->setProperty("layoutWidth", layoutUnits);
    rangeStrip_->setFixedWidth(layoutUnits / kLayoutUnitsPerPixel);
}

QGroupBox* frmKal270::buildPercentGroup() {
    percentGroup_ = new QGroupBox;
    percentGroup_->setObjectName(QStringLiteral("Frame_1"));
    auto* box = new QVBoxLayout(percentGroup_);
    box->addLayout(optionRow(percentOptions_, "Proze", percentGroup_));
    percentScroll_ = horizontalScroll("ProzScroll", 0, 10, percentGroup_);
    box->addWidget(percentScroll_);
    percentLabel_ = new QLabel(QStringLiteral("+ 0 %"), percentGroup_);
    percentLabel_->setObjectName(QStringLiteral("ProzLabel"));
    makeBold(percentLabel_, 12);
    box->addWidget(percentLabel_);
    percentOptions_[0]->setChecked(true);
    return percentGroup_;
}

QGroupBox* frmKal270::buildSignGroup() {
    signGroup_ = new QGroupBox;
    signGroup_->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(signGroup_);
    plusButton_ = button("Plus", QStringLiteral("+"), signGroup_);
    minusButton_ = button("Minus", QStringLiteral("-"), signGroup_);
    for (QPushButton* sign : {plusButton_, minusButton_}) {
        sign->setCheckable(true);
        sign->setAutoExclusive(true);
        makeBold(sign, 12);
    }
    plusButton_->setChecked(true);
    halfBridgeBox_ = new QCheckBox(QStringLiteral("HB"), signGroup_);
    halfBridgeBox_->setObjectName(QStringLiteral("HBr"));
    spezButton_ = button("Commandsp", QStringLiteral("Spez"), signGroup_);
    spezButton_->installEventFilter(this);
    grid->addWidget(plusButton_, 0, 0);
    grid->addWidget(minusButton_, 0, 1);
    grid->addWidget(halfBridgeBox_, 1, 0);
    grid->addWidget(spezButton_, 1, 1);
    return signGroup_;
}

QGroupBox* frmKal270::buildToggleGroup() {
    auto* group = new QGroupBox;
    auto* row = new QHBoxLayout(group);
    readyButton_ = button("Command7", QStringLiteral("Ready"), group);
    beepButton_ = button("Command6", QStringLiteral("Beep"), group);
    relayCleanButton_ = button("RelRef", QStringLiteral("Clean Relais"), group);
    for (QPushButton* b : {readyButton_, beepButton_}) makeBold(b);
    for (QPushButton* b : {readyButton_, beepButton_, relayCleanButton_}) {
        zdx::setBackColour(b, zdx::kColour3DLight);
        row->addWidget(b);
    }
    beepButton_->installEventFilter(this);
    return group;
}

QGroupBox* frmKal270::buildCommunicationGroup() {
    communicationGroup_ = new QGroupBox(QStringLiteral("Communication"));
    communicationGroup_->setObjectName(QStringLiteral("frameTest"));
    auto* row = new QHBoxLayout(communicationGroup_);
    usbButton_ = button("CommandUSBb", QStringLiteral("USB"), communicationGroup_);
    com1Button_ = button("CommandCOM1", QStringLiteral("COM1"), communicationGroup_);
    comNButton_ = button("CommandCOM2", QStringLiteral("COM2"), communicationGroup_);
    comNButton_->setToolTip(QStringLiteral("Click right to change Port"));
    for (QPushButton* b : {usbButton_, com1Button_, comNButton_}) {
        zdx::setBackColour(b, zdx::kColourButtonFace);
        row->addWidget(b);
    }
    comNButton_->installEventFilter(this);
    return communicationGroup_;
}

QGroupBox* frmKal270::buildMessageGroup() {
    messageGroup_ = new QGroupBox(QStringLiteral("Messages"));
    messageGroup_->setObjectName(QStringLiteral("frameMeldungen"));
    auto* box = new QVBoxLayout(messageGroup_);
    messages_ = new QPlainTextEdit(messageGroup_);
    messages_->setObjectName(QStringLiteral("txtMessages"));
    messages_->setReadOnly(true);
    messages_->setMinimumSize(260, 70);
    zdx::setBackColour(messages_, kTextBoxGrey);
    zdx::setForeColour(messages_, zdx::kColourBlack);
    conditionBox_ = new QLineEdit(messageGroup_);
    conditionBox_->setObjectName(QStringLiteral("Textremo"));
    conditionBox_->setReadOnly(true);
    zdx::setBackColour(conditionBox_, kTextBoxGrey);
    conditionBox_->setVisible(false);
    box->addWidget(messages_, 1);
    box->addWidget(conditionBox_);
    return messageGroup_;
}

void frmKal270::connectHandlers() {
    for (std::size_t i = 0; i < channelOptions_.size(); ++i)
        connect(channelOptions_[i], &QRadioButton::clicked, this,
                [this, i] { channelClicked(static_cast<int>(i)); });
    connect(channelScroll_, &QScrollBar::valueChanged, this, &frmKal270::chanScrollChanged);
    for (std::size_t i = 0; i < rangeOptions_.size(); ++i)
        connect(rangeOptions_[i], &QRadioButton::clicked, this,
                [this, i] { rangeClicked(static_cast<int>(i)); });
    connect(rangeScroll_, &QScrollBar::valueChanged, this, &frmKal270::rangeScrollChanged);
    for (std::size_t i = 0; i < percentOptions_.size(); ++i)
        connect(percentOptions_[i], &QRadioButton::clicked, this,
                [this, i] { prozeClicked(static_cast<int>(i)); });
    connect(percentScroll_, &QScrollBar::valueChanged, this, &frmKal270::percentLabelUpdate);
    connect(plusButton_, &QPushButton::clicked, this, &frmKal270::plusClicked);
    connect(minusButton_, &QPushButton::clicked, this, &frmKal270::minusClicked);
    connect(halfBridgeBox_, &QCheckBox::clicked, this, &frmKal270::hbrClicked);
    connect(readyButton_, &QPushButton::clicked, this, &frmKal270::readyClicked);
    connect(spezButton_, &QPushButton::clicked, this, &frmKal270::spezClicked);
    connect(relayCleanButton_, &QPushButton::clicked, this, &frmKal270::relRefClicked);
    connect(usbButton_, &QPushButton::clicked, this, [this] { SelectConnection(kConnUsb, true); });
    connect(com1Button_, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnCom1, true); });
    connect(comNButton_, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnComN, true); });
}

bool frmKal270::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // Qt delivers the second press of a quick pair as a double-click: it is a
    // press all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (!press && type != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (watched == beepButton_) {
        // Any mouse button holds the beeper, not only the one that clicks.
        if (press)
            beepPressed();
        else
            beepReleased();
        return mouse->button() != Qt::LeftButton;
    }
    if (watched == comNButton_ && press && mouse->button() == Qt::RightButton) {
        com2RightPressed();
        return true;
    }
    if (watched == spezButton_ && press && mouse->button() == Qt::RightButton) {
        spezRightPressed();
        return true;
    }
    if ((watched == statusBar() || watched == statusPanel1_) && press) {
        statusBarClicked();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmKal270::flushPaint() {
    // Paints what is pending now, without handling any other window event.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

}  // namespace q270
