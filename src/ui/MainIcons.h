// The main window's pictures, drawn at run time so that the program ships
// no image files: the six toolbar buttons and the two list images.
#pragma once

#include <QIcon>
#include <QList>

namespace toppeek::ui {

enum class ToolbarIcon { Connect, Close, View, Mark, Remove, Options };

QIcon toolbarIcon(ToolbarIcon which);

// Index 0 an ordinary message, index 1 a message marked for deletion, at
// the given size in pixels.
QList<QIcon> messageImages(int size);

// The program's own icon, for the window's title bar.
QIcon programIcon();

} // namespace toppeek::ui
