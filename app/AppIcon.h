#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

// The application's icon, painted by the program itself: an aircraft arrowhead over a map grid.
// Draws into the square from (0, 0) to (side, side) of any paint device (the installed PNG and SVG
// icons are made with it); needs no application object.
void drawApplicationIcon(QPainter& painter, double side);
// The icon as a pixmap. Needs a running QGuiApplication.
QPixmap paintApplicationIcon(int side);
QIcon makeApplicationIcon();
