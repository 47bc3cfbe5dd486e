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
#include "skip_step.h"

using namespace zdx::q610;
using zdx::skipOnError;

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
    startUp();
    tickTimer_->start();
    // A program ended without closing its window still leaves the link and
    // stores its settings.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmusbCal::shutDown);
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
    beepButton_ = makeButton(central, "Command6", QStringLiteral("Beep"), zdx::kColour3DLight);
    beepButton_->installEventFilter(this);
    readyButton_ = makeButton(central, "Command7", QStringLiteral("Ready"), zdx::kColour3DLight);
    connect(readyButton_, &QPushButton::clicked, this, &frmusbCal::readyClicked);

    auto* frameTest = new QGroupBox(QStringLiteral("Communication"), central);
    frameTest->setObjectName(QStringLiteral("frameTest"));
    usbButton_ =
        makeButton(frameTest, "CommandUSBb", QStringLiteral("USB"), zdx::kColourButtonFace);
    lpt1Button_ =
        makeButton(frameTest, "CommandLPT1", QStringLiteral("LPT1"), zdx::kColourButtonFace);
    lpt2Button_ =
        makeButton(frameTest, "CommandLPT2", QStringLiteral("LPT2"), zdx::kColourButtonFace);
    for (QPushButton* button : {usbButton_, lpt1Button_, lpt2Button_}) button->setMinimumWidth(80);
    connect(usbButton_, &QPushButton::clicked, this, [this] { SelectConnection(kConnectionUsb); });
    connect(lpt1Button_, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnectionLpt1); });
    connect(lpt2Button_, &QPushButton::clicked, this,
            [this] { SelectConnection(kConnectionLpt2); });
    lpt1Button_->installEventFilter(this);
    lpt2Button_->installEventFilter(this);

    auto* frameMeldungen = new QGroupBox(QStringLiteral("Messages"), central);
    frameMeldungen->setObjectName(QStringLiteral("frameMeldungen"));
    messages_ = new QPlainTextEdit(frameMeldungen);
    messages_->setObjectName(QStringLiteral("txtMessages"));
    messages_->setReadOnly(true);
    messages_->setMinimumSize(320, 90);
    zdx::setBackColour(messages_, 0x00FFFFFF);
    zdx::setForeColour(messages_, zdx::kColourBlack);

    remark_ = new QLineEdit(central);
    remark_->setObjectName(QStringLiteral("Textremo"));
    remark_->setReadOnly(true);
    remark_->setAlignment(Qt::AlignCenter);
    QFont remarkFont = remark_->font();
    remarkFont.setBold(true);
    remark_->setFont(remarkFont);
    zdx::setBackColour(remark_, kRemarkBack);
    zdx::setForeColour(remark_, kRemarkFore);
    // Showing and hiding the warning must not make the messages jump.
    QSizePolicy remarkPolicy = remark_->sizePolicy();
    remarkPolicy.setRetainSizeWhenHidden(true);
    remark_->setSizePolicy(remarkPolicy);
    remark_->setVisible(false);

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

    tickTimer_ = new QTimer(this);
    tickTimer_->setObjectName(QStringLiteral("TimerTick"));
    tickTimer_->setInterval(kTickIntervalMs);
    connect(tickTimer_, &QTimer::timeout, this, &frmusbCal::tick);
}

void frmusbCal::layoutControls() {
    QWidget* central = centralWidget();
    auto* steps = new QVBoxLayout;
    for (QPushButton* button : stepButtons_) steps->addWidget(button);
    steps->addSpacing(12);
    auto* lamps = new QHBoxLayout;
    beepButton_->setMinimumWidth(62);
    readyButton_->setMinimumWidth(62);
    lamps->addWidget(beepButton_);
    lamps->addWidget(readyButton_);
    steps->addLayout(lamps);
    steps->addStretch(1);

    auto* frameTest = central->findChild<QGroupBox*>(QStringLiteral("frameTest"));
    auto* links = new QHBoxLayout(frameTest);
    links->addWidget(usbButton_);
    links->addWidget(lpt1Button_);
    links->addWidget(lpt2Button_);

    auto* frameMeldungen = central->findChild<QGroupBox*>(QStringLiteral("frameMeldungen"));
    auto* messages = new QVBoxLayout(frameMeldungen);
    messages->addWidget(messages_);

    auto* right = new QVBoxLayout;
    right->addWidget(frameTest);
    right->addWidget(frameMeldungen, 1);
    right->addWidget(remark_);

    auto* top = new QHBoxLayout(central);
    top->addLayout(steps);
    top->addSpacing(8);
    top->addLayout(right, 1);
    remark_->setMinimumHeight(30);
    setMinimumSize(560, 330);
}

QPushButton* frmusbCal::connectionButton(int connection) const {
    switch (connection) {
        case kConnectionLpt1:
            return lpt1Button_;
        case kConnectionLpt2:
            return lpt2Button_;
        default:
            return usbButton_;
    }
}

void frmusbCal::startUp() {
    LinkState = kLinkNotConnected;
    TickPhase = 0;
    setWindowTitle(QStringLiteral("ZDX Calibration System for Q610, V1.1, 03/2005"));
    settings_ = std::make_unique<zdx::SettingsStore>(kApplication);
    Connection = connectionFromSetting(settings_->readInt(kKeyConnection, kConnectionUsb));
    zdx::setBackColour(connectionButton(Connection), zdx::kColourYellow);
    OutputBits = settings_->readInt(kKeyOutputBits, kDefaultOutputBits);
    try {
        zdx::CalibratorLibrary::instance().CommandLPT(ZDXUSBCAL_LPT_CLOSE,
                                                      ZDXUSBCAL_LPT_PROBE_PORT);
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
        skipOnError("DCL", [&] {
            std::string command = "DCL";
            int length = static_cast<int>(command.size());
            zdx::exchange(DeviceSerial, command, &length);
        });
    }
    if (Connection == kConnectionLpt1 || Connection == kConnectionLpt2) {
        skipOnError("closing the port",
                    [&] { library.CommandLPT(ZDXUSBCAL_LPT_CLOSE, lptPortNumber(Connection)); });
    }
}

void frmusbCal::ShowPortRegisters() {
    if (DllMissing || Connection == kConnectionUsb) return;
    int value = 0;
    skipOnError("reading the port", [&] {
        zdx::CalibratorLibrary::instance().CalCommand(lptReadFunction(Connection),
                                                      DeviceSerial.c_str(), nullptr, &value);
    });
    PortDisplayOn = true;
    remark_->setVisible(true);
    remark_->setText(QString::fromStdString(registerDisplayText(Connection, value)));
}

void frmusbCal::shutDown() {
    if (unloaded_) return;
    unloaded_ = true;
    tickTimer_->stop();
    CloseLink();
    skipOnError("storing the settings", [&] {
        settings_->writeInt(kKeyConnection, Connection);
        settings_->writeInt(kKeyOutputBits, OutputBits);
        settings_->sync();
    });
}

void frmusbCal::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

bool frmusbCal::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Qt delivers the second press of a quick pair as a double-click: it is a
    // press all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (watched == beepButton_) {
        if (press) beepPressed();
        if (type == QEvent::MouseButtonRelease) beepReleased();
    } else if (press && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == lpt1Button_ && Connection == kConnectionLpt1) ShowPortRegisters();
        if (watched == lpt2Button_ && Connection == kConnectionLpt2) ShowPortRegisters();
    }
    return QMainWindow::eventFilter(watched, event);
}
