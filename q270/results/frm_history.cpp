#include "frm_history.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "chart_painter.h"
#include "run_facts.h"
#include "run_figures.h"
#include "window_memory.h"

namespace q270 {

namespace {

constexpr double kAxisRoom = 62;  // left of each plot area: tick labels and the axis title
constexpr double kBelowRoom = 44;

std::int64_t secondsOf(const ArchivedRun& run) {
    return QDateTime::fromString(QString::fromStdString(run.record.time), Qt::ISODate)
        .toSecsSinceEpoch();
}

// Left: ErrSq against the date; right: the 10 % point curves, error across,
// point up (100 % at the top), as the results plot draws them.
class HistoryPlot : public QWidget {
  public:
    HistoryPlot(const std::vector<ArchivedRun>& runs,
                const std::optional<PerPoint<double>>& current, QWidget* parent)
        : QWidget(parent), runs_(runs), current_(current) {
        setObjectName(QStringLiteral("HistoryPlot"));
        setMinimumSize(760, 300);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setRenderHint(QPainter::Antialiasing);
        const double half = width() / 2.0;
        const QRectF left(kAxisRoom + 10, 10, half - kAxisRoom - 30, height() - 10 - kBelowRoom);
        const QRectF right(half + kAxisRoom, 10, half - kAxisRoom - 14, height() - 10 - kBelowRoom);
        drawErrSq(p, left);
        drawCurves(p, right);
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(left);
        p.drawRect(right);
    }

  private:
    void drawErrSq(QPainter& p, const QRectF& area) {
        std::int64_t t0 = 0, t1 = 0;
        double top = 0;
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            const std::int64_t t = secondsOf(runs_[i]);
            t0 = i == 0 ? t : std::min(t0, t);
            t1 = i == 0 ? t : std::max(t1, t);
            top = std::max(top, runs_[i].errSq);
        }
        // A day either side of a single date, and a little room at both ends.
        const std::int64_t pad = std::max<std::int64_t>((t1 - t0) / 20, t1 == t0 ? 43200 : 600);
        t0 -= pad;
        t1 += pad;
        const AxisTicks up = NiceTicks(0, top > 0 ? top * 1.05 : 1, 5);
        std::vector<ChartTick> across;
        // As many dates as fit side by side.
        for (const TimeTick& tick : DateTicks(t0, t1, std::max(3, int(area.width() / 90))))
            across.push_back(
                {double(tick.seconds - t0) / double(t1 - t0), QString::fromStdString(tick.label)});
        DrawAxis(p, area, Qt::LeftEdge, ValueTicks(up), QStringLiteral("ErrSq (ppm²)"));
        DrawAxis(p, area, Qt::BottomEdge, across, QStringLiteral("date of the run (UTC)"));
        if (runs_.empty()) return;
        QPolygonF line;
        for (const ArchivedRun& r : runs_)
            line << QPointF(
                area.left() + double(secondsOf(r) - t0) / double(t1 - t0) * area.width(),
                area.bottom() - (r.errSq - up.lo) / (up.hi - up.lo) * area.height());
        p.setPen(QPen(Qt::darkBlue, 1.5));
        p.drawPolyline(line);
        for (const QPointF& pt : line) p.drawEllipse(pt, 3, 3);
    }

    void drawCurves(QPainter& p, const QRectF& area) {
        double lo = 0, hi = 0;
        const auto widen = [&](const PerPoint<double>& e) {
            for (int j = 1; j <= kPointCount; ++j)
                lo = std::min(lo, e[std::size_t(j)]), hi = std::max(hi, e[std::size_t(j)]);
        };
        for (const ArchivedRun& r : runs_) widen(r.linErr);
        if (current_) widen(*current_);
        const AxisTicks across = NiceTicks(lo - 1, hi + 1, 6);
        std::vector<ChartTick> up;
        for (int j = 0; j <= kPointCount; j += 2)
            up.push_back({double(j) / kPointCount, QString::number(j * 10)});
        DrawAxis(p, area, Qt::LeftEdge, up, QStringLiteral("point (%)"));
        DrawAxis(p, area, Qt::BottomEdge, ValueTicks(across),
                 QStringLiteral("error (ppm): earlier grey, current red"));
        const auto x = [&](double ppm) {
            return area.left() + (ppm - across.lo) / (across.hi - across.lo) * area.width();
        };
        const auto curve = [&](const PerPoint<double>& e, const QColor& colour) {
            QPolygonF line;
            line << QPointF(x(0), area.bottom());
            for (int j = 1; j <= kPointCount; ++j)
                line << QPointF(x(e[std::size_t(j)]),
                                area.bottom() - j * area.height() / kPointCount);
            p.setPen(QPen(colour, 1.2));
            p.drawPolyline(line);
        };
        p.setPen(Qt::black);
        p.drawLine(QPointF(x(0), area.top()), QPointF(x(0), area.bottom()));
        for (const ArchivedRun& r : runs_) curve(r.linErr, QColor(0xA0, 0xA0, 0xA0));
        if (current_) curve(*current_, Qt::red);
    }

    const std::vector<ArchivedRun>& runs_;
    std::optional<PerPoint<double>> current_;
};

}  // namespace

frmHistory::frmHistory(const std::string& serial, std::vector<ArchivedRun> runs,
                       std::vector<std::string> verdicts,
                       const std::optional<PerPoint<double>>& current, const QString& application,
                       QWidget* parent)
    : QDialog(parent), runs_(std::move(runs)), application_(application) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Verlauf ") + QString::fromStdString(serial));
    // Smaller than its content, the window scrolls rather than cutting it.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("HistoryScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    auto* layout = new QVBoxLayout(content);
    auto* caption = new QLabel(content);
    caption->setObjectName(QStringLiteral("HistoryCaption"));
    caption->setText(runs_.empty()
                         ? QStringLiteral("No archived run of ") + QString::fromStdString(serial)
                         : QString::number(runs_.size()) + QStringLiteral(" archived runs of ") +
                               QString::fromStdString(serial));
    layout->addWidget(caption);

    // The listed facts, then the figures with their units.
    QStringList headers;
    for (const RunFact& fact : RunFacts())
        if (fact.listed) headers << QString::fromLatin1(fact.label);
    headers << QStringLiteral("ErrSq (ppm²)") << QStringLiteral("max |d%| (ppm)")
            << QStringLiteral("u (ppm)") << QStringLiteral("Trims") << QStringLiteral("Verdict");
    list_ = new QTableWidget(int(runs_.size()), int(headers.size()), content);
    list_->setObjectName(QStringLiteral("HistoryList"));
    list_->setHorizontalHeaderLabels(headers);
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < int(runs_.size()); ++row) {
        const ArchivedRun& r = runs_[std::size_t(row)];
        QStringList cells;
        for (const RunFact& fact : RunFacts())
            if (fact.listed) cells << QString::fromStdString(FactText(fact, r));
        cells << QString::number(r.errSq, 'f', 1) << QString::number(LargestLinErr(r), 'f', 1)
              << QString::number(UncertaintyOf(r).atLargest, 'f', 2)
              << QString::fromStdString(TrimsText(TrimsOf(r)))
              << QString::fromStdString(std::size_t(row) < verdicts.size()
                                            ? verdicts[std::size_t(row)]
                                            : std::string());
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            // A long text is read whole in the tooltip.
            item->setToolTip(cells[col]);
            list_->setItem(row, col, item);
        }
    }
    list_->resizeColumnsToContents();
    list_->setMinimumHeight(
        list_->horizontalHeader()->sizeHint().height() +
        std::min(int(runs_.size()), 6) * list_->verticalHeader()->defaultSectionSize() + 6);
    layout->addWidget(list_);
    layout->addWidget(new HistoryPlot(runs_, current, content), 1);
    scroll->setWidget(content);
    resize(980, 620);
}

void frmHistory::setVisible(bool visible) {
    if (visible && !isVisible()) RestorePlace(*this, application_);
    if (!visible && isVisible()) KeepPlace(*this, application_);
    QDialog::setVisible(visible);
}

}  // namespace q270
