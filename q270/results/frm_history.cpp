#include "frm_history.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "run_facts.h"
#include "run_figures.h"

namespace q270 {

namespace {

// Left: ErrSq against time; right: the 10 % point curves, error across,
// point up (100 % at the top), as the results plot draws them.
class HistoryPlot : public QWidget {
  public:
    HistoryPlot(const std::vector<ArchivedRun>& runs, const PerPoint<double>& current,
                QWidget* parent)
        : QWidget(parent), runs_(runs), current_(current) {
        setObjectName(QStringLiteral("HistoryPlot"));
        setMinimumSize(640, 260);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF left(40, 10, width() / 2.0 - 60, height() - 40);
        const QRectF right(width() / 2.0 + 20, 10, width() / 2.0 - 40, height() - 40);
        p.setPen(Qt::gray);
        p.drawRect(left);
        p.drawRect(right);
        p.setPen(Qt::black);
        p.drawText(QRectF(left.left(), left.bottom() + 4, left.width(), 16), Qt::AlignCenter,
                   QStringLiteral("ErrSq (ppm²) over time"));
        p.drawText(QRectF(right.left(), right.bottom() + 4, right.width(), 16), Qt::AlignCenter,
                   QStringLiteral("10 % points (ppm): earlier grey, current red"));
        drawErrSq(p, left);
        drawCurves(p, right);
    }

  private:
    void drawErrSq(QPainter& p, const QRectF& area) {
        if (runs_.empty()) return;
        std::vector<std::pair<double, double>> points;
        for (const ArchivedRun& r : runs_) {
            const QDateTime t =
                QDateTime::fromString(QString::fromStdString(r.record.time), Qt::ISODate);
            points.emplace_back(double(t.toSecsSinceEpoch()), r.errSq);
        }
        double t0 = points.front().first, t1 = points.back().first, top = 0;
        for (const auto& [t, e] : points) top = std::max(top, e);
        if (t1 <= t0) t1 = t0 + 1;
        if (top <= 0) top = 1;
        QPolygonF line;
        for (const auto& [t, e] : points)
            line << QPointF(area.left() + 8 + (t - t0) / (t1 - t0) * (area.width() - 16),
                            area.bottom() - e / top * (area.height() - 10));
        p.setPen(QPen(Qt::darkBlue, 1.5));
        p.drawPolyline(line);
        for (const QPointF& pt : line) p.drawEllipse(pt, 3, 3);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, area.top(), area.left() - 2, 14), Qt::AlignRight,
                   QString::number(top, 'f', 0));
    }
    void drawCurves(QPainter& p, const QRectF& area) {
        double lo = 0, hi = 0.001;
        auto widen = [&](const PerPoint<double>& e) {
            for (const double v : e) lo = std::min(lo, v), hi = std::max(hi, v);
        };
        for (const ArchivedRun& r : runs_) widen(r.linErr);
        widen(current_);
        lo -= 2, hi += 2;
        auto curve = [&](const PerPoint<double>& e, const QColor& colour) {
            QPolygonF line;
            line << QPointF(area.left() + (0 - lo) / (hi - lo) * area.width(), area.bottom() - 4);
            for (int j = 1; j <= kPointCount; ++j)
                line << QPointF(area.left() + (e[std::size_t(j)] - lo) / (hi - lo) * area.width(),
                                area.bottom() - 4 - j * (area.height() - 8) / kPointCount);
            p.setPen(QPen(colour, 1.2));
            p.drawPolyline(line);
        };
        p.setPen(Qt::black);
        const double zero = area.left() + (0 - lo) / (hi - lo) * area.width();
        p.drawLine(QPointF(zero, area.top()), QPointF(zero, area.bottom()));
        for (const ArchivedRun& r : runs_) curve(r.linErr, QColor(0xA0, 0xA0, 0xA0));
        curve(current_, Qt::red);
    }

    const std::vector<ArchivedRun>& runs_;
    PerPoint<double> current_;
};

}  // namespace

frmHistory::frmHistory(const std::string& serial, std::vector<ArchivedRun> runs,
                       const PerPoint<double>& current, QWidget* parent)
    : QDialog(parent), runs_(std::move(runs)) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Verlauf ") + QString::fromStdString(serial));
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(this);
    caption->setObjectName(QStringLiteral("HistoryCaption"));
    caption->setText(runs_.empty()
                         ? QStringLiteral("No archived run of ") + QString::fromStdString(serial)
                         : QString::number(runs_.size()) + QStringLiteral(" archived runs of ") +
                               QString::fromStdString(serial));
    layout->addWidget(caption);

    // The listed facts, then the figures.
    QStringList headers;
    for (const RunFact& fact : RunFacts())
        if (fact.listed) headers << QString::fromLatin1(fact.label);
    headers << QStringLiteral("ErrSq") << QStringLiteral("max |d%|") << QStringLiteral("u")
            << QStringLiteral("Trims");
    list_ = new QTableWidget(int(runs_.size()), int(headers.size()), this);
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
              << QString::fromStdString(TrimsText(TrimsOf(r)));
        for (int col = 0; col < cells.size(); ++col)
            list_->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    list_->resizeColumnsToContents();
    layout->addWidget(list_);
    layout->addWidget(new HistoryPlot(runs_, current, this));
    resize(720, 560);
}

}  // namespace q270
