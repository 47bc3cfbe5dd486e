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
      MSComm1(QStringLiteral("ZDXKalQ270"), this, QStringLiteral("MSComm1")),
      transport_(state, MSComm1, usb == nullptr ? *ownUsb_ : *usb, clock_) {
    setObjectName(QStringLiteral("frmKal270"));
    buildControls();
    connectHandlers();
    transport_.setRepaint([this] { flushPaint(); });
    TimerTick = new QTimer(this);
    TimerTick->setObjectName(QStringLiteral("TimerTick"));
    TimerTick->setTimerType(Qt::PreciseTimer);
    TimerTick->setInterval(kTimerIntervalMs);
    connect(TimerTick, &QTimer::timeout, this, &frmKal270::timerElapsed);
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
    statusBar()->installEventFilter(this);
    statusPanel1_->installEventFilter(this);
}

QGroupBox* frmKal270::buildChannelGroup() {
    Frame[0] = new QGroupBox;
    Frame[0]->setObjectName(QStringLiteral("Frame_0"));
    auto* box = new QVBoxLayout(Frame[0]);
    box->addLayout(optionRow(Channel, "Channel", Frame[0]));
    for (std::size_t i = 9; i < Channel.size(); ++i) Channel[i]->setVisible(false);
    ChanScroll = horizontalScroll("ChanScroll", 0, 8, Frame[0]);
    box->addWidget(ChanScroll);
    ChanLabel = new QLabel(QStringLiteral("Channel"), Frame[0]);
    ChanLabel->setObjectName(QStringLiteral("ChanLabel"));
    makeBold(ChanLabel, 12);
    box->addWidget(ChanLabel);
    Channel[0]->setChecked(true);
    return Frame[0];
}

QGroupBox* frmKal270::buildRangeGroup() {
    auto* group = new QGroupBox;
    auto* box = new QVBoxLayout(group);
    // The option buttons sit over the scroll bar, which is as wide as the device's ranges need.
    rangeStrip_ = new QWidget(group);
    auto* strip = new QVBoxLayout(rangeStrip_);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addLayout(optionRow(Range, "Range", rangeStrip_));
    Range[5]->setVisible(false);
    RangeScroll = horizontalScroll("RangeScroll", 1, 6, rangeStrip_);
    RangeScroll->setValue(1);
    strip->addWidget(RangeScroll);
    setRangeScrollWidth(kRangeScrollWidthFive);
    box->addWidget(rangeStrip_);
    RangeLabel = new QLabel(QStringLiteral("Range"), group);
    RangeLabel->setObjectName(QStringLiteral("RangeLabel"));
    box->addWidget(RangeLabel);
    Range[0]->setChecked(true);
    return group;
}

void frmKal270::setRangeScrollWidth(int layoutUnits) {
    RangeScroll->setProperty("layoutWidth", layoutUnits);
    rangeStrip_->setFixedWidth(layoutUnits / kLayoutUnitsPerPixel);
}

QGroupBox* frmKal270::buildPercentGroup() {
    Frame[1] = new QGroupBox;
    Frame[1]->setObjectName(QStringLiteral("Frame_1"));
    auto* box = new QVBoxLayout(Frame[1]);
    box->addLayout(optionRow(Proze, "Proze", Frame[1]));
    ProzScroll = horizontalScroll("ProzScroll", 0, 10, Frame[1]);
    box->addWidget(ProzScroll);
    ProzLabel = new QLabel(QStringLiteral("+ 0 %"), Frame[1]);
    ProzLabel->setObjectName(QStringLiteral("ProzLabel"));
    makeBold(ProzLabel, 12);
    box->addWidget(ProzLabel);
    Proze[0]->setChecked(true);
    return Frame[1];
}

QGroupBox* frmKal270::buildSignGroup() {
    Frame1 = new QGroupBox;
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(Frame1);
    Plus = button("Plus", QStringLiteral("+"), Frame1);
    Minus = button("Minus", QStringLiteral("-"), Frame1);
    for (QPushButton* sign : {Plus, Minus}) {
        sign->setCheckable(true);
        sign->setAutoExclusive(true);
        makeBold(sign, 12);
    }
    Plus->setChecked(true);
    HBr = new QCheckBox(QStringLiteral("HB"), Frame1);
    HBr->setObjectName(QStringLiteral("HBr"));
    Commandsp = button("Commandsp", QStringLiteral("Spez"), Frame1);
    Commandsp->installEventFilter(this);
    grid->addWidget(Plus, 0, 0);
    grid->addWidget(Minus, 0, 1);
    grid->addWidget(HBr, 1, 0);
    grid->addWidget(Commandsp, 1, 1);
    return Frame1;
}

QGroupBox* frmKal270::buildToggleGroup() {
    auto* group = new QGroupBox;
    auto* row = new QHBoxLayout(group);
    Command7 = button("Command7", QStringLiteral("Ready"), group);
    Command6 = button("Command6", QStringLiteral("Beep"), group);
    RelRef = button("RelRef", QStringLiteral("Clean Relais"), group);
    for (QPushButton* b : {Command7, Command6}) makeBold(b);
    for (QPushButton* b : {Command7, Command6, RelRef}) {
        zdx::setBackColour(b, zdx::kColour3DLight);
        row->addWidget(b);
    }
    Command6->installEventFilter(this);
    return group;
}

QGroupBox* frmKal270::buildCommunicationGroup() {
    frameTest = new QGroupBox(QStringLiteral("Communication"));
    frameTest->setObjectName(QStringLiteral("frameTest"));
    auto* row = new QHBoxLayout(frameTest);
    CommandUSBb = button("CommandUSBb", QStringLiteral("USB"), frameTest);
    CommandCOM1 = button("CommandCOM1", QStringLiteral("COM1"), frameTest);
    CommandCOM2 = button("CommandCOM2", QStringLiteral("COM2"), frameTest);
    CommandCOM2->setToolTip(QStringLiteral("Click right to change Port"));
    for (QPushButton* b : {CommandUSBb, CommandCOM1, CommandCOM2}) {
        zdx::setBackColour(b, zdx::kColourButtonFace);
        row->addWidget(b);
    }
    CommandCOM2->installEventFilter(this);
    return frameTest;
}

QGroupBox* frmKal270::buildMessageGroup() {
    frameMeldungen = new QGroupBox(QStringLiteral("Messages"));
    frameMeldungen->setObjectName(QStringLiteral("frameMeldungen"));
    auto* box = new QVBoxLayout(frameMeldungen);
    txtMessages = new QPlainTextEdit(frameMeldungen);
    txtMessages->setObjectName(QStringLiteral("txtMessages"));
    txtMessages->setReadOnly(true);
    txtMessages->setMinimumSize(260, 70);
    zdx::setBackColour(txtMessages, kTextBoxGrey);
    zdx::setForeColour(txtMessages, zdx::kColourBlack);
    Textremo = new QLineEdit(frameMeldungen);
    Textremo->setObjectName(QStringLiteral("Textremo"));
    Textremo->setReadOnly(true);
    zdx::setBackColour(Textremo, kTextBoxGrey);
    Textremo->setVisible(false);
    box->addWidget(txtMessages, 1);
    box->addWidget(Textremo);
    return frameMeldungen;
}

void frmKal270::connectHandlers() {
    for (std::size_t i = 0; i < Channel.size(); ++i)
        connect(Channel[i], &QRadioButton::clicked, this,
                [this, i] { channelClicked(static_cast<int>(i)); });
    connect(ChanScroll, &QScrollBar::valueChanged, this, &frmKal270::chanScrollChanged);
    for (std::size_t i = 0; i < Range.size(); ++i)
        connect(Range[i], &QRadioButton::clicked, this,
                [this, i] { rangeClicked(static_cast<int>(i)); });
    connect(RangeScroll, &QScrollBar::valueChanged, this, &frmKal270::rangeScrollChanged);
    for (std::size_t i = 0; i < Proze.size(); ++i)
        connect(Proze[i], &QRadioButton::clicked, this,
                [this, i] { prozeClicked(static_cast<int>(i)); });
    connect(ProzScroll, &QScrollBar::valueChanged, this, &frmKal270::percentLabelUpdate);
    connect(Plus, &QPushButton::clicked, this, &frmKal270::plusClicked);
    connect(Minus, &QPushButton::clicked, this, &frmKal270::minusClicked);
    connect(HBr, &QCheckBox::clicked, this, &frmKal270::hbrClicked);
    connect(Command7, &QPushButton::clicked, this, &frmKal270::readyClicked);
    connect(Commandsp, &QPushButton::clicked, this, &frmKal270::spezClicked);
    connect(RelRef, &QPushButton::clicked, this, &frmKal270::relRefClicked);
    connect(CommandUSBb, &QPushButton::clicked, this, [this] { SelectConnection(1, true); });
    connect(CommandCOM1, &QPushButton::clicked, this, [this] { SelectConnection(2, true); });
    connect(CommandCOM2, &QPushButton::clicked, this, [this] { SelectConnection(3, true); });
}

bool frmKal270::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // Qt delivers the second press of a quick pair as a double-click: it is a
    // press all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (!press && type != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (watched == Command6) {
        // Any mouse button holds the beeper, not only the one that clicks.
        if (press)
            beepPressed();
        else
            beepReleased();
        return mouse->button() != Qt::LeftButton;
    }
    if (watched == CommandCOM2 && press && mouse->button() == Qt::RightButton) {
        com2RightPressed();
        return true;
    }
    if (watched == Commandsp && press && mouse->button() == Qt::RightButton) {
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
