#include "frm_results.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "colour_value.h"
#include "frm_results_archive.h"
#include "plot_view.h"

namespace q270 {

namespace {

// The window's pixel layout: the table at the left, the plot beside it, the
// search results below the table.
constexpr int kMargin = 8;
constexpr int kPlotWidth = 340;
constexpr int kPlotHeight = 330;

int toPixels(int layoutUnits) {
    return (layoutUnits + kResultsUnitsPerPixel / 2) / kResultsUnitsPerPixel;
}

QLabel* label(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

frmResults::frmResults(ProgramState& state, UsbAccess& usb, Clock& clock, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      usb_(usb),
      clock_(clock),
      MSComm2(QStringLiteral("ZDXKalQ270"), this, QStringLiteral("MSComm2")),
      meterPort_(MSComm2),
      replies_(meterPort_),
      meter_(replies_, clock) {
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Linearitätsmessung"));
    buildControls();
    buildFileControls();
    buildArchiveControls();
    buildOptimisation();
}

frmResults::~frmResults() = default;

void frmResults::buildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

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
    cellFont.setPixelSize(11);
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

    const int plotLeft = kMargin + toPixels(kResultsTableWidth) + kMargin;
    Picture1 = new PlotView(plot_, central);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(plotLeft, kMargin, kPlotWidth, kPlotHeight);
    Picture1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Picture1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* save = menu.addAction(QStringLiteral("Save plot as PNG..."));
        if (menu.exec(Picture1->mapToGlobal(at)) == save) savePlotAsked();
    });
    Picture1->setVisible(false);

    const int boundsTop = kMargin + kPlotHeight + 2;
    minppm = label("minppm", central);
    minppm->setGeometry(plotLeft, boundsTop, kPlotWidth / 2, 20);
    maxppm = label("maxppm", central);
    maxppm->setGeometry(plotLeft + kPlotWidth / 2, boundsTop, kPlotWidth / 2, 20);
    maxppm->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    CmdOpt = new QPushButton(QStringLiteral("Optimierung"), central);
    CmdOpt->setObjectName(QStringLiteral("CmdOpt"));
    CmdOpt->setGeometry(plotLeft, boundsTop + 28, 120, 28);
    CmdOpt->setVisible(false);

    const int optiTop = kMargin + toPixels(kResultsTableHeight) + kMargin;
    Opti = new QGroupBox(central);
    Opti->setObjectName(QStringLiteral("Opti"));
    Opti->setGeometry(kMargin, optiTop, toPixels(kResultsTableWidth) + kMargin + kPlotWidth, 150);
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

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusPanel1_ = new QLabel(QStringLiteral("Click to stop"), statusBar());
    statusPanel1_->setObjectName(QStringLiteral("Panel1"));
    statusBar()->addWidget(statusPanel1_, 1);
    statusBar()->installEventFilter(this);
    statusPanel1_->installEventFilter(this);

    applyGeometry();
    resize(plotLeft + kPlotWidth + kMargin,
           optiTop + 150 + kMargin + statusBar()->sizeHint().height());
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
    for (int c = 0; c < kResultsCols; ++c) {
        const int next = edge + geometry_.columnWidths[static_cast<std::size_t>(c)];
        Results->setColumnWidth(c, toPixels(next) - toPixels(edge));
        edge = next;
    }
    Results->resize(toPixels(kResultsTableWidth), toPixels(geometry_.tableHeight));
    Picture2->setGeometry(kMargin, kMargin + toPixels(static_cast<int>(geometry_.picture2Top)),
                          toPixels(kResultsTableWidth), std::max(1, toPixels(30)));
}

void frmResults::refreshCell(int row, int column) {
    const Cell& cell = grid_.at(row, column);
    QTableWidgetItem* item = Results->item(row, column);
    const QString text =
        QString::fromLatin1(cell.text.data(), static_cast<qsizetype>(cell.text.size()));
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
    // Paints what is pending now, without handling any other window event.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

char frmResults::decimalSeparator() const {
    const QString point = locale().decimalPoint();
    return point.isEmpty() ? '.' : point.at(0).toLatin1();
}

std::string frmResults::tableText() const {
    return CopyText(grid_);
}

bool frmResults::savePlot(const QString& fileName) {
    return Picture1->grab().save(fileName, "PNG");
}

void frmResults::savePlotAsked() {
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save plot"),
                                                      QStringLiteral("linearity.png"),
                                                      QStringLiteral("PNG images (*.png)"));
    if (!name.isEmpty() && !savePlot(name))
        setStatusText(QStringLiteral("The plot could not be saved to ") + name, zdx::kColourRed);
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
    state_.StopRequest = 1;
}

bool frmResults::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // A quick second click arrives as a double-click: it is a click all the same.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if ((watched == statusBar() || watched == statusPanel1_) && press) {
        state_.StopRequest = 1;
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
