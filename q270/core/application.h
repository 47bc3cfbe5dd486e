// The Q270 program's name in the settings store and for its data folder: the
// panel, the results window, the archive and the headless tool share it, so
// that they read the same ports, archive and bench settings.
#pragma once

namespace q270 {

inline constexpr char kQ270Application[] = "ZDXKalQ270";

}  // namespace q270
