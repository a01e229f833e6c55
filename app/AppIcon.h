#pragma once

#include <QIcon>
#include <QPixmap>

// The application's icon, painted by the program itself: an aircraft arrowhead over a map grid.
// Needs a running QGuiApplication.
QPixmap paintApplicationIcon(int side);
QIcon makeApplicationIcon();
