// The results table model: layout, the cells an evaluation fills, their
// colours, the pointer rules and the copied text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "evaluation.h"
#include "results_table.h"

namespace q270 {
namespace {

ResultsGrid preparedGrid() {
    ResultsGrid grid;
    PrepareTable(grid);
    return grid;
}

// Errors at the 10 % points 1..10 (index 0 unused).
ResultsData withPointErrors(std::array<float, 11> errors) {
    ResultsData d;
    d.LinErr = errors;
    return d;
}

std::uint32_t pointBack(const ResultsGrid& grid, int j, int col = kColPoint) {
    return grid.at(11 - j, col).back;
}

TEST(ResultsTable, PreparationNamesResistorsSegmentsAndColumns) {
    ResultsGrid grid;
    for (int row = 0; row < grid.rows(); ++row) {
        for (int col = 1; col < grid.cols(); ++col) {
            grid.at(row, col).text = "old";
            grid.at(row, col).back = 0x123456;
        }
    }
    PrepareTable(grid);
    EXPECT_EQ(grid.background, 0xFFFFFFu);
    EXPECT_EQ(grid.at(1, 0).text, "R 116");
    EXPECT_EQ(grid.at(10, 0).text, "R 107");
    EXPECT_EQ(grid.at(20, 0).text, "R 97");
    EXPECT_EQ(grid.at(1, 4).text, " 100 ... 90");
    EXPECT_EQ(grid.at(10, 4).text, " 10 ... 0");
    EXPECT_EQ(grid.at(11, 4).text, " 10 ... 0");
    EXPECT_EQ(grid.at(12, 4).text, " 20 ... 10");
    EXPECT_EQ(grid.at(20, 4).text, " 100 ... 90");
    for (int row = 1; row <= 20; ++row) {
        for (int col : {0, 4}) {
            EXPECT_EQ(grid.at(row, col).alignment, kAlignCentre) << row << "," << col;
            EXPECT_EQ(grid.at(row, col).back, 0x8000000Fu) << row << "," << col;
        }
        for (int col : {1, 2, 3, 5, 6, 7, 8, 9}) {
            EXPECT_EQ(grid.at(row, col).text, "") << row << "," << col;
            EXPECT_EQ(grid.at(row, col).back, 0x80000005u) << row << "," << col;
        }
    }
    const std::array<const char*, 10> headers = {"copy", "1.MW in V", "2.MW in V", "R Shunt", "",
                                                 "",     "dR ppm",    "dRS ppm",   "d% ppm",  ""};
    for (int col = 0; col < 10; ++col) {
        EXPECT_EQ(grid.at(0, col).text, headers[static_cast<std::size_t>(col)]) << col;
        if (*headers[static_cast<std::size_t>(col)] != '\0') {
            EXPECT_EQ(grid.at(0, col).alignment, kAlignCentre) << col;
        }
    }
    EXPECT_THROW(grid.at(21, 0), std::out_of_range);
    EXPECT_THROW(grid.at(0, 10), std::out_of_range);
    EXPECT_THROW(grid.at(-1, 3), std::out_of_range);
}

TEST(ResultsTable, GeometryFromTheTableSize) {
    const TableGeometry g = ComputeGeometry(1234, 700);
    ASSERT_EQ(g.rowHeights.size(), 21u);
    ASSERT_EQ(g.columnWidths.size(), 10u);
    EXPECT_EQ(g.rowHeights[0], 26);  // Int(700 / 21 - 7) = Int(26.33)
    EXPECT_EQ(g.rowHeights[20], 26);
    EXPECT_EQ(g.rowHeightSum, 546);
    EXPECT_EQ(g.tableHeight, 571);
    EXPECT_EQ(g.columnWidths[0], 74);  // Int(123.4 * 0.6)
    EXPECT_EQ(g.columnWidths[4], 86);  // Int(123.4 * 0.7)
    for (int col : {1, 2, 3, 5, 6, 7, 8, 9})
        EXPECT_EQ(g.columnWidths[static_cast<std::size_t>(col)], 127) << col;  // Int(132.83 - 5)
    EXPECT_DOUBLE_EQ(g.picture2Top, 286.0);                                    // 546 / 21 * 11

    const TableGeometry tiny = ComputeGeometry(20, 100);
    EXPECT_EQ(tiny.rowHeights[0], 0);  // 100 / 21 - 7 is below 0
    EXPECT_EQ(tiny.tableHeight, 25);
    EXPECT_EQ(tiny.columnWidths[1], 0);
    EXPECT_TRUE(ComputeGeometry(1000, 700, 0, 10).rowHeights.empty());
    EXPECT_TRUE(ComputeGeometry(1000, 700, 21, 0).columnWidths.empty());
}

TEST(ResultsTable, ReadingsTextAndDifference) {
    EXPECT_EQ(ReadingText(0.12345674, '.'), "0.1234567");
    EXPECT_EQ(ReadingText(0.25, ','), "0,2500000");
    EXPECT_EQ(ReadingText(12.5, '.'), "12.5000000");
    EXPECT_EQ(ReadingText(-0.0000012, '.'), "-0.0000012");
    EXPECT_EQ(ReadingText(0.0, '.'), "0.0000000");

    EXPECT_FALSE(ReadingsDiffer(2E-6f, 0.0f));  // exactly 2E-6 apart
    EXPECT_FALSE(ReadingsDiffer(0.0f, 2E-6f));
    EXPECT_TRUE(ReadingsDiffer(std::nextafter(2E-6f, 1.0f), 0.0f));
    EXPECT_TRUE(ReadingsDiffer(0.25f, 0.250003f));
    EXPECT_FALSE(ReadingsDiffer(0.25f, 0.250001f));
    EXPECT_FALSE(ReadingsDiffer(0.2512345f, 0.2512345f));
}

TEST(ResultsTable, UntrimmedCellsAndFormats) {
    ResultsGrid grid = preparedGrid();
    ResultsData d;
    for (int i = 1; i <= 20; ++i) d.DevR[i] = static_cast<float>(i) - 7.5f;
    for (int i = 1; i <= 10; ++i) d.DevRS[i] = static_cast<float>(i) * 1.25f - 6.0f;
    d.SumDown = 2.515625f;
    d.SumUp = 2.484375f;
    d.DevDown = 4.92;
    d.DevUp = -4.92;
    d.LinErr = {0, 1.25f, -2.0f, 3.0f, 0.04f, -0.04f, 5.0f, -6.0f, 7.0f, 8.0f, 0.0f};
    ShowResultsCells(grid, d, false, ',');

    EXPECT_EQ(grid.at(10, 5).text, "2,5156250");
    EXPECT_EQ(grid.at(11, 5).text, "2,4843750");
    EXPECT_EQ(grid.at(9, 5).text, "4,9 ppm");
    EXPECT_EQ(grid.at(12, 5).text, "-4,9 ppm");
    EXPECT_EQ(grid.at(1, 6).text, "-7");  // -6.5 rounds away from zero
    EXPECT_EQ(grid.at(8, 6).text, "1");   // 0.5
    EXPECT_EQ(grid.at(20, 6).text, "13");
    EXPECT_EQ(grid.at(1, 7).text, "-4,8");  // -4.75
    EXPECT_EQ(grid.at(10, 7).text, "6,5");
    EXPECT_EQ(grid.at(11, 7).text, "");     // segments only in rows 1..10
    EXPECT_EQ(grid.at(10, 8).text, "1,3");  // point 1 (10 %) in row 10
    EXPECT_EQ(grid.at(7, 8).text, "0,0");
    EXPECT_EQ(grid.at(6, 8).text, "0,0");  // -0.04 shows without a sign
    EXPECT_EQ(grid.at(1, 8).text, "0,0");  // point 10 (100 %) in row 1
    EXPECT_EQ(grid.at(11, 8).text, "");
    for (int row = 1; row <= 20; ++row) EXPECT_EQ(grid.at(row, 6).alignment, kAlignRight) << row;
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(grid.at(row, 7).alignment, kAlignRight) << row;
        EXPECT_EQ(grid.at(row, 8).alignment, kAlignRight) << row;
    }
    for (int row : {9, 10, 11, 12}) EXPECT_EQ(grid.at(row, 5).alignment, kAlignRight) << row;
    // Column 1 keeps the readings, column 9 is not used.
    EXPECT_EQ(grid.at(0, 1).text, "1.MW in V");
    EXPECT_EQ(grid.at(3, 1).text, "");
    EXPECT_EQ(grid.at(0, 9).text, "");
    EXPECT_EQ(grid.at(5, 9).text, "");
}

TEST(ResultsTable, ThePositiveHalfIsMarked) {
    ResultsGrid grid = preparedGrid();
    ResultsData d;
    d.DevDown = 3.0;
    d.DevUp = -3.0;
    ShowResultsCells(grid, d, false, '.');
    EXPECT_EQ(grid.at(9, 5).back, 0xC0FFFFu);
    EXPECT_EQ(grid.at(12, 5).back, 0x80000005u);

    d.DevDown = -3.0;
    d.DevUp = 3.0;
    ShowResultsCells(grid, d, false, '.');
    EXPECT_EQ(grid.at(9, 5).back, 0x80000005u);
    EXPECT_EQ(grid.at(12, 5).back, 0xC0FFFFu);

    // Equal halves: the downward one.
    d.DevDown = 0.0;
    d.DevUp = 0.0;
    ShowResultsCells(grid, d, false, '.');
    EXPECT_EQ(grid.at(9, 5).back, 0xC0FFFFu);
    EXPECT_EQ(grid.at(12, 5).back, 0x80000005u);

    // The trimmed halves have rows of their own.
    d.DevDown = -1.0;
    d.DevUp = 1.0;
    ShowResultsCells(grid, d, true, '.');
    EXPECT_EQ(grid.at(6, 5).back, 0x80000005u);
    EXPECT_EQ(grid.at(15, 5).back, 0xC0FFFFu);
    EXPECT_EQ(grid.at(9, 5).back, 0xC0FFFFu);  // untrimmed cells as they were
}

TEST(ResultsTable, PointErrorColours) {
    ResultsGrid grid = preparedGrid();
    // Largest 9 and smallest -9.5, all within 10 ppm.
    ShowResultsCells(grid, withPointErrors({0, 1, 9, -3, -9.5f, 4, 2, 9, 0, 5, 0}), false, '.');
    EXPECT_EQ(pointBack(grid, 2), 0xC0FFC0u);  // the first of two equal largest
    EXPECT_EQ(pointBack(grid, 7), 0xFFFFFFu);
    EXPECT_EQ(pointBack(grid, 4), 0x80FF80u);
    for (int j : {1, 3, 5, 6, 8, 9, 10}) EXPECT_EQ(pointBack(grid, j), 0xFFFFFFu) << j;

    // Over 10 ppm: light red; the largest and smallest over 10 ppm: violet.
    ShowResultsCells(grid, withPointErrors({0, 3, -12, 15, 11, -20, 0, 10, -10, 1, 0}), false, '.');
    EXPECT_EQ(pointBack(grid, 2), 0xC0C0FFu);
    EXPECT_EQ(pointBack(grid, 4), 0xC0C0FFu);
    EXPECT_EQ(pointBack(grid, 3), 0xF0C0FFu);
    EXPECT_EQ(pointBack(grid, 5), 0xF0C0FFu);
    EXPECT_EQ(pointBack(grid, 7), 0xFFFFFFu);  // exactly 10 is not over
    EXPECT_EQ(pointBack(grid, 8), 0xFFFFFFu);
    EXPECT_EQ(pointBack(grid, 1), 0xFFFFFFu);

    // Only one of the extremes over 10 ppm.
    ShowResultsCells(grid, withPointErrors({0, 3, -2, 25, 1, 0, 0, 0, 0, 0, 0}), false, '.');
    EXPECT_EQ(pointBack(grid, 3), 0xF0C0FFu);
    EXPECT_EQ(pointBack(grid, 2), 0x80FF80u);
    EXPECT_EQ(pointBack(grid, 5), 0xFFFFFFu);  // colours of the last showing are gone

    // All equal: one cell is both; it shows as the smallest.
    ShowResultsCells(grid, withPointErrors({}), false, '.');
    EXPECT_EQ(pointBack(grid, 1), 0x80FF80u);
    for (int j = 2; j <= 10; ++j) EXPECT_EQ(pointBack(grid, j), 0xFFFFFFu) << j;
}

TEST(ResultsTable, TrimmedEvaluationGoesToItsOwnCells) {
    ResultsGrid grid = preparedGrid();
    ResultsData d;
    for (int i = 1; i <= 20; ++i) {
        d.Mw2[i] = 0.25f + static_cast<float>(i) * 1e-6f;
        d.Mw1[i] = 0.3f;
    }
    CalcResults(d, false);
    ShowResultsCells(grid, d, false, '.');
    const std::string sumDownText = grid.at(10, 5).text;
    d.ShuntSel[4] = 3;
    CalcResults(d, true);
    ShowResultsCells(grid, d, true, '.');

    EXPECT_EQ(grid.at(0, 1).text, "modMW V");
    // Step 4 with 750 kOhm: 0.250004 V x 0.99984 over the twentieth root of it.
    EXPECT_EQ(grid.at(4, 1).text, "0.2499620");
    EXPECT_EQ(grid.at(4, 1).alignment, kAlignRight);
    EXPECT_EQ(grid.at(0, 9).text, "d% tst");
    EXPECT_EQ(grid.at(0, 9).alignment, kAlignCentre);
    for (int row : {6, 7, 14, 15}) EXPECT_FALSE(grid.at(row, 5).text.empty()) << row;
    EXPECT_EQ(grid.at(7, 5).text, "2.4999950");
    EXPECT_EQ(grid.at(14, 5).text, "2.5001349");
    EXPECT_EQ(grid.at(10, 5).text, sumDownText);  // the untrimmed figures stay
    EXPECT_NE(grid.at(9, 8).text, grid.at(9, 9).text);
}

TEST(ResultsTable, NoTrimResistorsShowTheSecondReadingsAndTheSameErrors) {
    ResultsGrid grid = preparedGrid();
    ResultsData d;
    const std::array<float, 10> shape = {3, -8, 12, 1, -15, 4, 0, 6, -2, 9};
    for (int i = 1; i <= 20; ++i) {
        d.Mw2[i] = 0.25f * (1.0f + shape[static_cast<std::size_t>(i % 10)] * 1e-6f);
        d.Mw1[i] = d.Mw2[i] + 5e-6f;
    }
    CalcResults(d, false);
    ShowResultsCells(grid, d, false, ',');
    CalcResults(d, true);
    ShowResultsCells(grid, d, true, ',');
    for (int row = 1; row <= 20; ++row)
        EXPECT_EQ(grid.at(row, 1).text, ReadingText(d.Mw2[row], ',')) << row;
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(grid.at(row, 9).text, grid.at(row, 8).text) << row;
        EXPECT_EQ(grid.at(row, 9).back, grid.at(row, 8).back) << row;
    }
}

TEST(ResultsTable, TrimCellsShowTheirChoiceAndAreReadBack) {
    ResultsGrid grid = preparedGrid();
    ShowTrimChoice(grid, 4, 2);
    ShowTrimChoice(grid, 17, 5);
    EXPECT_EQ(grid.at(4, kColTrim).text, "1,0 MOhm");
    EXPECT_EQ(grid.at(4, kColTrim).back, 0xE0E0E0u);
    EXPECT_EQ(grid.at(4, kColTrim).alignment, kAlignCentre);
    ShowTrimChoice(grid, 5, 0);
    EXPECT_EQ(grid.at(5, kColTrim).text, "");
    EXPECT_EQ(grid.at(5, kColTrim).back, kWindowBackground);
    PerStep<std::int16_t> expected{};
    expected[4] = 2;
    expected[17] = 5;
    EXPECT_EQ(TrimChoicesShown(grid), expected);
    PrepareTable(grid);  // a new run
    EXPECT_EQ(TrimChoicesShown(grid), PerStep<std::int16_t>{});
}

TEST(ResultsTable, CellsCarryTheLocalesSeparatorOnlyWhenItIsOneLatin1Character) {
    EXPECT_EQ(CellDecimalSeparator(u","), ',');
    EXPECT_EQ(CellDecimalSeparator(u"."), '.');
    EXPECT_EQ(CellDecimalSeparator(u"\u00B7"), '\xB7');  // middle dot
    EXPECT_EQ(CellDecimalSeparator(u"\u066B"), '.');     // Arabic decimal separator
    EXPECT_EQ(CellDecimalSeparator(u""), '.');
    EXPECT_EQ(CellDecimalSeparator(u"\0"), '.');
}

TEST(ResultsTable, ListingShowsHeadersAndRowLabelsInColumns) {
    ResultsGrid grid = preparedGrid();
    grid.at(1, kColDevR).text = "-24";
    grid.at(1, kColDevR).alignment = kAlignRight;
    const std::string listing = TableListing(grid);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(listing.substr(at, end - at));
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0].rfind("copy   1.MW in V  2.MW in V  R Shunt", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("R 116", 0), 0u);
    EXPECT_EQ(lines[20].rfind("R 97 ", 0), 0u);
    // "dR ppm" is the wider text: the number ends under its last letter.
    EXPECT_EQ(lines[1].find("-24") + 3, lines[0].find("dR ppm") + 6);
}

TEST(ResultsTable, PointerOnTheTrimColumn) {
    EXPECT_EQ(TrimCellRow(2.5, 5.5), 5);
    EXPECT_EQ(TrimCellRow(2.06, 1.06), 1);
    EXPECT_EQ(TrimCellRow(2.94, 20.99), 20);
    EXPECT_EQ(TrimCellRow(2.05, 5.5), std::nullopt);
    EXPECT_EQ(TrimCellRow(2.95, 5.5), std::nullopt);
    EXPECT_EQ(TrimCellRow(3.5, 5.5), std::nullopt);
    EXPECT_EQ(TrimCellRow(2.5, 1.05), std::nullopt);
    EXPECT_EQ(TrimCellRow(2.5, 0.5), std::nullopt);
    EXPECT_EQ(TrimCellRow(2.5, 21.0), std::nullopt);  // below the last row
    EXPECT_EQ(TrimCellRow(2.5, 21.19), std::nullopt);
    EXPECT_EQ(TrimCellRow(2.5, 21.2), std::nullopt);
}

TEST(ResultsTable, PointerOnTheCopyCell) {
    EXPECT_TRUE(CopyCellHit(-0.5, 0.5));
    EXPECT_TRUE(CopyCellHit(-0.94, 0.94));
    EXPECT_TRUE(CopyCellHit(-0.06, 0.06));
    EXPECT_FALSE(CopyCellHit(-0.95, 0.5));
    EXPECT_FALSE(CopyCellHit(-0.05, 0.5));
    EXPECT_FALSE(CopyCellHit(-0.5, 0.05));
    EXPECT_FALSE(CopyCellHit(-0.5, 0.95));
    EXPECT_FALSE(CopyCellHit(0.5, 0.5));
}

TEST(ResultsTable, PointerPositionInColumnsAndRows) {
    const TableGeometry g = ComputeGeometry(1234, 700);
    const auto pos = PointerPosition(74 + 2.5 * 127, 26 * 5.5, g);
    ASSERT_TRUE(pos);
    EXPECT_DOUBLE_EQ(pos->colpos, 2.5);
    EXPECT_DOUBLE_EQ(pos->rowpos, 5.5);
    EXPECT_EQ(TrimCellRow(pos->colpos, pos->rowpos), 5);
    const auto copy = PointerPosition(30, 13, g);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(CopyCellHit(copy->colpos, copy->rowpos));
    EXPECT_FALSE(PointerPosition(10, 10, ComputeGeometry(20, 100)));  // rows of height 0
    EXPECT_FALSE(PointerPosition(10, 10, TableGeometry{}));
}

TEST(ResultsTable, CopyTextIsTwentyLinesOfNineFields) {
    ResultsGrid grid = preparedGrid();
    ResultsData d;
    for (int i = 1; i <= 20; ++i) d.Mw2[i] = 0.25f;
    CalcResults(d, false);
    ShowResultsCells(grid, d, false, '.');
    grid.at(3, 1).text = "0.2500000";
    grid.at(3, 9).text = "last";
    const std::string text = CopyText(grid);

    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size());  // every line ends with CR LF
    ASSERT_EQ(lines.size(), 20u);
    for (const auto& line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 8) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
    }
    EXPECT_EQ(lines[2], "0.2500000\t\t\t 80 ... 70\t\t0\t0.0\t0.0\tlast");
    EXPECT_EQ(lines[0].find("R 116"), std::string::npos);  // column 0 is not copied
    EXPECT_EQ(text.find("copy"), std::string::npos);       // nor row 0
}

}  // namespace
}  // namespace q270
