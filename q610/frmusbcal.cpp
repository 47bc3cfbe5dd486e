#include "frmusbcal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "calibrator_library.h"
#include "colour_value.h"
#include "output_bits.h"
#include "q610_protocol.h"
#include "settings_store.h"
#include "skip_on_error.h"

using namespace zdx::q610;

namespace {

const QString kApplication = QStringLiteral("ZDXUSB_Cal");
const QString kKeyConnection = QStringLiteral("Connection");
const QString kKeyOutputBits = QStringLiteral("Q610State");

// Textremo warns: red on pale yellow, so it stands out from the messages.
constexpr std::uint32_t kRemarkBack = 0x00C0FFFF;
constexpr std::uint32_t kRemarkFore = zdx::kColourRed;

constexpr int kTickIntervalMs = 300;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        std::uint32_t colour) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setMinimumSize(130, 34);
    zdx::setBackColour(button, colour);
    return button;
}

}  // namespace

frmusbCal::frmusbCal(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmusbCal"));
    setWindowTitle(QStringLiteral("ZDX Calibration System"));
    buildControls();
    layoutControls();
    Form_Load();
    TimerTick->start();
    // A program ended without closing its window still leaves the link and
    // stores its settings.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmusbCal::Form_Unload);
}

frmusbCal::~frmusbCal() = default;

void frmusbCal::buildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    static const char* const stepNames[] = {"Command1", "Command2", "Command3", "Command4",
                                            "Command5"};
    static const char* const stepCaptions[] = {"+100% +8mV/V", "+50% +4mV/V", "   0%    0mV/V",
                                               "-50% -4mV/V", "-100% -8mV/V"};
    for (int i = 0; i < 5; ++i) {
        stepButtons_[i] =
            makeButton(central, stepNames[i], QLatin1String(stepCaptions[i]), zdx::kColour3DLight);
        connect(stepButtons_[i], &QPushButton::clicked, this, [this, i] { stepClick(i); });
    }
    Command6 = makeButton(central, "Command6", QStringLiteral("Beep"), zdx::kColour3DLight);
    Command6->installEventFilter(this);
    Command7 = makeButton(central, "Command7", QStringLiteral("Ready"), zdx::kColour3DLight);
    connect(Command7, &QPushButton::clicked, this, &frmusbCal::Command7_Click);

    auto* frameTest = new QGroupBox(QStringLiteral("Communication"), central);
    frameTest->setObjectName(QStringLiteral("frameTest"));
    CommandUSBb =
        makeButton(frameTest, "CommandUSBb", QStringLiteral("USB"), zdx::kColourButtonFace);
    CommandLPT1 =
        makeButton(frameTest, "CommandLPT1", QStringLiteral("LPT1"), zdx::kColourButtonFace);
    CommandLPT2 =
        makeButton(frameTest, "CommandLPT2", QStringLiteral("LPT2"), zdx::kColourButtonFace);
    for (QPushButton* button : {CommandUSBb, CommandLPT1, CommandLPT2}) button->setMinimumWidth(80);
    connect(CommandUSBb, &QPushButton::clicked, this, [this] { SelectConnection(kConnectionUsb); });
    connect(CommandLPT1, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnectionLpt1); });
    connect(CommandLPT2, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnectionLpt2); });
    CommandLPT1->installEventFilter(this);
    CommandLPT2->installEventFilter(this);

    auto* frameMeldungen = new QGroupBox(QStringLiteral("Messages"), central);
    frameMeldungen->setObjectName(QStringLiteral("frameMeldungen"));
    txtMessages = new QPlainTextEdit(frameMeldungen);
    txtMessages->setObjectName(QStringLiteral("txtMessages"));
    txtMessages->setReadOnly(true);
    txtMessages->setMinimumSize(320, 90);
    zdx::setBackColour(txtMessages, 0x00FFFFFF);
    zdx::setForeColour(txtMessages, zdx::kColourBlack);

    Textremo = new QLineEdit(central);
    Textremo->setObjectName(QStringLiteral("Textremo"));
    Textremo->setReadOnly(true);
    Textremo->setAlignment(Qt::AlignCenter);
    QFont remarkFont = Textremo->font();
    remarkFont.setBold(true);
    Textremo->setFont(remarkFont);
    zdx::setBackColour(Textremo, kRemarkBack);
    zdx::setForeColour(Textremo, kRemarkFore);
    // Showing and hiding the warning must not make the messages jump.
    QSizePolicy remarkPolicy = Textremo->sizePolicy();
    remarkPolicy.setRetainSizeWhenHidden(true);
    Textremo->setSizePolicy(remarkPolicy);
    Textremo->setVisible(false);

    // Picture boxes of the panel: kept for their names, they show nothing.
    for (const char* name :
         {"PicNo", "PicYes", "PicInfo", "picTransfer", "picAnzahl", "picUSB", "picString4"}) {
        auto* picture = new QLabel(central);
        picture->setObjectName(QLatin1String(name));
        picture->setVisible(false);
    }

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    statusPanel1_ = new QLabel(QStringLiteral("USB Datenverkehr"), bar);
    statusPanel1_->setObjectName(QStringLiteral("Panels_1"));
    statusPanel1_->setMinimumWidth(160);
    statusPanel1_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    statusPanel1_->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(statusPanel1_, 1);
    setStatusBar(bar);

    TimerTick = new QTimer(this);
    TimerTick->setObjectName(QStringLiteral("TimerTick"));
    TimerTick->setInterval(kTickIntervalMs);
    connect(TimerTick, &QTimer::timeout, this, &frmusbCal::tick);
}

void frmusbCal::layoutControls() {
    QWidget* central = centralWidget();
    auto* steps = new QVBoxLayout;
    for (QPushButton* button : stepButtons_) steps->addWidget(button);
    steps->addSpacing(12);
    auto* lamps = new QHBoxLayout;
    Command6->setMinimumWidth(62);
    Command7->setMinimumWidth(62);
    lamps->addWidget(Command6);
    lamps->addWidget(Command7);
    steps->addLayout(lamps);
    steps->addStretch(1);

    auto* frameTest = central->findChild<QGroupBox*>(QStringLiteral("frameTest"));
    auto* links = new QHBoxLayout(frameTest);
    links->addWidget(CommandUSBb);
    links->addWidget(CommandLPT1);
    links->addWidget(CommandLPT2);

    auto* frameMeldungen = central->findChild<QGroupBox*>(QStringLiteral("frameMeldungen"));
    auto* messages = new QVBoxLayout(frameMeldungen);
    messages->addWidget(txtMessages);

    auto* right = new QVBoxLayout;
    right->addWidget(frameTest);
    right->addWidget(frameMeldungen, 1);
    right->addWidget(Textremo);

    auto* top = new QHBoxLayout(central);
    top->addLayout(steps);
    top->addSpacing(8);
    top->addLayout(right, 1);
    Textremo->setMinimumHeight(30);
    setMinimumSize(560, 330);
}

QPushButton* frmusbCal::connectionButton(int connection) const {
    switch (connection) {
        case kConnectionLpt1:
            return CommandLPT1;
        case kConnectionLpt2:
            return CommandLPT2;
        default:
            return CommandUSBb;
    }
}

void frmusbCal::Form_Load() {
    LinkState = 0;
    TickPhase = 0;
    setWindowTitle(QStringLiteral("ZDX Calibration System for Q610, V1.1, 03/2005"));
    settings_ = std::make_unique<zdx::SettingsStore>(kApplication);
    Connection = connectionFromSetting(settings_->readInt(kKeyConnection, kConnectionUsb));
    zdx::setBackColour(connectionButton(Connection), zdx::kColourYellow);
    OutputBits = settings_->readInt(kKeyOutputBits, kDefaultOutputBits);
    try {
        zdx::CalibratorLibrary::instance().CommandLPT(1, 9);
        DllMissing = false;
    } catch (const zdx::LibraryMissing&) {
        DllMissing = true;
    }
}

void frmusbCal::CloseLink() {
    // Without the library there is nothing to close.
    if (DllMissing) return;
    auto& library = zdx::CalibratorLibrary::instance();
    if (Connection == kConnectionUsb && isInterfaceModule(DeviceSerial)) {
        skipOnError([&] {
            char command[] = "DCL";
            int length = 3;
            library.CalCommand(0, DeviceSerial.c_str(), command, &length);
        });
    }
    if (Connection == kConnectionLpt1) skipOnError([&] { library.CommandLPT(1, 0); });
    if (Connection == kConnectionLpt2) skipOnError([&] { library.CommandLPT(1, 1); });
}

void frmusbCal::ShowPortRegisters() {
    if (DllMissing || Connection == kConnectionUsb) return;
    int value = 0;
    skipOnError([&] {
        zdx::CalibratorLibrary::instance().CalCommand(Connection + 1, DeviceSerial.c_str(), nullptr,
                                                      &value);
    });
    PortDisplayOn = true;
    Textremo->setVisible(true);
    Textremo->setText(QString::fromStdString(registerDisplayText(Connection, value)));
}

void frmusbCal::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    TimerTick->stop();
    CloseLink();
    skipOnError([&] {
        settings_->writeInt(kKeyConnection, Connection);
        settings_->writeInt(kKeyOutputBits, OutputBits);
        settings_->sync();
    });
}

void frmusbCal::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

bool frmusbCal::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Qt delivers the second press of a quick pair as a double-click: it is a
    // press all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (watched == Command6) {
        if (press) Command6_MouseDown();
        if (type == QEvent::MouseButtonRelease) Command6_MouseUp();
    } else if (press && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == CommandLPT1 && Connection == kConnectionLpt1) ShowPortRegisters();
        if (watched == CommandLPT2 && Connection == kConnectionLpt2) ShowPortRegisters();
    }
    return QMainWindow::eventFilter(watched, event);
}
