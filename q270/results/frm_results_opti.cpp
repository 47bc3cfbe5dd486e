// The trim search of frmResults: "Optimierung" searches the best set of up to
// zero, one, ... four trim resistors, one result line each, and a click on a
// line puts that set into the table.
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <utility>

#include "frm_results.h"
#include "pattern_format.h"

namespace q270 {

namespace {

// A label has no click of its own: a left button released over it is one.
class ClickFilter : public QObject {
  public:
    ClickFilter(std::function<void()> onClick, QObject* parent)
        : QObject(parent), onClick_(std::move(onClick)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            onClick_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> onClick_;
};

QString latin(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void frmResults::buildOptimisation() {
    connect(CmdOpt, &QPushButton::clicked, this, [this] { CmdOpt_Click(); });
    for (std::size_t k = 0; k < OptiL1.size(); ++k)
        OptiL1[k]->installEventFilter(
            new ClickFilter([this, k] { OptiL1_Click(static_cast<int>(k)); }, OptiL1[k]));
}

void frmResults::CmdOpt_Click() {
    {
        const BusyScope busy(*this, optimising_);
        CmdOpt->setVisible(false);
        Opti->setTitle(QStringLiteral("Suche.."));
        Opti->setEnabled(true);
        for (int i = 1; i <= kStepCount; ++i) data_.ShuntSel[static_cast<std::size_t>(i)] = 0;
        for (int k = 0; k <= kMaxTrimCount; ++k) {
            OptiL1[static_cast<std::size_t>(k)]->setText(
                QStringLiteral("Optimum für") + latin(formatStr(k)) + QStringLiteral(" Rs"));
            repaintNow();
            SearchTrim(k);
            repaintNow();
            if (stopAsked_) break;
        }
        // The stop ended the search, not the results view.
        stopAsked_ = false;
    }
    CmdOpt->setVisible(true);
}

void frmResults::SearchTrim(int K) {
    const auto saved = data_.ShuntSel;
    const char separator = decimalSeparator();
    TrimSearch search(data_, K);
    // The table is redrawn only to show an improvement.
    Results->setUpdatesEnabled(false);
    for (;;) {
        const TrimStep step = search.step(kTrimSearchSlice);
        if (step.improved) {
            OptiL3->setText(latin(formatPattern(search.best(), "#0.0", separator)));
            search.evaluateLast(data_);
            ShowResults(true);
            Results->setUpdatesEnabled(true);
            Results->repaint();
            Results->setUpdatesEnabled(false);
            OptiLcnt->setText(latin(formatStr(search.evaluated())));
            if (stopAsked_) break;
        }
        if (step.slice) {
            QCoreApplication::processEvents();
            OptiLcnt->setText(latin(formatStr(search.evaluated())));
            if (stopAsked_) break;
        }
        if (step.done) break;
    }
    // The table keeps showing the best set; the choices are those from before.
    data_.ShuntSel = saved;
    if (search.found()) BestSel[static_cast<std::size_t>(K)] = search.bestSel();
    OptiL1[static_cast<std::size_t>(K)]->setText(latin(TrimResultLine(search, separator)));
    Results->setUpdatesEnabled(true);
}

void frmResults::OptiL1_Click(int k) {
    if (k < 0 || k > kMaxTrimCount) return;
    const QLabel* label = OptiL1[static_cast<std::size_t>(k)];
    if (!label->isEnabled() || label->text().isEmpty() || CmdOpt->isHidden()) return;
    if (k == 0) {
        for (int i = 1; i <= kStepCount; ++i) data_.ShuntSel[static_cast<std::size_t>(i)] = 0;
    } else {
        PlaceBest(data_, BestSel[static_cast<std::size_t>(k)], k);
    }
    for (int row = 1; row <= kStepCount; ++row) {
        ShowTrimChoice(grid_, row, data_.ShuntSel[static_cast<std::size_t>(row)]);
        refreshCell(row, kColTrim);
    }
    CalcResults(true);
    ShowResults(true);
}

}  // namespace q270
