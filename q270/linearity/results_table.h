// The results table without a widget: a model of the grid `Results` (21 rows,
// 10 columns, row 0 and column 0 fixed) with per-cell text, alignment and
// colours, its geometry, and the filling of its cells from an evaluation. The
// window shows this model; tests read it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation.h"

namespace q270 {

inline constexpr int kResultsRows = 21;
inline constexpr int kResultsCols = 10;

// The table's columns; row i (1..kStepCount) is step i, row 0 the headers.
enum ResultsColumn : int {
    kColResistor = 0,      // "copy": the step's resistor
    kColReading1 = 1,      // "1.MW in V", after a trim choice "modMW V"
    kColReading2 = 2,      // "2.MW in V"
    kColTrim = 3,          // "R Shunt"
    kColSegment = 4,       // the step's segment, " 100 ... 90"
    kColHalves = 5,        // sums and deviations of the two sweeps
    kColDevR = 6,          // "dR ppm"
    kColDevRS = 7,         // "dRS ppm"
    kColPoint = 8,         // "d% ppm"
    kColPointTrimmed = 9,  // "d% tst"
};

// Cell alignments as the grid numbers them.
inline constexpr int kAlignDefault = 0;  // left
inline constexpr int kAlignCentre = 4;
inline constexpr int kAlignRight = 7;

// Colour values 0x00BBGGRR; the two system colours follow the desktop's palette.
inline constexpr std::uint32_t kWindowBackground = 0x80000005;
inline constexpr std::uint32_t kButtonFace = 0x8000000F;
inline constexpr std::uint32_t kCellWhite = 0xFFFFFF;
inline constexpr std::uint32_t kCellBlack = 0x000000;
inline constexpr std::uint32_t kCellRed = 0x0000FF;           // text of differing readings
inline constexpr std::uint32_t kPositiveHalf = 0xC0FFFF;      // light yellow: the positive half
inline constexpr std::uint32_t kOverLimit = 0xC0C0FF;         // |error| over 10 ppm
inline constexpr std::uint32_t kLargestError = 0xC0FFC0;      // largest 10 % point error
inline constexpr std::uint32_t kSmallestError = 0x80FF80;     // smallest 10 % point error
inline constexpr std::uint32_t kExtremeOverLimit = 0xF0C0FF;  // largest/smallest over 10 ppm
inline constexpr std::uint32_t kTrimCellSelected = 0x00FFFF;  // trim cell while choosing
inline constexpr std::uint32_t kTrimCellChosen = 0xE0E0E0;    // trim cell after the choice

// Menu captions of the trim-resistor choices 0..5, with their leading blanks.
inline constexpr std::array<std::string_view, kTrimChoices> kTrimCaptions = {
    "    offen", "2.0 MOhm", "1,0 MOhm", "  750 kOhm", "  499 kOhm", "  301 KOhm"};

struct Cell {
    std::string text;
    int alignment = kAlignDefault;
    std::uint32_t back = kWindowBackground;
    std::uint32_t fore = kCellBlack;
};

class ResultsGrid {
  public:
    // Fixed cells start on the button face, the others on the window background.
    ResultsGrid();

    // row 0..20, col 0..9; throws std::out_of_range outside.
    Cell& at(int row, int col);
    const Cell& at(int row, int col) const;

    int rows() const { return kResultsRows; }
    int cols() const { return kResultsCols; }

    std::uint32_t background = kWindowBackground;  // the grid's own background

  private:
    std::vector<Cell> cells_;
};

// Sizes of the table for a given width and height (in the grid's units).
struct TableGeometry {
    std::vector<int> rowHeights;  // one per row, all equal
    int rowHeightSum = 0;
    int tableHeight = 0;            // rowHeightSum + 25
    std::vector<int> columnWidths;  // one per column
    double picture2Top = 0;         // the boundary between rows 10 and 11
};

// Row heights Int(height / rows - 7), never below 0; column 0 Int(width / cols
// * 0.6), column 4 Int(width / cols * 0.7), the others Int(width / (cols -
// 0.71) - 5), never below 0; the bar between the sweeps at sum / 21 * 11.
// Fewer than one row or column gives an empty geometry.
TableGeometry ComputeGeometry(int tableWidth, int tableHeight, int rows = kResultsRows,
                              int cols = kResultsCols);

// The table at the start of a run: white grid background; columns 1..9 of
// every row emptied onto the window background; the resistor names in column
// 0, the segments in column 4 (centred, button face); the headers in row 0.
void PrepareTable(ResultsGrid& grid);

// The trim cell of `row` after a choice: centred, the caption of `choice`
// on grey, or empty on the window background for none (0).
void ShowTrimChoice(ResultsGrid& grid, int row, int choice);

// The choice each step's trim cell shows (0 where it is empty).
PerStep<std::int16_t> TrimChoicesShown(const ResultsGrid& grid);

// The decimal separator the cells carry for a locale whose separator is
// `point`: that character when it is one printable Latin-1 character (the
// table's text is Latin-1), otherwise ".".
char CellDecimalSeparator(std::u16string_view point);

// A multimeter reading as shown in columns 1 and 2: "##0.0000000".
std::string ReadingText(double volts, char decimalSeparator);

// Whether the two readings of a step differ by more than 2E-6 V (compared in
// single precision); such a second reading is shown in red.
bool ReadingsDiffer(float mw1, float mw2);

// Writes an evaluation into the table (columns 1, 5..9). The untrimmed
// evaluation goes to column 8 and rows 9..12 of column 5; the trimmed one to
// column 9 and rows 6, 7, 14, 15, and column 1 then shows the modified values.
void ShowResultsCells(ResultsGrid& grid, const ResultsData& data, bool trimmed,
                      char decimalSeparator);

// A pointer position in the table as column and row coordinates: colpos =
// (x - width of column 0) / width of column 2, rowpos = y / height of row 2.
// Empty when one of those sizes is not positive.
struct GridPosition {
    double colpos, rowpos;
};
std::optional<GridPosition> PointerPosition(double x, double y, const TableGeometry& geometry);

// The data row (1..20) of the "R Shunt" cell under the pointer, if any.
std::optional<int> TrimCellRow(double colpos, double rowpos);

// Whether the pointer is on the "copy" header cell.
bool CopyCellHit(double colpos, double rowpos);

// Rows 1..20, columns 1..9: cells separated by a tab, each row ended by CR LF.
std::string CopyText(const ResultsGrid& grid);

// The whole table as the window shows it, headers and row labels included,
// for a terminal: one line per row, each column as wide as its widest text
// (numbers to the right), two blanks between columns.
std::string TableListing(const ResultsGrid& grid);

}  // namespace q270
