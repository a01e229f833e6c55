#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <string>

// Number of glyph display lists: one per 8-bit character code.
inline constexpr int kOutlineFontListCount = 256;

// Builds the text font with the current GL context: 256 consecutive display lists, list (base + code)
// drawing the glyph of 8-bit code `code` (Windows-1252) as filled triangles in em units (the em
// square is 1.0 high), origin at the start of its baseline, and ending with a translation by its
// advance. A positive `extrusion` adds a back face at z = -extrusion and the side walls.
// Returns the first list, or 0 (with every reserved list released) when no face can be loaded.
// `metrics`, when given, gets every code's advance and the extent of its ink.
struct GlyphExtent {
    double advance = 0;
    bool ink = false;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
};
using OutlineFontMetrics = std::array<GlyphExtent, kOutlineFontListCount>;
GLuint buildOutlineFont(double extrusion, OutlineFontMetrics* metrics = nullptr);

// Where the glyphs of `text` put ink, in em units from the start of its baseline (ink false for a
// text of blanks or without any glyph).
GlyphExtent textExtent(const OutlineFontMetrics& metrics, const char* text);

// The Unicode character that 8-bit code `code` stands for in Windows-1252; 0 for the five codes
// that the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
char32_t windows1252ToUnicode(std::uint8_t code);

// The font file (and face index within it) that fontconfig matches for the text face, after the
// program's own alias for a missing "Century Gothic"; an empty path when nothing matches.
struct FontFaceLocation {
    std::string path;
    int index = 0;
};
FontFaceLocation matchTextFace();
