// The picture box Picture1: paints the lines and circles of a PlotModel in the
// model's user scale. It draws nothing of its own.
#pragma once

#include <QWidget>

#include "plot_model.h"

namespace q270 {

class PlotView : public QWidget {
  public:
    PlotView(const PlotModel& model, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const PlotModel& model_;
};

}  // namespace q270
