#include "window_memory.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>
#include <algorithm>

namespace q270 {

namespace {

// How much of the top edge must be on a screen for the window to be taken
// and moved there by its title bar.
constexpr int kGripWidth = 120;
constexpr int kGripHeight = 30;

QSettings windowsSection(const QString& application) {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                     application);
}

QString key(const QString& name) {
    return QStringLiteral("Windows/") + name;
}

}  // namespace

QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens) {
    if (screens.isEmpty()) return saved;
    const QRect grip(saved.topLeft(), QSize(saved.width(), kGripHeight));
    for (const QRect& screen : screens) {
        const QRect seen = grip.intersected(screen);
        if (seen.width() >= std::min(kGripWidth, saved.width()) && seen.height() >= kGripHeight / 2)
            return saved;
    }
    const QRect& first = screens.front();
    const QSize size = saved.size().boundedTo(first.size());
    return QRect(first.topLeft() + QPoint((first.width() - size.width()) / 2,
                                          (first.height() - size.height()) / 2),
                 size);
}

std::optional<QRect> ParsePlace(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return std::nullopt;
    int n[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        n[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (n[2] <= 0 || n[3] <= 0) return std::nullopt;
    return QRect(n[0], n[1], n[2], n[3]);
}

void RestorePlace(QWidget& window, const QString& application) {
    const auto saved =
        ParsePlace(windowsSection(application).value(key(window.objectName())).toString());
    if (!saved) return;
    QList<QRect> screens;
    // The primary screen first: a window that lost its screen goes there.
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) screens << screen->availableGeometry();
    const QRect place = PlaceOnScreens(*saved, screens);
    window.resize(place.size());
    window.move(place.topLeft());
}

void KeepPlace(const QWidget& window, const QString& application) {
    const QPoint corner = window.pos();
    windowsSection(application)
        .setValue(key(window.objectName()), QStringLiteral("%1,%2,%3,%4")
                                                .arg(corner.x())
                                                .arg(corner.y())
                                                .arg(window.width())
                                                .arg(window.height()));
}

QString LastFolder(const QString& application) {
    const QString folder =
        windowsSection(application).value(key(QStringLiteral("LastFolder"))).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    // Not the working directory, which is the program's folder when started from a menu.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void KeepFolder(const QString& application, const QString& chosenFile) {
    windowsSection(application)
        .setValue(key(QStringLiteral("LastFolder")),
                  QFileInfo(chosenFile).absoluteDir().absolutePath());
}

QString ProposedFileName(const std::string& serial, const std::string& utcTime, const QString& what,
                         const QString& suffix) {
    QString name = QString::fromStdString(serial);
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') &&
            c != QLatin1Char('.'))
            c = QLatin1Char('_');
    const QDate date =
        QDate::fromString(QString::fromStdString(utcTime.substr(0, 10)), Qt::ISODate);
    const QString day = (date.isValid() ? date : QDate::currentDate()).toString(Qt::ISODate);
    return (name.isEmpty() ? QString() : name + QLatin1Char('_')) + day + QLatin1Char('_') + what +
           QLatin1Char('.') + suffix;
}

}  // namespace q270
