#include "frm_history.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "uncertainty.h"

namespace q270 {

namespace {

constexpr std::array<const char*, kTrimChoices> kTrimShort = {"",     "2.0M", "1.0M",
                                                              "750k", "499k", "301k"};

QString trimsText(const std::array<std::int16_t, kStepCount>& sel) {
    QStringList parts;
    for (std::size_t i = 0; i < kStepCount; ++i)
        if (sel[i] > 0 && sel[i] < kTrimChoices)
            parts
                << QStringLiteral("R%1=%2").arg(116 - int(i)).arg(kTrimShort[std::size_t(sel[i])]);
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1Char(' '));
}

double uAtLargest(const ArchivedRun& run) {
    const ResultsData readings = ToResultsData(run.record);
    const auto u = LinErrUncertainty(readings, false, ReadingNoise(readings));
    std::size_t largest = 0;
    for (std::size_t j = 0; j < run.linErr.size(); ++j)
        if (std::fabs(run.linErr[j]) > std::fabs(run.linErr[largest])) largest = j;
    return u[largest + 1];
}

// Left: ErrSq against time; right: the 10 % point curves, error across,
// point up (100 % at the top), as the results plot draws them.
class HistoryPlot : public QWidget {
  public:
    HistoryPlot(const std::vector<ArchivedRun>& runs,
                const std::array<double, kPointCount>& current, QWidget* parent)
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
        auto widen = [&](const std::array<double, kPointCount>& e) {
            for (const double v : e) lo = std::min(lo, v), hi = std::max(hi, v);
        };
        for (const ArchivedRun& r : runs_) widen(r.linErr);
        widen(current_);
        lo -= 2, hi += 2;
        auto curve = [&](const std::array<double, kPointCount>& e, const QColor& colour) {
            QPolygonF line;
            line << QPointF(area.left() + (0 - lo) / (hi - lo) * area.width(), area.bottom() - 4);
            for (int j = 1; j <= kPointCount; ++j)
                line << QPointF(
                    area.left() + (e[std::size_t(j - 1)] - lo) / (hi - lo) * area.width(),
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
    std::array<double, kPointCount> current_;
};

}  // namespace

frmHistory::frmHistory(const std::string& serial, std::vector<ArchivedRun> runs,
                       const std::array<double, kPointCount>& current, QWidget* parent)
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

    list_ = new QTableWidget(int(runs_.size()), 7, this);
    list_->setObjectName(QStringLiteral("HistoryList"));
    list_->setHorizontalHeaderLabels({QStringLiteral("Zeit (UTC)"), QStringLiteral("Platz"),
                                      QStringLiteral("Meter"), QStringLiteral("ErrSq"),
                                      QStringLiteral("max |d%|"), QStringLiteral("u"),
                                      QStringLiteral("Trims")});
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < int(runs_.size()); ++row) {
        const ArchivedRun& r = runs_[std::size_t(row)];
        const auto trims = r.decision ? r.decision->ShuntSel : TrimChoicesOf(r.record);
        const QStringList cells = {QString::fromStdString(r.record.time),
                                   QString::fromStdString(r.origin.benchHost),
                                   QString::fromStdString(r.record.meterId.value_or("-")),
                                   QString::number(r.errSq, 'f', 1),
                                   QString::number(LargestLinErr(r), 'f', 1),
                                   QString::number(uAtLargest(r), 'f', 2),
                                   trimsText(trims)};
        for (int col = 0; col < cells.size(); ++col)
            list_->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    list_->resizeColumnsToContents();
    layout->addWidget(list_);
    layout->addWidget(new HistoryPlot(runs_, current, this));
    resize(720, 560);
}

}  // namespace q270
