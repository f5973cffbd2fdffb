// The program's icon for the window: the one drawn in
// packaging/icons/quib-server.svg, the same the desktop entry shows.
#pragma once

#include <QIcon>

namespace quib {

// Every PNG size compiled into the window (made from the SVG at build time),
// or, in a build made without them, the installed theme's quib-server icon.
QIcon ProgramIcon();

}  // namespace quib
