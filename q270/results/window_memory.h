// What the results and history windows remember per user, in section
// "Windows" of the program's settings store: each window's place under its
// object name ("x,y,width,height", the frame's corner and the inner size) and
// the folder the file dialogs used last ("LastFolder").
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace q270 {

// `saved` where it is still seen, else moved (and shrunk if need be) onto the
// first screen: a place is seen when a strip of its top edge, where the title
// bar is, lies on one of `screens` (their available areas).
QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens);

// "x,y,width,height"; none for a text that is not four numbers with a size.
std::optional<QRect> ParsePlace(const QString& text);

// The window's stored place, put on a screen that is there now; nothing when
// none is stored.
void RestorePlace(QWidget& window, const QString& application);
void KeepPlace(const QWidget& window, const QString& application);

// The folder to start a file dialog in: the last one used, else the user's
// documents folder, else the home folder.
QString LastFolder(const QString& application);
void KeepFolder(const QString& application, const QString& chosenFile);

// "<serial>_<YYYY-MM-DD>_<what>.<suffix>" from a run's serial number and its
// start time ("YYYY-MM-DDTHH:MM:SSZ"; without one, today); characters a file
// name cannot carry become "_".
QString ProposedFileName(const std::string& serial, const std::string& utcTime, const QString& what,
                         const QString& suffix);

}  // namespace q270
