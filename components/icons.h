// The program's pictures: tool button icons, the program icon, the splash
// picture and the about picture. The icons are SVG files compiled in as
// resources (components/icons/, the program icon dist/vantrell.svg, the one
// installed for the desktop) and drawn for the size asked, so they stay sharp
// at 16, 24, 32 pixels and on high-density screens.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace icons {

// The icon of a tool button by name: "catrpt" (catalog report), "recrpt"
// (single record report), "find", "zip", "clrcrlf" (remove line breaks),
// "remspaces" (remove extra spaces), "cmbcles" (combined clean-up), "runapp"
// (launch file), "save", "edit", "add", "move", "trash", "help", "exit".
// Where the freedesktop icon naming has a name for the command (save, find,
// add, trash, help, exit) the desktop's icon theme gives the picture when it
// has one; otherwise, and for the other names, the program's own picture
// shows. A null icon for any other name.
QIcon ToolIcon(const QString& name);

// The names ToolIcon knows, in tool bar order.
QStringList ToolIconNames();

// The program icon: a card-index box.
QIcon AppIcon();

// The splash window's picture with the program's name and subtitle; drawn
// for the size given (designed for 387 x 210).
QPixmap SplashPicture(QSize size = QSize(387, 210));

// The about window's picture: the program icon on a tile; any size.
QPixmap AboutPicture(QSize size = QSize(96, 96));

}  // namespace icons
