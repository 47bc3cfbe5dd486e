#include "report_pdf.h"

#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <filesystem>
#include <stdexcept>

namespace q270 {

namespace {

// Page coordinates in points (1/72 inch): A4 is 595 x 842.
constexpr int kResolution = 72;
constexpr double kMargin = 40;
constexpr double kPageWidth = 595 - 2 * kMargin;
constexpr double kPageBottom = 842 - kMargin;

// Without shaping every character keeps its own glyph (no "ff" or
// "fi" ligatures), so the PDF's text reads back as written.
QFont reportFont(double size, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(size);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QColor cellColour(std::uint32_t value, bool background) {
    if (value == kWindowBackground) return background ? Qt::white : Qt::black;
    if (value == kButtonFace) return QColor(0xF0, 0xF0, 0xF0);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

class Pages {
  public:
    Pages(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter) {}

    void text(const std::string& line, double size = 9, bool bold = false, double gap = 3) {
        painter_.setFont(reportFont(size, bold));
        const double height = size * 1.25;
        room(height + gap);
        painter_.setPen(Qt::black);
        painter_.drawText(QRectF(kMargin, y_, kPageWidth, height), Qt::AlignLeft | Qt::AlignVCenter,
                          QString::fromStdString(line));
        y_ += height + gap;
    }
    void space(double points) { y_ += points; }
    // Makes room for `height` on this page or starts the next one.
    void room(double height) {
        if (y_ + height <= kPageBottom) return;
        writer_.newPage();
        y_ = kMargin;
    }
    double y() const { return y_; }
    void advance(double to) { y_ = to; }
    QPainter& painter() { return painter_; }

  private:
    QPdfWriter& writer_;
    QPainter& painter_;
    double y_ = kMargin;
};

void drawTable(Pages& pages, const ResultsGrid& grid) {
    // Column widths in points: the window's proportions, narrowed to the page.
    static constexpr std::array<double, kResultsCols> kWidths = {34, 56, 56, 52, 50,
                                                                 58, 42, 46, 50, 50};
    constexpr double kRow = 13;
    pages.room(kRow * kResultsRows);
    QPainter& p = pages.painter();
    p.setFont(reportFont(6.5));
    const double top = pages.y();
    for (int row = 0; row < kResultsRows; ++row) {
        double x = kMargin;
        for (int col = 0; col < kResultsCols; ++col) {
            const Cell& cell = grid.at(row, col);
            const QRectF box(x, top + row * kRow, kWidths[std::size_t(col)], kRow);
            p.fillRect(box, cellColour(cell.back, true));
            p.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 0.3));
            p.drawRect(box);
            p.setPen(cellColour(cell.fore, false));
            const Qt::Alignment align = cell.alignment == kAlignRight    ? Qt::AlignRight
                                        : cell.alignment == kAlignCentre ? Qt::AlignHCenter
                                                                         : Qt::AlignLeft;
            p.drawText(box.adjusted(2, 0, -2, 0), align | Qt::AlignVCenter,
                       QString::fromStdString(cell.text));
            x += kWidths[std::size_t(col)];
        }
    }
    pages.advance(top + kRow * kResultsRows + 8);
}

void drawPlot(Pages& pages, const PlotModel& plot, const std::string& lo, const std::string& hi) {
    constexpr double kWidth = 300, kHeight = 200;
    pages.room(kHeight + 20);
    QPainter& p = pages.painter();
    const QRectF area(kMargin, pages.y(), kWidth, kHeight);
    p.setPen(QPen(Qt::gray, 0.5));
    p.drawRect(area);
    const PlotScaleBox& s = plot.scaleBox();
    auto map = [&](double x, double y) {
        return QPointF(area.left() + (x - s.left) / s.width * kWidth,
                       area.top() + (y - s.top) / s.height * kHeight);
    };
    p.save();
    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing);
    for (const PlotPrimitive& prim : plot.primitives()) {
        p.setPen(QPen(cellColour(prim.colour, false), 1.0));
        if (prim.kind == PlotPrimitive::Line) {
            p.drawLine(map(prim.x1, prim.y1), map(prim.x2, prim.y2));
        } else {
            const double rx = prim.radius / s.width * kWidth;
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(map(prim.x1, prim.y1), rx, rx);
        }
    }
    p.restore();
    p.setFont(reportFont(7));
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.bottom() + 2, kWidth, 10), Qt::AlignLeft,
               QString::fromStdString(lo + " ppm"));
    p.drawText(QRectF(area.left(), area.bottom() + 2, kWidth, 10), Qt::AlignRight,
               QString::fromStdString(hi + " ppm"));
    p.drawText(QRectF(area.right() + 6, area.top(), 200, 10), Qt::AlignLeft,
               QStringLiteral("100 % point at the top, 0 % at the bottom"));
    p.setPen(cellColour(kPlotReferenceColour, false));
    p.drawText(QRectF(area.right() + 6, area.top() + 12, 200, 10), Qt::AlignLeft,
               QStringLiteral("red: as measured"));
    p.setPen(cellColour(kPlotTrimmedColour, false));
    p.drawText(QRectF(area.right() + 6, area.top() + 24, 200, 10), Qt::AlignLeft,
               QStringLiteral("blue: with the trim decision"));
    pages.advance(area.bottom() + 18);
}

}  // namespace

void WriteReportPdf(const ReportContent& c, const std::string& path) {
    const QString target = QString::fromStdString(path);
    const QString part = target + QStringLiteral(".part");
    {
        QPdfWriter writer(part);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(kResolution);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(QString::fromStdString(c.title));
        writer.setCreator(QStringLiteral("zdx-q270"));
        QPainter painter;
        if (!painter.begin(&writer)) throw std::runtime_error(path + ": cannot be written");
        Pages pages(writer, painter);
        pages.text(c.title, 14, true, 8);
        for (const auto& [label, value] : c.facts) pages.text(label + ": " + value, 9, false, 1);
        pages.space(8);
        pages.text("Results", 11, true);
        drawTable(pages, c.grid);
        const char sep = c.decimalSeparator;
        pages.text("Errors at the 10 % points", 11, true);
        drawPlot(pages, c.plot, Fixed(c.plot.PlotLo(), 1, sep), Fixed(c.plot.PlotHi(), 1, sep));

        pages.text("Uncertainty (Type A, from the two readings of each step)", 11, true);
        pages.text("Reading noise: " + Fixed(c.noise * 1e6, 3, sep) + " uV per reading");
        std::string u = "u(d% ppm), 100 % to 10 %:";
        for (int j = 10; j >= 1; --j) u += " " + Fixed(c.uLinErr[std::size_t(j)], 2, sep);
        pages.text(u);
        pages.space(6);
        pages.text("Trim decision", 11, true);
        for (const std::string& line : c.decisionLines) pages.text(line);
        if (!c.followUpLines.empty()) {
            pages.space(6);
            pages.text("Prediction against this run", 11, true);
            for (const std::string& line : c.followUpLines) pages.text(line);
        }
        pages.space(6);
        pages.text("Readings as the meter sent them", 11, true);
        for (const std::string& line : c.readingLines) pages.text(line, 8, false, 0);
        if (!painter.end()) throw std::runtime_error(path + ": cannot be written");
    }
    std::error_code error;
    std::filesystem::rename(part.toStdString(), path, error);
    if (error) {
        QFile::remove(part);
        throw std::runtime_error(path + ": cannot be written (" + error.message() + ")");
    }
}

}  // namespace q270
