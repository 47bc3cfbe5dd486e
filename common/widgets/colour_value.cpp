#include "colour_value.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace zdx {

QColor colourFromValue(std::uint32_t value) {
    if (value == kColourWindowBackground) return QApplication::palette().color(QPalette::Base);
    if (value == kColourButtonFace) return QApplication::palette().color(QPalette::Button);
    if (value == kColour3DLight) return QApplication::palette().color(QPalette::Light);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

void setBackColour(QWidget* widget, std::uint32_t value) {
    widget->setProperty("backColor", QVariant::fromValue<quint32>(value));
    QPalette palette = widget->palette();
    const QColor colour = colourFromValue(value);
    palette.setColor(QPalette::Button, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
}

void setForeColour(QWidget* widget, std::uint32_t value) {
    widget->setProperty("foreColor", QVariant::fromValue<quint32>(value));
    QPalette palette = widget->palette();
    const QColor colour = colourFromValue(value);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

std::uint32_t backColour(const QWidget* widget) {
    const QVariant value = widget->property("backColor");
    return value.isValid() ? value.value<quint32>() : kColourButtonFace;
}

std::uint32_t foreColour(const QWidget* widget) {
    const QVariant value = widget->property("foreColor");
    return value.isValid() ? value.value<quint32>() : kColourBlack;
}

}  // namespace zdx
