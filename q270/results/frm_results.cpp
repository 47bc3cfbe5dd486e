#include "frm_results.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "application.h"
#include "chart_painter.h"
#include "colour_value.h"
#include "plot_view.h"
#include "results_archivist.h"
#include "window_memory.h"

namespace q270 {

namespace {

// The window's pixel layout: the table at the left, the plot beside it, the
// search results below the table.
constexpr int kMargin = 8;
constexpr int kPlotWidth = 340;
constexpr int kPlotHeight = 330;
constexpr int kStatementHeight = 34;  // two lines

constexpr int kCellFontPixels = 11;
// How long a run waits at most for its new window to be shown, and how often it looks.
constexpr int kExposeWaitMs = 1000;
constexpr int kExposeCheckMs = 10;

QString latin(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int toPixels(int layoutUnits) {
    return (layoutUnits + kResultsUnitsPerPixel / 2) / kResultsUnitsPerPixel;
}

QLabel* label(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

frmResults::BusyScope::BusyScope(frmResults& window, bool& flag) : window_(window), flag_(flag) {
    flag_ = true;
    window_.updateOffers();
}

frmResults::BusyScope::~BusyScope() {
    flag_ = false;
    window_.updateOffers();
}

frmResults::frmResults(const std::string& deviceSerial, UsbAccess& usb, Clock& clock,
                       QWidget* parent)
    : QMainWindow(parent),
      deviceSerial_(deviceSerial),
      usb_(usb),
      clock_(clock),
      MSComm2(QString::fromLatin1(kQ270Application), this, QStringLiteral("MSComm2")),
      meterPort_(MSComm2),
      replies_(meterPort_),
      meter_(replies_, clock) {
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Linearitätsmessung"));
    buildControls();
    buildFileControls();
    buildArchiveControls();
    buildOptimisation();
    updateOffers();
}

frmResults::~frmResults() = default;

void frmResults::buildControls() {
    // The controls keep their places; a window made smaller than them scrolls.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ResultsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    auto* central = new QWidget(scroll);
    buildTable(central);
    buildPlot(central);
    buildTrimPanel(central);
    buildTrimMenu();
    buildStatusBar();
    central->setFixedSize(Picture1->geometry().right() + 1 + kMargin,
                          Opti->geometry().bottom() + 1 + kMargin);
    scroll->setWidget(central);
    setCentralWidget(scroll);
    resize(central->width(), central->height() + statusBar()->sizeHint().height());
}

void frmResults::buildTable(QWidget* central) {
    Results = new QTableWidget(kResultsRows, kResultsCols, central);
    Results->setObjectName(QStringLiteral("Results"));
    Results->horizontalHeader()->hide();
    Results->verticalHeader()->hide();
    Results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Results->setSelectionMode(QAbstractItemView::SingleSelection);
    Results->setFrameShape(QFrame::NoFrame);
    Results->setWordWrap(false);
    Results->setTextElideMode(Qt::ElideNone);
    Results->setAutoScroll(false);
    QFont cellFont = Results->font();
    cellFont.setPixelSize(kCellFontPixels);
    Results->setFont(cellFont);
    Results->horizontalHeader()->setMinimumSectionSize(1);
    Results->verticalHeader()->setMinimumSectionSize(1);
    for (int r = 0; r < kResultsRows; ++r)
        for (int c = 0; c < kResultsCols; ++c) Results->setItem(r, c, new QTableWidgetItem);
    Results->viewport()->installEventFilter(this);
    Results->move(kMargin, kMargin);

    Picture2 = new QWidget(central);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setAutoFillBackground(true);
    QPalette bar = Picture2->palette();
    bar.setColor(QPalette::Window, Qt::black);
    Picture2->setPalette(bar);
    applyGeometry();
}

void frmResults::buildPlot(QWidget* central) {
    const int plotLeft = kMargin + Results->width() + kMargin;
    Picture1 = new PlotView(plot_, central);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(plotLeft, kMargin, kPlotWidth, kPlotHeight);
    Picture1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Picture1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // The menu is a modal loop of its own: not inside a run's or a search's event pass.
        if (refuseWhileBusy()) return;
        QMenu menu(this);
        menu.setToolTipsVisible(true);
        QAction* save = menu.addAction(QStringLiteral("Save plot as PNG..."));
        save->setObjectName(QStringLiteral("SavePlot"));
        save->setEnabled(plotRefusal().isEmpty());
        save->setToolTip(plotRefusal());
        if (menu.exec(Picture1->mapToGlobal(at)) == save) savePlotAsked();
    });
    Picture1->setVisible(false);

    const int boundsTop = kMargin + kPlotHeight + 2;
    minppm = label("minppm", central);
    minppm->setGeometry(plotLeft, boundsTop, kPlotWidth / 2, 20);
    maxppm = label("maxppm", central);
    maxppm->setGeometry(plotLeft + kPlotWidth / 2, boundsTop, kPlotWidth / 2, 20);
    maxppm->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void frmResults::buildTrimPanel(QWidget* central) {
    CmdOpt = new QPushButton(QStringLiteral("Optimierung"), central);
    CmdOpt->setObjectName(QStringLiteral("CmdOpt"));
    CmdOpt->setGeometry(Picture1->x(), minppm->geometry().bottom() + 1 + 8, 120, 28);
    CmdOpt->setVisible(false);

    // The statement of a complete run, in the table's width below it.
    const int lineTop = kMargin + toPixels(kResultsTableHeight) + kMargin;
    statementLine_ = label("StatementLine", central);
    statementLine_->setGeometry(kMargin, lineTop, Results->width(), kStatementHeight);
    statementLine_->setWordWrap(true);
    statementLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statementLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const int optiTop = lineTop + kStatementHeight + kMargin;
    Opti = new QGroupBox(central);
    Opti->setObjectName(QStringLiteral("Opti"));
    Opti->setGeometry(kMargin, optiTop, Picture1->geometry().right() + 1 - kMargin, 150);
    Opti->setEnabled(false);
    auto* optiLayout = new QVBoxLayout(Opti);
    optiLayout->setSpacing(1);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (std::size_t k = 0; k < OptiL1.size(); ++k) {
        OptiL1[k] = new QLabel(Opti);
        OptiL1[k]->setObjectName(QStringLiteral("OptiL1_%1").arg(k));
        OptiL1[k]->setFont(fixed);
        optiLayout->addWidget(OptiL1[k]);
    }
    auto* progress = new QHBoxLayout;
    OptiL3 = label("OptiL3", Opti);
    OptiLcnt = label("OptiLcnt", Opti);
    progress->addWidget(OptiL3);
    progress->addWidget(OptiLcnt);
    progress->addStretch(1);
    optiLayout->addLayout(progress);
}

void frmResults::buildTrimMenu() {
    mnu_rsel = new QMenu(QStringLiteral("Rselec"), this);
    mnu_rsel->setObjectName(QStringLiteral("mnu_rsel"));
    for (std::size_t k = 0; k < mnu_r.size(); ++k) {
        mnu_r[k] = mnu_rsel->addAction(QString::fromLatin1(
            kTrimCaptions[k].data(), static_cast<qsizetype>(kTrimCaptions[k].size())));
        mnu_r[k]->setObjectName(QStringLiteral("mnu_r_%1").arg(k));
        mnu_r[k]->setCheckable(true);
        connect(mnu_r[k], &QAction::triggered, this, [this, k] {
            for (std::size_t j = 0; j < mnu_r.size(); ++j) mnu_r[j]->setChecked(j == k);
        });
    }
}

void frmResults::buildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusPanel1_ = new QLabel(QStringLiteral("Click to stop"), statusBar());
    statusPanel1_->setObjectName(QStringLiteral("Panel1"));
    statusBar()->addWidget(statusPanel1_, 1);
    statusBar()->installEventFilter(this);
    statusPanel1_->installEventFilter(this);
}

void frmResults::applyGeometry() {
    geometry_ = ComputeGeometry(kResultsTableWidth, kResultsTableHeight);
    // Each edge at its rounded place, so the rounding of single rows and
    // columns does not add up to more than the table's size.
    int edge = 0;
    for (int r = 0; r < kResultsRows; ++r) {
        const int next = edge + geometry_.rowHeights[static_cast<std::size_t>(r)];
        Results->setRowHeight(r, toPixels(next) - toPixels(edge));
        edge = next;
    }
    edge = 0;
    int width = 0;
    for (int c = 0; c < kResultsCols; ++c) {
        const int next = edge + geometry_.columnWidths[static_cast<std::size_t>(c)];
        int pixels = toPixels(next) - toPixels(edge);
        // The segment texts are wider than the column's share of the table in
        // the cell font; the table grows by what they need. The pointer rules
        // measure columns 0 to 3 only, which keep their widths.
        if (c == kColSegment) pixels = std::max(pixels, segmentColumnPixels());
        Results->setColumnWidth(c, pixels);
        width += pixels;
        edge = next;
    }
    Results->resize(width, toPixels(geometry_.tableHeight));
    Picture2->setGeometry(kMargin, kMargin + toPixels(static_cast<int>(geometry_.picture2Top)),
                          width, std::max(1, toPixels(30)));
}

int frmResults::segmentColumnPixels() const {
    ResultsGrid prepared;
    PrepareTable(prepared);
    const QFontMetrics metrics(Results->font());
    // The item view leaves this margin on each side of a cell's text.
    const int margin =
        Results->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Results) + 1;
    int widest = 0;
    for (int row = 1; row <= kStepCount; ++row)
        widest =
            std::max(widest, metrics.horizontalAdvance(latin(prepared.at(row, kColSegment).text)));
    return widest + 2 * margin;
}

void frmResults::refreshCell(int row, int column) {
    const Cell& cell = grid_.at(row, column);
    QTableWidgetItem* item = Results->item(row, column);
    const QString text = latin(cell.text);
    if (item->text() != text) item->setText(text);
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (cell.alignment == kAlignCentre) alignment = Qt::AlignCenter;
    if (cell.alignment == kAlignRight) alignment = Qt::AlignRight | Qt::AlignVCenter;
    item->setTextAlignment(alignment);
    item->setBackground(zdx::colourFromValue(cell.back));
    item->setForeground(zdx::colourFromValue(cell.fore));
    // The colour values themselves, so tests and tools can read what a cell shows.
    item->setData(kBackValueRole, QVariant::fromValue<quint32>(cell.back));
    item->setData(kForeValueRole, QVariant::fromValue<quint32>(cell.fore));
    item->setData(kAlignmentRole, cell.alignment);
}

void frmResults::refreshTable() {
    QPalette palette = Results->palette();
    palette.setColor(QPalette::Base, zdx::colourFromValue(grid_.background));
    Results->setPalette(palette);
    for (int r = 0; r < kResultsRows; ++r)
        for (int c = 0; c < kResultsCols; ++c) refreshCell(r, c);
}

void frmResults::setStatusText(const QString& text, std::uint32_t colour) {
    statusPanel1_->setText(text);
    zdx::setForeColour(statusPanel1_, colour);
}

void frmResults::repaintNow() {
    if (!isVisible()) return;
    waitUntilExposed();
    repaint();
}

void frmResults::waitUntilExposed() {
    // The window system shows a new window some time after show(); until it
    // has exposed it, nothing painted reaches the screen. Only events that are
    // not the user's get through meanwhile: a click waits for the run's event
    // pass as ever.
    QWindow* handle = windowHandle();
    if (handle == nullptr || handle->isExposed()) return;
    QElapsedTimer limit;
    limit.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (handle->isExposed() || limit.hasExpired(kExposeWaitMs)) loop.quit();
    });
    check.start(kExposeCheckMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

char frmResults::decimalSeparator() const {
    const QString point = locale().decimalPoint();
    return CellDecimalSeparator(std::u16string_view(
        reinterpret_cast<const char16_t*>(point.utf16()), static_cast<std::size_t>(point.size())));
}

void frmResults::requestStop() {
    stopAsked_ = true;
    // The stop of a search ends the search, not the results view.
    if (!optimising_) emit stopRequested();
}

void frmResults::updateOffers() {
    const QString whileBusy = QStringLiteral("Not while a measurement or a search is running");
    const auto offer = [](QPushButton* button, const QString& refusal) {
        if (button == nullptr) return;
        button->setEnabled(refusal.isEmpty());
        button->setToolTip(refusal);
    };
    const auto unless = [&](bool refused, const QString& why) {
        return busy() ? whileBusy : refused ? why : QString();
    };
    offer(CmdSaveRun, unless(!evaluated_, QStringLiteral("No complete run to save")));
    offer(CmdReport, unless(!evaluated_, QStringLiteral("No complete run for a report")));
    offer(CmdOpenRun, unless(false, {}));
    offer(CmdAsLeft, busy() ? whileBusy : asLeftRefusal());
    offer(CmdHistory, historyPending_
                          ? QStringLiteral("Reading the archive...")
                          : unless(unitSerial().empty(),
                                   QStringLiteral("No unit: no calibrator connected and no run "
                                                  "opened")));
}

QString frmResults::plotRefusal() const {
    if (busy()) return QStringLiteral("Not while a measurement or a search is running");
    if (!evaluated_) return QStringLiteral("No plot: no complete run");
    return {};
}

bool frmResults::refuseWhileBusy() {
    if (!busy()) return false;
    setStatusText(QStringLiteral("Not while a measurement or a search is running"),
                  zdx::kColourRed);
    return true;
}

std::string frmResults::tableText() const {
    return CopyText(grid_);
}

bool frmResults::savePlot(const QString& fileName) {
    if (!plotRefusal().isEmpty()) {
        setStatusText(plotRefusal(), zdx::kColourRed);
        return false;
    }
    const std::optional<RunRecord> record = recordOnScreen();
    return PlotPicture(plot_, unitSerial(), record ? record->time : std::string(),
                       decimalSeparator())
        .save(fileName, "PNG");
}

void frmResults::savePlotAsked() {
    const std::optional<RunRecord> record = recordOnScreen();
    const QString name =
        askFileName(true, QStringLiteral("Save plot"),
                    ProposedFileName(unitSerial(), record ? record->time : std::string(),
                                     QStringLiteral("plot"), QStringLiteral("png")),
                    QStringLiteral("PNG images (*.png)"));
    if (!name.isEmpty() && !savePlot(name))
        setStatusText(QStringLiteral("The plot could not be saved to ") + name, zdx::kColourRed);
}

QString frmResults::askFileName(bool saving, const QString& caption, const QString& proposed,
                                const QString& filter) {
    const QString application = QString::fromLatin1(kQ270Application);
    const QString start = QDir(LastFolder(application)).filePath(proposed);
    const QString name = saving ? QFileDialog::getSaveFileName(this, caption, start, filter)
                                : QFileDialog::getOpenFileName(this, caption, start, filter);
    if (!name.isEmpty()) KeepFolder(application, name);
    return name;
}

void frmResults::setVisible(bool visible) {
    // Placed before the window system maps it: a window manager places a
    // window itself once it is shown, and keeps a place given only before.
    const QString application = QString::fromLatin1(kQ270Application);
    if (visible && !isVisible()) RestorePlace(*this, application);
    if (!visible && isVisible()) KeepPlace(*this, application);
    QMainWindow::setVisible(visible);
}

void frmResults::closeEvent(QCloseEvent* event) {
    if (closeAllowed_) {
        event->accept();
        return;
    }
    // Closing the window closes the results view the way a status-bar click
    // does: a run ends after its current step, and the main window's cycle
    // withdraws this window and brings the main window back.
    event->ignore();
    requestStop();
}

bool frmResults::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // A quick second click arrives as a double-click: it is a click all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if ((watched == statusBar() || watched == statusPanel1_) && press) {
        requestStop();
        return true;
    }
    if (watched == Results->viewport() && type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) trimChoiceAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton) copyAt(mouse->position().toPoint());
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace q270
