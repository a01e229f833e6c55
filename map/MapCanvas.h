#pragma once

#include <array>

// What the map's layers draw with besides plain GL: the text primitive and its colour table.
// The view's scene provides it; the layers need nothing else of the view.

// Colour indices of drawText.
enum ColorIndex : int { colorBlack = 0, colorRed, colorGreen, colorBlue, colorWhite, colorYellow };
using ColorTable = std::array<std::array<float, 3>, 6>;

class MapCanvas {
public:
    virtual ~MapCanvas() = default;
    // Text with its baseline start at (x, y) scene units; size 1.0 is the view's em. Draws
    // nothing for an index outside the colour table.
    virtual void drawText(float x, float y, int colorIndex, float size, const char* text) const = 0;
    // Whether anything drawn within `reach` of scene point (x, y) can show in what is being drawn
    // now: a frame drawn again only where it changed skips the rest.
    virtual bool drawsNear(double /*x*/, double /*y*/, double /*reach*/) const { return true; }
};
