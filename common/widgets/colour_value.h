// Colour values of the operator panels: 0x00BBGGRR, plus the system colours
// 0x80000005 (window background), 0x8000000F (button face) and 0x80000016
// (3-D light), which follow the desktop's palette.
//
// A control coloured through these helpers also carries the value itself in the
// dynamic properties "backColor" / "foreColor", so tests and tools can read
// exactly which colour a control shows.
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

namespace zdx {

inline constexpr std::uint32_t kColourYellow = 0x0000FFFF;
inline constexpr std::uint32_t kColourGreen = 0x0000FF00;
inline constexpr std::uint32_t kColourRed = 0x000000FF;
inline constexpr std::uint32_t kColourBlack = 0x00000000;
inline constexpr std::uint32_t kColourWindowBackground = 0x80000005;
inline constexpr std::uint32_t kColourButtonFace = 0x8000000F;
inline constexpr std::uint32_t kColour3DLight = 0x80000016;

// The QColor of a colour value; system colours come from the application palette.
QColor colourFromValue(std::uint32_t value);

// Background of a button or text box.
void setBackColour(QWidget* widget, std::uint32_t value);

// Text colour of a text box or label.
void setForeColour(QWidget* widget, std::uint32_t value);

// The values last set through the helpers (button face / black when never set).
std::uint32_t backColour(const QWidget* widget);
std::uint32_t foreColour(const QWidget* widget);

}  // namespace zdx
