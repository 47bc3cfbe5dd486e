#include "results_table.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "pattern_format.h"

namespace q270 {

namespace {

constexpr int kSegments = 10;

constexpr const char* kReadingPattern = "##0.0000000";
constexpr const char* kHalfPattern = "#0.0 ppm";
constexpr const char* kResistorPattern = "########0";
constexpr const char* kSegmentPattern = "######0.0";
constexpr const char* kPointPattern = "#######0.0";

// "Int": the largest whole number not above the value, never below 0.
int wholeSize(double value) {
    return value > 0.0 ? static_cast<int>(std::floor(value)) : 0;
}

void setFixedStyle(Cell& cell, std::string text) {
    cell.text = std::move(text);
    cell.alignment = kAlignCentre;
    cell.back = kButtonFace;
}

void setNumber(Cell& cell, double value, const char* pattern, char separator) {
    cell.text = formatPattern(value, pattern, separator);
    cell.alignment = kAlignRight;
}

void showHalves(ResultsGrid& grid, const ResultsData& data, bool trimmed, char separator) {
    const int sumDownRow = trimmed ? 7 : 10;
    const int sumUpRow = trimmed ? 14 : 11;
    const int devDownRow = trimmed ? 6 : 9;
    const int devUpRow = trimmed ? 15 : 12;
    setNumber(grid.at(sumDownRow, kColHalves), data.SumDown, kReadingPattern, separator);
    setNumber(grid.at(sumUpRow, kColHalves), data.SumUp, kReadingPattern, separator);
    Cell& down = grid.at(devDownRow, kColHalves);
    Cell& up = grid.at(devUpRow, kColHalves);
    setNumber(down, data.DevDown, kHalfPattern, separator);
    setNumber(up, data.DevUp, kHalfPattern, separator);
    down.back = kWindowBackground;
    up.back = kWindowBackground;
    // The halves deviate in opposite directions: this marks the positive one.
    (data.DevUp > data.DevDown ? up : down).back = kPositiveHalf;
}

void showPointErrors(ResultsGrid& grid, const ResultsData& data, int col, char separator) {
    float largest = -1E+38f;
    float smallest = 1E+38f;
    int largestJ = 0;
    int smallestJ = 0;
    for (int j = 1; j <= kSegments; ++j) {
        Cell& cell = grid.at(kSegments + 1 - j, col);
        const float err = data.LinErr[j];
        setNumber(cell, err, kPointPattern, separator);
        cell.back = std::fabs(err) > 10.0f ? kOverLimit : kCellWhite;
        if (err > largest) {
            largest = err;
            largestJ = j;
        }
        if (err < smallest) {
            smallest = err;
            smallestJ = j;
        }
    }
    // Not a number anywhere leaves no extreme to mark. Where one value is both
    // (all equal), the smallest's colour is the one that stays.
    const auto mark = [&](int j, std::uint32_t colour) {
        if (j == 0) return;
        const bool over = std::fabs(data.LinErr[j]) > 10.0f;
        grid.at(kSegments + 1 - j, col).back = over ? kExtremeOverLimit : colour;
    };
    mark(largestJ, kLargestError);
    mark(smallestJ, kSmallestError);
}

}  // namespace

ResultsGrid::ResultsGrid() : cells_(static_cast<std::size_t>(kResultsRows * kResultsCols)) {
    for (int row = 0; row < kResultsRows; ++row) {
        for (int col = 0; col < kResultsCols; ++col) {
            if (row == 0 || col == 0) at(row, col).back = kButtonFace;
        }
    }
}

Cell& ResultsGrid::at(int row, int col) {
    if (row < 0 || row >= kResultsRows || col < 0 || col >= kResultsCols)
        throw std::out_of_range("results table cell outside 21 x 10");
    return cells_[static_cast<std::size_t>(row * kResultsCols + col)];
}

const Cell& ResultsGrid::at(int row, int col) const {
    return const_cast<ResultsGrid*>(this)->at(row, col);
}

TableGeometry ComputeGeometry(int tableWidth, int tableHeight, int rows, int cols) {
    TableGeometry g;
    if (rows < 1 || cols < 1) return g;
    const double width = tableWidth;
    const double height = tableHeight;
    const int rowHeight = wholeSize(height / rows - 7.0);
    g.rowHeights.assign(static_cast<std::size_t>(rows), rowHeight);
    g.rowHeightSum = rowHeight * rows;
    g.tableHeight = g.rowHeightSum + 25;
    g.columnWidths.resize(static_cast<std::size_t>(cols));
    for (int col = 0; col < cols; ++col) {
        double w = width / (cols - 0.71) - 5.0;
        if (col == 0) w = width / cols * 0.6;
        if (col == 4) w = width / cols * 0.7;
        g.columnWidths[static_cast<std::size_t>(col)] = wholeSize(w);
    }
    // Where row 11 starts for rows of average height.
    g.picture2Top = g.rowHeightSum / 21.0 * 11.0;
    return g;
}

void PrepareTable(ResultsGrid& grid) {
    grid.background = kCellWhite;
    for (int row = 0; row < grid.rows(); ++row) {
        for (int col = 1; col < grid.cols(); ++col) {
            Cell& cell = grid.at(row, col);
            cell.back = kWindowBackground;
            cell.text.clear();
        }
    }
    for (int row = 1; row <= kStepCount; ++row) {
        setFixedStyle(grid.at(row, kColResistor), "R" + formatStr(ResistorOfStep(row)));
        // Upper end first: rows 1..10 from 100/90 down, rows 11..20 from 10/0 up.
        const int upper = row <= kSegments ? 100 - 10 * (row - 1) : 10 * (row - kSegments);
        setFixedStyle(grid.at(row, kColSegment), formatStr(upper) + " ..." + formatStr(upper - 10));
    }
    static constexpr std::array<std::pair<int, const char*>, 7> kHeaders = {
        {{kColResistor, "copy"},
         {kColReading1, "1.MW in V"},
         {kColReading2, "2.MW in V"},
         {kColTrim, "R Shunt"},
         {kColDevR, "dR ppm"},
         {kColDevRS, "dRS ppm"},
         {kColPoint, "d% ppm"}}};
    for (const auto& [col, text] : kHeaders) {
        Cell& cell = grid.at(0, col);
        cell.text = text;
        cell.alignment = kAlignCentre;
    }
}

void ShowTrimChoice(ResultsGrid& grid, int row, int choice) {
    Cell& cell = grid.at(row, kColTrim);
    const bool shown = choice > 0 && choice < kTrimChoices;
    cell.text = shown ? std::string(kTrimCaptions[static_cast<std::size_t>(choice)]) : "";
    cell.alignment = kAlignCentre;
    cell.back = shown ? kTrimCellChosen : kWindowBackground;
}

PerStep<std::int16_t> TrimChoicesShown(const ResultsGrid& grid) {
    PerStep<std::int16_t> choices{};
    for (int step = 1; step <= kStepCount; ++step) {
        const std::string& text = grid.at(step, kColTrim).text;
        for (int k = 1; k < kTrimChoices; ++k)
            if (text == kTrimCaptions[static_cast<std::size_t>(k)])
                choices[static_cast<std::size_t>(step)] = static_cast<std::int16_t>(k);
    }
    return choices;
}

char CellDecimalSeparator(std::u16string_view point) {
    if (point.size() != 1) return '.';
    const char16_t c = point.front();
    const bool printableLatin1 = (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF);
    return printableLatin1 ? static_cast<char>(c) : '.';
}

std::string ReadingText(double volts, char decimalSeparator) {
    return formatPattern(volts, kReadingPattern, decimalSeparator);
}

bool ReadingsDiffer(float mw1, float mw2) {
    const float diff = mw1 - mw2;
    return std::fabs(diff) > 2E-6f;
}

void ShowResultsCells(ResultsGrid& grid, const ResultsData& data, bool trimmed,
                      char decimalSeparator) {
    if (trimmed) {
        grid.at(0, kColReading1).text = "modMW V";
        for (int row = 1; row <= kStepCount; ++row)
            setNumber(grid.at(row, kColReading1), data.Mw1[row], kReadingPattern, decimalSeparator);
    }
    showHalves(grid, data, trimmed, decimalSeparator);
    for (int row = 1; row <= kStepCount; ++row)
        setNumber(grid.at(row, kColDevR), data.DevR[row], kResistorPattern, decimalSeparator);
    for (int row = 1; row <= kSegments; ++row)
        setNumber(grid.at(row, kColDevRS), data.DevRS[row], kSegmentPattern, decimalSeparator);
    const int col = trimmed ? kColPointTrimmed : kColPoint;
    if (trimmed) {
        Cell& header = grid.at(0, kColPointTrimmed);
        header.text = "d% tst";
        header.alignment = kAlignCentre;
    }
    showPointErrors(grid, data, col, decimalSeparator);
}

std::optional<GridPosition> PointerPosition(double x, double y, const TableGeometry& geometry) {
    if (geometry.columnWidths.size() < 3 || geometry.rowHeights.size() < 3) return std::nullopt;
    const int col0 = geometry.columnWidths[0];
    const int col2 = geometry.columnWidths[2];
    const int row2 = geometry.rowHeights[2];
    if (col2 <= 0 || row2 <= 0) return std::nullopt;
    return GridPosition{(x - col0) / col2, y / row2};
}

std::optional<int> TrimCellRow(double colpos, double rowpos) {
    if (!(colpos > 2.05 && colpos < 2.95 && rowpos > 1.05 && rowpos < 21.2)) return std::nullopt;
    const int row = static_cast<int>(std::floor(rowpos));
    if (row < 1 || row > kStepCount) return std::nullopt;
    return row;
}

bool CopyCellHit(double colpos, double rowpos) {
    return colpos > -0.95 && colpos < -0.05 && rowpos > 0.05 && rowpos < 0.95;
}

std::string CopyText(const ResultsGrid& grid) {
    std::string text;
    for (int row = 1; row <= kStepCount; ++row) {
        for (int col = 1; col < grid.cols(); ++col) {
            if (col > 1) text += '\t';
            text += grid.at(row, col).text;
        }
        text += "\r\n";
    }
    return text;
}

std::string TableListing(const ResultsGrid& grid) {
    std::vector<std::size_t> widths(static_cast<std::size_t>(grid.cols()), 0);
    for (int row = 0; row < grid.rows(); ++row)
        for (int col = 0; col < grid.cols(); ++col)
            widths[std::size_t(col)] =
                std::max(widths[std::size_t(col)], grid.at(row, col).text.size());
    std::string text;
    for (int row = 0; row < grid.rows(); ++row) {
        std::string line;
        for (int col = 0; col < grid.cols(); ++col) {
            const Cell& cell = grid.at(row, col);
            const std::string pad(widths[std::size_t(col)] - cell.text.size(), ' ');
            if (col > 0) line += "  ";
            line += cell.alignment == kAlignRight ? pad + cell.text : cell.text + pad;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + '\n';
    }
    return text;
}

}  // namespace q270
