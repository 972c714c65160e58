#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Outline.h"
#include "TrueTypeFont.h"
#include "Vec3d.h"

class CModel;

// How a string becomes 3D text. The text entry fills these with fixed values;
// there is no user setting for them.
struct TextOptions
{
    double depth = 0.2;           // between the front and the back face
    int16_t xAlign = 10;          // 8: pen starts at x 0; 10: centred; else: ends at x 0
    int16_t yAlign = 10;          // 11: baseline at 0; 12: reference bottom at 0; 10: centred; else: top at 0
    int16_t zAlign = 10;          // 14: faces at depth and 0; 10: at +depth/2 and -depth/2; else: 0 and -depth
    int16_t frontFaces = 1;
    int16_t backFaces = 1;
    uint32_t referenceCode = 'A';  // its glyph sets the vertical alignment
    std::vector<uint32_t> codes;   // the characters, one code each
    double frontFaceCut = 0.0;
    double backFaceCut = 0.0;
    int16_t curveResolution = 5;   // straight pieces per quadratic segment
};

enum TextResult : uint16_t
{
    kTextOk = 0,
    kTextOutOfMemory = 1,
    kTextNoEar = 10,  // a face polygon could not be triangulated
    kTextTooComplex = 11,  // a glyph beyond the limits below
};

// Ear clipping takes time near the square of a face's vertex count, and the
// face builder keeps a contour-by-contour table; these limits keep a damaged
// font from asking for hours or gigabytes. Real glyphs stay far below them
// (hundreds of points, a hundred or so contours).
constexpr int kMaxGlyphContours = 1024;
constexpr size_t kMaxFaceVertices = 20000;

struct Triangle3d
{
    Vec3d corner[3];
};

// Triangles in the order they were made; the lists keep the font's winding
// (clockwise outlines give clockwise front triangles seen from the front).
class TriangleList
{
public:
    // False when memory runs out.
    bool Append(const Vec3d& a, const Vec3d& b, const Vec3d& c);
    void Clear() { m_triangles.clear(); }
    size_t Count() const { return m_triangles.size(); }
    const std::vector<Triangle3d>& Triangles() const { return m_triangles; }

private:
    std::vector<Triangle3d> m_triangles;
};

// Front and back faces of one glyph at the pen position: holes are merged into
// the outlines that directly hold them and each region is ear-clipped.
uint16_t BuildFaces(const TrueTypeFont& font, uint32_t glyph, const TextOptions& options, const Vec3d& pen,
                    TriangleList& front, TriangleList& back);
// Ear clipping of a polygon already at its place and depth; `back` reverses
// every triangle. kTextOk, kTextNoEar, or kTextTooComplex past kMaxFaceVertices.
uint16_t TriangulatePolygon(const OutlinePolygon& polygon, TriangleList& list, bool back);
// One quad of side wall (two triangles) for every outline edge of the glyph.
uint16_t BuildSides(const TrueTypeFont& font, uint32_t glyph, const TextOptions& options, const Vec3d& pen,
                    TriangleList& sides);
// Lays out options.codes and adds every triangle to the model's current group
// (when `model` is not null); reports progress to it, and names in a notice
// each character that came out without an outline (no glyph in the font, or
// a composite glyph that could not be assembled). Nothing is added unless
// the whole text could be built.
uint16_t BuildText(TrueTypeFont& font, const TextOptions& options, CModel* model);
// Adds the list's triangles to the model, dropping those of (near) zero area.
// The model gets them counter-clockwise seen from outside the solid.
void EmitTriangles(const TriangleList& list, CModel* model);

// The text engine's entry: loads the font, builds `codes` into the model's
// current group, and reports a failure through the model's ErrorMessage.
// True when the text was built.
bool MakeTrueTypeText(CModel& model, const std::string& fontPath, const std::vector<uint32_t>& codes);

// Character codes of UTF-8 text. A byte that does not start a well-formed
// sequence stands for itself (as in Latin-1), so text in a single-byte
// encoding still gives its ASCII letters and most of its accented ones.
std::vector<uint32_t> DecodeUtf8(const std::string& text);
