#include "report_pdf.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace q270 {

namespace {

// Page coordinates in points (1/72 inch): A4 is 595 x 842.
constexpr int kResolution = 72;
constexpr double kMargin = 45;
constexpr double kPageWidth = 595 - 2 * kMargin;
constexpr double kHeaderBottom = kMargin + 14;  // the running head: report number, page
constexpr double kPageBottom = 842 - kMargin;

// Without shaping every character keeps its own glyph (no "ff" or "fi"
// ligatures), so the PDF's text reads back as written.
QFont reportFont(double size, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(size);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QColor colourOf(std::uint32_t value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// The height of `text` wrapped to `width` in `font` on `device`: the PDF's
// own resolution, not the screen's, or the measured lines would not be the
// drawn ones.
double wrappedHeight(const QFont& font, QPaintDevice* device, double width,
                     const std::string& text) {
    return QFontMetricsF(font, device)
        .boundingRect(QRectF(0, 0, width, 10000), Qt::TextWordWrap | Qt::AlignLeft, q(text))
        .height();
}

// The layout: blocks placed on pages first (so the page count is known),
// then each page drawn with its running head "page n of m".
class Layout {
  public:
    using Draw = std::function<void(QPainter&)>;

    explicit Layout(QPaintDevice* device) : device_(device) {}
    double heightOf(const QFont& font, double width, const std::string& text) const {
        return wrappedHeight(font, device_, width, text);
    }

    // Keeps `height` together on one page, starting a new one when needed;
    // `keepWithNext` more must fit too (a heading is never left alone at the
    // foot of a page).
    double place(double height, double keepWithNext = 0) {
        if (y_ + height + keepWithNext > kPageBottom && y_ > kHeaderBottom + 10) newPage();
        const double top = y_;
        y_ += height;
        return top;
    }
    void draw(Draw d) { pages_.back().push_back(std::move(d)); }
    void space(double points) { y_ += points; }
    void newPage() {
        pages_.emplace_back();
        y_ = kHeaderBottom + 10;
    }
    const std::vector<std::vector<Draw>>& pages() const { return pages_; }

  private:
    QPaintDevice* device_;
    std::vector<std::vector<Draw>> pages_{{}};
    double y_ = kHeaderBottom + 10;
};

void paragraph(Layout& layout, const std::string& text, double size = 9, bool bold = false,
               double keepWithNext = 0) {
    const QFont font = reportFont(size, bold);
    const double height = layout.heightOf(font, kPageWidth, text);
    const double top = layout.place(height + 4, keepWithNext);
    layout.draw([=](QPainter& p) {
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRectF(kMargin, top, kPageWidth, height), Qt::TextWordWrap | Qt::AlignLeft,
                   q(text));
    });
}

void heading(Layout& layout, const std::string& text) {
    layout.space(8);
    paragraph(layout, text, 11.5, true, 60);
}

// A table row by row; the header is repeated on each page the table reaches.
void table(Layout& layout, const ReportTable& t, double size) {
    const QFont font = reportFont(size), bold = reportFont(size, true);
    double sum = 0;
    for (const double w : t.widths) sum += w;
    std::vector<double> widths;
    for (const double w : t.widths) widths.push_back(w / sum * kPageWidth);
    const auto rowHeight = [&](const std::vector<std::string>& cells, const QFont& f) {
        double h = 0;
        for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c)
            h = std::max(h, layout.heightOf(f, widths[c] - 6, cells[c]));
        return h + 5;
    };
    const auto drawRow = [&](const std::vector<std::string>& cells, const QFont& f, double top,
                             double h, bool shaded) {
        layout.draw([=](QPainter& p) {
            double x = kMargin;
            for (std::size_t c = 0; c < widths.size(); ++c) {
                const QRectF box(x, top, widths[c], h);
                if (shaded) p.fillRect(box, QColor(0xE8, 0xE8, 0xE8));
                p.setPen(QPen(QColor(0x90, 0x90, 0x90), 0.4));
                p.drawRect(box);
                p.setPen(Qt::black);
                p.setFont(f);
                if (c < cells.size())
                    p.drawText(box.adjusted(3, 2, -3, -2), Qt::TextWordWrap | Qt::AlignLeft,
                               q(cells[c]));
                x += widths[c];
            }
        });
    };
    const double headerHeight = rowHeight(t.header, bold);
    bool headerDue = true;
    for (const auto& row : t.rows) {
        const double h = rowHeight(row, font);
        if (headerDue) {
            const double top = layout.place(headerHeight, h);
            drawRow(t.header, bold, top, headerHeight, true);
            headerDue = false;
        }
        const std::size_t pagesBefore = layout.pages().size();
        double top = layout.place(h);
        if (layout.pages().size() != pagesBefore) {
            // The row went to a new page: the header again above it.
            drawRow(t.header, bold, top, headerHeight, true);
            layout.space(headerHeight);
            top += headerHeight;
        }
        drawRow(row, font, top, h, false);
    }
    layout.space(4);
}

// Errors against the 10 % point: axes with ticks and units, U bars, the
// limit; scaled so that every curve with its bars and the limit is inside.
void plot(Layout& layout, const ReportPlot& model, char sep) {
    constexpr double kHeight = 230, kLeft = 50, kBottom = 28;
    const double top = layout.place(kHeight + 30);
    layout.draw([=](QPainter& p) {
        const QRectF area(kMargin + kLeft, top + 6, kPageWidth - kLeft - 110, kHeight - kBottom);
        double lo = 0, hi = 0;
        for (const ReportCurve& c : model.curves)
            for (int j = 1; j <= kPointCount; ++j) {
                lo = std::min(lo, c.error[std::size_t(j)] - c.U[std::size_t(j)]);
                hi = std::max(hi, c.error[std::size_t(j)] + c.U[std::size_t(j)]);
            }
        if (model.limitPpm) lo = std::min(lo, -*model.limitPpm), hi = std::max(hi, *model.limitPpm);
        if (hi - lo < 1e-9) hi = lo + 1;
        // A round tick step giving five to ten ticks.
        const double raw = (hi - lo) / 6;
        const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
        double step = magnitude;
        for (const double m : {1.0, 2.0, 5.0, 10.0})
            if (raw <= m * magnitude) {
                step = m * magnitude;
                break;
            }
        lo = std::floor(lo / step) * step;
        hi = std::ceil(hi / step) * step;
        const auto X = [&](int percent) { return area.left() + percent / 100.0 * area.width(); };
        const auto Y = [&](double ppm) {
            return area.bottom() - (ppm - lo) / (hi - lo) * area.height();
        };
        p.setRenderHint(QPainter::Antialiasing);
        p.setFont(reportFont(7));
        p.setPen(QPen(QColor(0xD0, 0xD0, 0xD0), 0.4));
        for (double v = lo; v <= hi + step / 2; v += step)
            p.drawLine(QPointF(area.left(), Y(v)), QPointF(area.right(), Y(v)));
        p.setPen(QPen(Qt::black, 0.8));
        p.drawRect(area);
        p.drawLine(QPointF(area.left(), Y(0)), QPointF(area.right(), Y(0)));
        const int decimals = step < 1 ? int(std::ceil(-std::log10(step))) : 0;
        for (double v = lo; v <= hi + step / 2; v += step) {
            p.drawLine(QPointF(area.left() - 3, Y(v)), QPointF(area.left(), Y(v)));
            p.drawText(QRectF(area.left() - kLeft, Y(v) - 5, kLeft - 5, 10),
                       Qt::AlignRight | Qt::AlignVCenter, q(Fixed(v, decimals, sep)));
        }
        for (int percent = 0; percent <= 100; percent += 10) {
            p.drawLine(QPointF(X(percent), area.bottom()), QPointF(X(percent), area.bottom() + 3));
            p.drawText(QRectF(X(percent) - 15, area.bottom() + 4, 30, 10), Qt::AlignHCenter,
                       QString::number(percent));
        }
        p.drawText(QRectF(area.left(), area.bottom() + 15, area.width(), 10), Qt::AlignHCenter,
                   QStringLiteral("point of the divider ratio (%)"));
        p.save();
        p.translate(kMargin + 8, area.center().y());
        p.rotate(-90);
        p.drawText(QRectF(-60, -6, 120, 12), Qt::AlignHCenter, QStringLiteral("error (ppm)"));
        p.restore();
        if (model.limitPpm) {
            p.setPen(QPen(QColor(0xC0, 0x60, 0x00), 1.0, Qt::DashLine));
            for (const double l : {*model.limitPpm, -*model.limitPpm})
                p.drawLine(QPointF(area.left(), Y(l)), QPointF(area.right(), Y(l)));
        }
        double legend = area.top();
        for (std::size_t n = 0; n < model.curves.size(); ++n) {
            const ReportCurve& c = model.curves[n];
            const double shift = (double(n) - (model.curves.size() - 1) / 2.0) * 3;
            p.setPen(QPen(colourOf(c.colour), 1.2));
            QPolygonF line;
            line << QPointF(X(0) + shift, Y(0));
            for (int j = 1; j <= kPointCount; ++j) {
                const QPointF at(X(j * 10) + shift, Y(c.error[std::size_t(j)]));
                line << at;
                const double u = c.U[std::size_t(j)];
                if (u > 0) {
                    p.drawLine(QPointF(at.x(), Y(c.error[std::size_t(j)] - u)),
                               QPointF(at.x(), Y(c.error[std::size_t(j)] + u)));
                    for (const double end : {-u, u})
                        p.drawLine(QPointF(at.x() - 2, Y(c.error[std::size_t(j)] + end)),
                                   QPointF(at.x() + 2, Y(c.error[std::size_t(j)] + end)));
                }
                p.drawEllipse(at, 1.6, 1.6);
            }
            p.drawPolyline(line);
            p.drawLine(QPointF(area.right() + 10, legend + 5),
                       QPointF(area.right() + 28, legend + 5));
            p.setPen(Qt::black);
            p.drawText(QRectF(area.right() + 32, legend, 80, 10), Qt::AlignLeft,
                       q(c.label + " +/- U"));
            legend += 13;
        }
        if (model.limitPpm) {
            p.setPen(QPen(QColor(0xC0, 0x60, 0x00), 1.0, Qt::DashLine));
            p.drawLine(QPointF(area.right() + 10, legend + 5),
                       QPointF(area.right() + 28, legend + 5));
            p.setPen(Qt::black);
            p.drawText(QRectF(area.right() + 32, legend, 80, 10), Qt::AlignLeft,
                       QStringLiteral("limit"));
        }
    });
}

void signatureBlock(Layout& layout) {
    const double top = layout.place(70);
    layout.draw([=](QPainter& p) {
        p.setFont(reportFont(9));
        p.setPen(Qt::black);
        const double half = kPageWidth / 2;
        for (int n = 0; n < 2; ++n) {
            const double x = kMargin + n * half;
            p.drawText(QPointF(x, top + 14),
                       n == 0 ? QStringLiteral("Measured by") : QStringLiteral("Approved by"));
            p.drawLine(QPointF(x, top + 44), QPointF(x + half - 25, top + 44));
            p.drawText(QPointF(x, top + 56), QStringLiteral("Name, signature, date"));
        }
    });
}

void layOut(Layout& layout, const ReportContent& c) {
    paragraph(layout, c.title, 15, true);
    layout.space(4);
    for (const auto& [label, value] : c.summary) paragraph(layout, label + ":  " + value, 9.5);
    for (const ReportSection& s : c.sections) {
        heading(layout, s.heading);
        for (const std::string& text : s.paragraphs) paragraph(layout, text, 8.5);
        if (s.table) table(layout, *s.table, s.small ? 7 : 8);
        if (s.plot) plot(layout, c.plot, c.decimalSeparator);
        if (s.signatures) signatureBlock(layout);
        for (const std::string& text : s.after) paragraph(layout, text, 8.5);
    }
}

}  // namespace

void WriteReportPdf(const ReportContent& c, const std::string& path) {
    // Written whole or not at all: a temporary file, renamed on commit.
    QSaveFile file(q(path));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(path + ": cannot be written (" + file.errorString().toStdString() +
                                 ")");
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(kResolution);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(q(c.title));
        writer.setCreator(QStringLiteral("zdx-q270"));
        Layout layout(&writer);
        layOut(layout, c);
        const auto& pages = layout.pages();
        QPainter painter;
        if (!painter.begin(&writer)) throw std::runtime_error(path + ": cannot be written");
        for (std::size_t n = 0; n < pages.size(); ++n) {
            if (n > 0) writer.newPage();
            painter.setFont(reportFont(8));
            painter.setPen(Qt::darkGray);
            const QRectF head(kMargin, kMargin, kPageWidth, 12);
            painter.drawText(head, Qt::AlignLeft, q("Report " + c.number));
            painter.drawText(head, Qt::AlignRight,
                             QStringLiteral("page %1 of %2").arg(n + 1).arg(pages.size()));
            painter.drawLine(QPointF(kMargin, kHeaderBottom),
                             QPointF(kMargin + kPageWidth, kHeaderBottom));
            for (const auto& draw : pages[n]) draw(painter);
        }
        if (!painter.end()) throw std::runtime_error(path + ": cannot be written");
    }
    if (!file.commit())
        throw std::runtime_error(path + ": cannot be written (" + file.errorString().toStdString() +
                                 ")");
}

}  // namespace q270
