#include "view/OutlineFont.h"

#include <GL/glu.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>
#include <vector>

namespace {

// The face the display was designed with, and the weight asked of it (semi-bold).
constexpr const char* kTextFamily = "Century Gothic";
constexpr int kTextWeight = 600;

// Where "Century Gothic" is not installed, URW Gothic (Demi at this weight) is the same geometric
// design. "accept" puts it after the requested family, so a real Century Gothic still wins.
constexpr const char* kTextFaceAlias = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="same">
    <family>Century Gothic</family>
    <accept><family>URW Gothic</family></accept>
  </alias>
</fontconfig>
)";

// Largest distance, in em, between a flattened curve and its chords: about 0.05 pixel at the
// largest text size, so curves look smooth at every window size.
constexpr double kFlatness = 0.002;
constexpr int kMaxCurveSegments = 64;

// Windows-1252 codes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr std::array<char32_t, 32> kWindows1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct Point {
    double x;
    double y;
};
using Contour = std::vector<Point>;

// Flattens one glyph outline (font units) into closed contours in em units.
class OutlineFlattener {
public:
    explicit OutlineFlattener(double unitsToEm) : scale_(unitsToEm) {}

    std::vector<Contour> flatten(FT_Outline& outline) {
        FT_Outline_Funcs funcs{};
        funcs.move_to = &OutlineFlattener::moveTo;
        funcs.line_to = &OutlineFlattener::lineTo;
        funcs.conic_to = &OutlineFlattener::conicTo;
        funcs.cubic_to = &OutlineFlattener::cubicTo;
        contours_.clear();
        if (FT_Outline_Decompose(&outline, &funcs, this) != 0) contours_.clear();
        for (Contour& contour : contours_) closeContour(contour);
        std::erase_if(contours_, [](const Contour& c) { return c.size() < 3; });
        return std::move(contours_);
    }

private:
    Point toEm(const FT_Vector* v) const {
        return {static_cast<double>(v->x) * scale_, static_cast<double>(v->y) * scale_};
    }
    void add(Point p) {
        if (contours_.empty()) contours_.emplace_back();
        Contour& contour = contours_.back();
        // Repeated points only give the tessellator degenerate edges to resolve.
        if (!contour.empty() && contour.back().x == p.x && contour.back().y == p.y) return;
        contour.push_back(p);
    }
    static void closeContour(Contour& contour) {
        if (contour.size() > 1 && contour.front().x == contour.back().x &&
            contour.front().y == contour.back().y) {
            contour.pop_back();
        }
    }
    static int segmentsFor(double secondDifference) {
        const double n = std::ceil(std::sqrt(secondDifference / kFlatness));
        return std::clamp(static_cast<int>(n), 1, kMaxCurveSegments);
    }

    static int moveTo(const FT_Vector* to, void* user) {
        auto* self = static_cast<OutlineFlattener*>(user);
        self->contours_.emplace_back();
        self->current_ = self->toEm(to);
        self->add(self->current_);
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* user) {
        auto* self = static_cast<OutlineFlattener*>(user);
        self->current_ = self->toEm(to);
        self->add(self->current_);
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto* self = static_cast<OutlineFlattener*>(user);
        const Point p0 = self->current_, p1 = self->toEm(control), p2 = self->toEm(to);
        // Chord error of a quadratic over a parameter step h is h^2 |p0 - 2p1 + p2| / 4.
        const int n = segmentsFor(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y) / 4);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, u = 1 - t;
            self->add({u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x,
                       u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
        }
        self->current_ = p2;
        return 0;
    }
    static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto* self = static_cast<OutlineFlattener*>(user);
        const Point p0 = self->current_, p1 = self->toEm(c1), p2 = self->toEm(c2), p3 = self->toEm(to);
        // The second derivative of a cubic is bounded by 6 max|second differences|; chord error
        // over a step h is h^2/8 of that.
        const double d = std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                  std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
        const int n = segmentsFor(d * 0.75);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, u = 1 - t;
            const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, e = t * t * t;
            self->add({a * p0.x + b * p1.x + c * p2.x + e * p3.x, a * p0.y + b * p1.y + c * p2.y + e * p3.y});
        }
        self->current_ = p3;
        return 0;
    }

    double scale_;
    Point current_{0, 0};
    std::vector<Contour> contours_;
};

// Turns closed contours into filled triangles with the GLU tessellator.
class GlyphTessellator {
public:
    GlyphTessellator() : tess_(gluNewTess()) {
        if (!tess_) return;
        gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(&onBegin));
        gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(&onVertex));
        // With an edge-flag callback registered the tessellator emits independent triangles only,
        // never fans or strips, so one GL_TRIANGLES block holds the whole glyph.
        gluTessCallback(tess_, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(&onEdgeFlag));
        gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&onCombine));
        gluTessCallback(tess_, GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(&onError));
        gluTessNormal(tess_, 0, 0, 1);
    }
    ~GlyphTessellator() {
        if (tess_) gluDeleteTess(tess_);
    }
    GlyphTessellator(const GlyphTessellator&) = delete;
    GlyphTessellator& operator=(const GlyphTessellator&) = delete;

    bool valid() const { return tess_ != nullptr; }

    // Triangle corners, three per triangle; empty when the outline could not be tessellated.
    std::vector<Point> tessellate(const std::vector<Contour>& contours, bool evenOdd) {
        vertices_.clear();
        corners_.clear();
        failed_ = false;
        gluTessProperty(tess_, GLU_TESS_WINDING_RULE,
                        evenOdd ? GLU_TESS_WINDING_ODD : GLU_TESS_WINDING_NONZERO);
        gluTessBeginPolygon(tess_, this);
        for (const Contour& contour : contours) {
            gluTessBeginContour(tess_);
            for (const Point& p : contour) {
                // The tessellator keeps pointers to the coordinates until the polygon ends; a deque
                // never moves its elements when it grows.
                std::array<GLdouble, 3>& v = vertices_.emplace_back(std::array<GLdouble, 3>{p.x, p.y, 0});
                gluTessVertex(tess_, v.data(), v.data());
            }
            gluTessEndContour(tess_);
        }
        gluTessEndPolygon(tess_);
        std::vector<Point> result;
        if (failed_ || corners_.size() % 3 != 0) return result;
        result.reserve(corners_.size());
        for (const GLdouble* c : corners_) result.push_back({c[0], c[1]});
        return result;
    }

private:
    static void onBegin(GLenum type, void* data) {
        if (type != GL_TRIANGLES) static_cast<GlyphTessellator*>(data)->failed_ = true;
    }
    static void onVertex(void* vertex, void* data) {
        static_cast<GlyphTessellator*>(data)->corners_.push_back(static_cast<const GLdouble*>(vertex));
    }
    static void onEdgeFlag(GLboolean, void*) {}
    static void onCombine(GLdouble coords[3], void* /*neighbours*/[4], GLfloat /*weights*/[4], void** out,
                          void* data) {
        auto* self = static_cast<GlyphTessellator*>(data);
        *out = self->vertices_.emplace_back(std::array<GLdouble, 3>{coords[0], coords[1], coords[2]}).data();
    }
    static void onError(GLenum, void* data) { static_cast<GlyphTessellator*>(data)->failed_ = true; }

    GLUtesselator* tess_;
    std::deque<std::array<GLdouble, 3>> vertices_;
    std::vector<const GLdouble*> corners_;
    bool failed_ = false;
};

void emitFace(const std::vector<Point>& triangles, double z) {
    glBegin(GL_TRIANGLES);
    for (const Point& p : triangles) glVertex3d(p.x, p.y, z);
    glEnd();
}

void emitWalls(const std::vector<Contour>& contours, double depth) {
    for (const Contour& contour : contours) {
        glBegin(GL_QUAD_STRIP);
        for (std::size_t i = 0; i <= contour.size(); ++i) {
            const Point& p = contour[i % contour.size()];
            glVertex3d(p.x, p.y, 0);
            glVertex3d(p.x, p.y, -depth);
        }
        glEnd();
    }
}

struct FreeTypeDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FreeTypeLibrary = std::unique_ptr<FT_LibraryRec_, FreeTypeDeleter>;
using FreeTypeFace = std::unique_ptr<FT_FaceRec_, FreeTypeDeleter>;

FreeTypeFace openTextFace(FT_Library library) {
    const FontFaceLocation location = matchTextFace();
    if (location.path.empty()) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, location.path.c_str(), location.index, &face) != 0) return nullptr;
    FreeTypeFace owned(face);
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
    // Type 1 and CFF faces carry their own encodings; a Unicode map is what the code page needs.
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    return owned;
}

// Compiles the display list of one code; an undefined or missing character gets an empty list.
void compileGlyph(GLuint list, FT_Face face, std::uint8_t code, double extrusion,
                  GlyphTessellator& tessellator, GlyphExtent& extent) {
    extent = {};
    glNewList(list, GL_COMPILE);
    const char32_t character = windows1252ToUnicode(code);
    const FT_UInt glyphIndex = character != 0 ? FT_Get_Char_Index(face, character) : 0;
    if (glyphIndex != 0 &&
        FT_Load_Glyph(face, glyphIndex, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        const double unitsToEm = 1.0 / face->units_per_EM;
        OutlineFlattener flattener(unitsToEm);
        const std::vector<Contour> contours = flattener.flatten(face->glyph->outline);
        const bool evenOdd = (face->glyph->outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
        const std::vector<Point> triangles = tessellator.tessellate(contours, evenOdd);
        if (!triangles.empty()) {
            extent.ink = true;
            extent.minX = extent.maxX = triangles.front().x;
            extent.minY = extent.maxY = triangles.front().y;
            for (const Point& p : triangles) {
                extent.minX = std::min(extent.minX, p.x), extent.maxX = std::max(extent.maxX, p.x);
                extent.minY = std::min(extent.minY, p.y), extent.maxY = std::max(extent.maxY, p.y);
            }
            emitFace(triangles, 0);
            if (extrusion > 0) {
                emitFace(triangles, -extrusion);
                emitWalls(contours, extrusion);
            }
        }
        const double advance = static_cast<double>(face->glyph->metrics.horiAdvance) * unitsToEm;
        if (advance != 0) glTranslated(advance, 0, 0);
        extent.advance = advance;
    }
    glEndList();
}

}  // namespace

char32_t windows1252ToUnicode(std::uint8_t code) {
    if (code >= 0x80 && code < 0xA0) return kWindows1252High[code - 0x80u];
    return code;
}

FontFaceLocation matchTextFace() {
    // Asked once per process: the installed fonts do not change while the program runs.
    static const FontFaceLocation location = [] {
        FontFaceLocation found;
        FcConfig* config = FcInitLoadConfigAndFonts();
        if (!config) return found;
        FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kTextFaceAlias), FcFalse);
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kTextFamily));
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(kTextWeight));
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
                found.path = reinterpret_cast<const char*>(file);
                if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) found.index = index;
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        FcConfigDestroy(config);
        return found;
    }();
    return location;
}

GlyphExtent textExtent(const OutlineFontMetrics& metrics, const char* text) {
    GlyphExtent extent;
    if (text == nullptr) return extent;
    double pen = 0;
    for (const char* at = text; *at != 0; ++at) {
        const GlyphExtent& glyph = metrics[static_cast<unsigned char>(*at)];
        if (glyph.ink) {
            const double minX = pen + glyph.minX, maxX = pen + glyph.maxX;
            if (!extent.ink) {
                extent = {0, true, minX, maxX, glyph.minY, glyph.maxY};
            } else {
                extent.minX = std::min(extent.minX, minX), extent.maxX = std::max(extent.maxX, maxX);
                extent.minY = std::min(extent.minY, glyph.minY),
                extent.maxY = std::max(extent.maxY, glyph.maxY);
            }
        }
        pen += glyph.advance;
    }
    extent.advance = pen;
    return extent;
}

GLuint buildOutlineFont(double extrusion, OutlineFontMetrics* metrics) {
    const GLuint base = glGenLists(kOutlineFontListCount);
    if (base == 0) return 0;

    FT_Library rawLibrary = nullptr;
    FreeTypeLibrary library(FT_Init_FreeType(&rawLibrary) == 0 ? rawLibrary : nullptr);
    FreeTypeFace face = library ? openTextFace(library.get()) : nullptr;
    GlyphTessellator tessellator;
    if (!face || !tessellator.valid()) {
        glDeleteLists(base, kOutlineFontListCount);
        return 0;
    }
    OutlineFontMetrics ignored;
    OutlineFontMetrics& extents = metrics != nullptr ? *metrics : ignored;
    for (int code = 0; code < kOutlineFontListCount; ++code) {
        compileGlyph(base + static_cast<GLuint>(code), face.get(), static_cast<std::uint8_t>(code), extrusion,
                     tessellator, extents[static_cast<std::size_t>(code)]);
    }
    return base;
}
