#include "TextBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "Model.h"

namespace {

// Depths of the front and the back face by the options' z alignment.
void FaceDepths(const TextOptions& options, double& front, double& back)
{
    const double d = options.depth;
    if (options.zAlign == 14) {
        front = d;
        back = 0.0;
    } else if (options.zAlign == 10) {
        front = d * 0.5;
        back = d * -0.5;
    } else {
        front = 0.0;
        back = -d;
    }
}

int ContourCount(const TrueTypeFont& font, uint32_t glyph)
{
    return glyph < font.NumGlyphs() ? font.Glyph(glyph).numberOfContours : 0;
}

// 1 for a left turn a-b-c, 0 for a right turn. A straight line counts as a
// left turn unless two of the points coincide, so that corners at repeated
// points (hole bridges, doubled outline points) can be clipped from a
// clockwise outline.
int Turn(const Vec3d& a, const Vec3d& b, const Vec3d& c)
{
    double v = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (v > 0)
        return 1;
    if (v < 0)
        return 0;
    return (b == a || c == a || c == b) ? 0 : 1;
}

bool SameXY(const Vec3d& a, const Vec3d& b)
{
    return a.x == b.x && a.y == b.y;
}

// Whether vertex v keeps the triangle prev-cur-next from being an ear. A copy
// of one of the triangle's own corners (from a hole bridge) never does.
bool Blocks(const Vec3d& v, const Vec3d& prev, const Vec3d& cur, const Vec3d& next, int orientation)
{
    if (Turn(cur, prev, v) == orientation || Turn(prev, next, v) == orientation || Turn(next, cur, v) == orientation)
        return false;
    return !SameXY(v, prev) && !SameXY(v, cur) && !SameXY(v, next);
}

// Ear clipping that always takes the first ear of the remaining outline. An
// ear stays an ear when another corner is clipped (fewer vertices can only
// block less), and a corner that was not an ear can become one only when its
// neighbours change or the clipped vertex was what blocked it; so after each
// cut only those corners are tested in full. A vertex outside a triangle's
// bounding box is outside the triangle, so a grid of buckets over the
// outline's bounding box limits each full test to the vertices near the ear.
class CEarClipper
{
public:
    CEarClipper(const OutlinePolygon& polygon) : m_v(polygon.vertices), m_orientation(polygon.orientation) {}

    uint16_t Run(TriangleList& list, bool back)
    {
        const size_t n = m_v.size();
        if (n < 3)
            return kTextOk;
        m_index.resize(n);
        for (size_t i = 0; i < n; ++i)
            m_index[i] = i;
        m_alive.assign(n, 1);
        BuildGrid();
        m_ear.resize(n);
        m_convex.resize(n);
        for (size_t p = 0; p < n; ++p) {
            m_convex[p] = Convex(p);
            m_ear[p] = IsEar(p);
        }

        while (m_index.size() > 3) {
            size_t c = m_index.size();
            size_t e = 0;
            while (e < c && !m_ear[e])
                ++e;
            if (e == c)
                return kTextNoEar;
            const Vec3d& prev = Corner(e, -1);
            const Vec3d& cur = Corner(e, 0);
            const Vec3d& next = Corner(e, 1);
            if (!(back ? list.Append(next, cur, prev) : list.Append(prev, cur, next)))
                return kTextOutOfMemory;
            const Vec3d clipped = cur;
            m_alive[m_index[e]] = 0;
            m_index.erase(m_index.begin() + e);
            m_ear.erase(m_ear.begin() + e);
            m_convex.erase(m_convex.begin() + e);
            --c;
            const size_t before = (e + c - 1) % c;
            const size_t after = e % c;
            for (size_t p : {before, after}) {
                m_convex[p] = Convex(p);
                m_ear[p] = IsEar(p);
            }
            for (size_t p = 0; p < c; ++p)
                if (!m_ear[p] && m_convex[p] && p != before && p != after &&
                    Blocks(clipped, Corner(p, -1), Corner(p, 0), Corner(p, 1), m_orientation))
                    m_ear[p] = IsEar(p);
        }
        const Vec3d& r0 = m_v[m_index[0]];
        const Vec3d& r1 = m_v[m_index[1]];
        const Vec3d& r2 = m_v[m_index[2]];
        if (!(back ? list.Append(r2, r1, r0) : list.Append(r0, r1, r2)))
            return kTextOutOfMemory;
        return kTextOk;
    }

private:
    const Vec3d& Corner(size_t p, int step) const
    {
        size_t c = m_index.size();
        return m_v[m_index[(p + c + step) % c]];
    }
    bool Convex(size_t p) const { return Turn(Corner(p, -1), Corner(p, 0), Corner(p, 1)) == m_orientation; }

    void BuildGrid()
    {
        m_low = m_high = m_v[0];
        for (const Vec3d& v : m_v) {
            m_low.x = std::min(m_low.x, v.x), m_low.y = std::min(m_low.y, v.y);
            m_high.x = std::max(m_high.x, v.x), m_high.y = std::max(m_high.y, v.y);
        }
        m_size = std::max<size_t>(1, static_cast<size_t>(std::sqrt(static_cast<double>(m_v.size()) / 2)));
        m_cells.assign(m_size * m_size, {});
        for (size_t i = 0; i < m_v.size(); ++i)
            m_cells[CellY(m_v[i].y) * m_size + CellX(m_v[i].x)].push_back(i);
    }
    size_t Cell(double at, double low, double high) const
    {
        if (!(high > low))
            return 0;
        double f = (at - low) / (high - low) * static_cast<double>(m_size);
        return f <= 0 ? 0 : std::min(m_size - 1, static_cast<size_t>(f));
    }
    size_t CellX(double x) const { return Cell(x, m_low.x, m_high.x); }
    size_t CellY(double y) const { return Cell(y, m_low.y, m_high.y); }

    bool IsEar(size_t p) const
    {
        if (!m_convex[p])
            return false;
        size_t c = m_index.size();
        size_t prev = m_index[(p + c - 1) % c], cur = m_index[p], next = m_index[(p + 1) % c];
        const Vec3d& a = m_v[prev];
        const Vec3d& b = m_v[cur];
        const Vec3d& d = m_v[next];
        size_t x0 = CellX(std::min({a.x, b.x, d.x})), x1 = CellX(std::max({a.x, b.x, d.x}));
        size_t y0 = CellY(std::min({a.y, b.y, d.y})), y1 = CellY(std::max({a.y, b.y, d.y}));
        for (size_t y = y0; y <= y1; ++y)
            for (size_t x = x0; x <= x1; ++x)
                for (size_t q : m_cells[y * m_size + x]) {
                    if (!m_alive[q] || q == prev || q == cur || q == next)
                        continue;
                    if (Blocks(m_v[q], a, b, d, m_orientation))
                        return false;
                }
        return true;
    }

    const std::vector<Vec3d>& m_v;
    const int m_orientation;
    std::vector<size_t> m_index;
    std::vector<char> m_ear;
    std::vector<char> m_convex;
    std::vector<char> m_alive;
    std::vector<std::vector<size_t>> m_cells;
    size_t m_size = 1;
    Vec3d m_low, m_high;
};

// How a character looks in a message: itself, or its number when it would
// not show (controls and private-use codes).
std::string CharacterText(uint32_t code)
{
    char text[16];
    if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code < 0xF900) || code > 0x10FFFF) {
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
        return text;
    }
    std::string utf8;
    if (code < 0x80) {
        utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
        utf8 += static_cast<char>(0xC0 | code >> 6);
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        utf8 += static_cast<char>(0xE0 | code >> 12);
        utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | code >> 18);
        utf8 += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
    return utf8;
}

const char* FaultText(uint8_t fault)
{
    switch (fault) {
    case kGlyphCycle:
        return "a part contains the glyph itself";
    case kGlyphTooDeep:
        return "parts nested too deep";
    case kGlyphTooLarge:
        return "too many points";
    case kGlyphBadPoint:
        return "a part placed by a point that does not exist";
    default:
        return "a part that is not in the font";
    }
}

// Characters that come out without their outline, each named once: those the
// font has no glyph for, and those whose composite glyph could not be put
// together. The text is still built, so the user must hear about them.
void ReportMissing(const TrueTypeFont& font, const std::vector<uint32_t>& codes, const std::vector<uint16_t>& glyphs,
                   CModel& model)
{
    std::string missing, unassembled;
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (std::find(seen.begin(), seen.end(), codes[i]) != seen.end())
            continue;
        seen.push_back(codes[i]);
        const TrueTypeGlyph& glyph = font.Glyph(glyphs[i]);
        if (glyphs[i] == 0)
            missing += (missing.empty() ? "" : ", ") + CharacterText(codes[i]);
        else if (glyph.fault != kGlyphWhole)
            unassembled += (unassembled.empty() ? "" : ", ") + CharacterText(codes[i]) + " (" +
                           FaultText(glyph.fault) + ")";
    }
    // Warnings: the desktop program shows them in a box, where a status
    // text would be overwritten by the end of the load at once.
    if (!missing.empty())
        model.WarningMessage("No outline for: %s", missing.c_str());
    if (!unassembled.empty())
        model.WarningMessage("Unable to assemble the outline for: %s", unassembled.c_str());
}

}  // namespace

bool TriangleList::Append(const Vec3d& a, const Vec3d& b, const Vec3d& c)
{
    try {
        m_triangles.push_back({{a, b, c}});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

uint16_t TriangulatePolygon(const OutlinePolygon& polygon, TriangleList& list, bool back)
{
    if (polygon.vertices.size() > kMaxFaceVertices)
        return kTextTooComplex;
    try {
        return CEarClipper(polygon).Run(list, back);
    } catch (const std::bad_alloc&) {
        return kTextOutOfMemory;
    }
}

uint16_t BuildFaces(const TrueTypeFont& font, uint32_t glyph, const TextOptions& options, const Vec3d& pen,
                    TriangleList& front, TriangleList& back)
{
    if (!options.frontFaces && !options.backFaces)
        return kTextOk;
    const int n = ContourCount(font, glyph);
    if (n < 1)
        return kTextOk;
    if (n > kMaxGlyphContours)
        return kTextTooComplex;
    double zFront, zBack;
    FaceDepths(options, zFront, zBack);
    try {
        std::vector<OutlinePolygon> fronts(options.frontFaces ? n : 0);
        std::vector<OutlinePolygon> backs(options.backFaces ? n : 0);
        // inside[J * n + i]: 0 for i = J, 1 when contour i starts outside
        // contour J, 2 when inside, 3 once merged into J as its hole.
        std::vector<uint8_t> inside(size_t(n) * n);
        auto at = [&](int J, int i) -> uint8_t& { return inside[size_t(J) * n + i]; };

        for (int k = 0; k < n; ++k) {
            if (options.frontFaces) {
                FlattenContour(font, glyph, k, options.curveResolution, 0.0, fronts[k]);
                Inset(fronts[k], options.frontFaceCut);
            }
            if (options.backFaces) {
                FlattenContour(font, glyph, k, options.curveResolution, 0.0, backs[k]);
                Inset(backs[k], options.backFaceCut);
            }
        }
        const std::vector<OutlinePolygon>& reference = options.frontFaces ? fronts : backs;
        for (int J = 0; J < n; ++J)
            for (int i = 0; i < n; ++i)
                at(J, i) = i == J ? 0 : PointInside(reference[i], reference[J]) ? 2 : 1;

        // A counter-clockwise contour inside a clockwise one is its hole when
        // no third contour lies between them.
        for (int J = 0; J < n; ++J) {
            if (reference[J].orientation != kClockwise)
                continue;
            for (int i = 0; i < n; ++i) {
                if (at(J, i) != 2 || reference[i].orientation != kCounterClockwise)
                    continue;
                bool direct = true;
                for (int j = 0; j < n && direct; ++j)
                    if (j != i && j != J && at(j, i) == 2 && at(J, j) == 2)
                        direct = false;
                if (!direct)
                    continue;
                if (options.frontFaces)
                    MergeHole(fronts[J], fronts[i]);
                if (options.backFaces)
                    MergeHole(backs[J], backs[i]);
                at(J, i) = 3;
            }
        }

        auto face = [&](int J, OutlinePolygon& polygon, double z, TriangleList& list, bool isBack) -> uint16_t {
            if (polygon.orientation == kCounterClockwise) {
                for (int x = 0; x < n; ++x)
                    if (at(x, J) == 2 || at(x, J) == 3)
                        return kTextOk;  // a hole, already part of its outline
            }
            Translate(polygon, pen);
            SetZ(polygon, z);
            return TriangulatePolygon(polygon, list, isBack);
        };
        for (int J = 0; J < n; ++J) {
            if (options.frontFaces)
                if (uint16_t result = face(J, fronts[J], zFront, front, false))
                    return result;
            if (options.backFaces)
                if (uint16_t result = face(J, backs[J], zBack, back, true))
                    return result;
        }
    } catch (const std::bad_alloc&) {
        return kTextOutOfMemory;
    }
    return kTextOk;
}

uint16_t BuildSides(const TrueTypeFont& font, uint32_t glyph, const TextOptions& options, const Vec3d& pen,
                    TriangleList& sides)
{
    const int n = ContourCount(font, glyph);
    if (n < 1)
        return kTextOk;
    double zF, zB;
    FaceDepths(options, zF, zB);
    try {
        OutlinePolygon outline;
        for (int k = 0; k < n; ++k) {
            outline.vertices.clear();
            FlattenContour(font, glyph, k, options.curveResolution, 0.0, outline);
            Translate(outline, pen);
            const std::vector<Vec3d>& o = outline.vertices;
            for (size_t i = 0; i < o.size(); ++i) {
                const Vec3d& a = o[i];
                const Vec3d& b = o[(i + 1) % o.size()];
                if (!sides.Append({a.x, a.y, zF}, {a.x, a.y, zB}, {b.x, b.y, zB}) ||
                    !sides.Append({a.x, a.y, zF}, {b.x, b.y, zB}, {b.x, b.y, zF}))
                    return kTextOutOfMemory;
            }
        }
    } catch (const std::bad_alloc&) {
        return kTextOutOfMemory;
    }
    return kTextOk;
}

void EmitTriangles(const TriangleList& list, CModel* model)
{
    if (!model)
        return;
    for (const Triangle3d& t : list.Triangles()) {
        const Vec3d& a = t.corner[0];
        const Vec3d& b = t.corner[1];
        const Vec3d& c = t.corner[2];
        if ((a - b).Cross(c - b).Length() < 1e-9)
            continue;
        // The outlines run clockwise, so the lists hold every face clockwise
        // seen from outside; the model wants them the other way round.
        auto point = [](const Vec3d& v) {
            return CVector(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
        };
        model->AddTriangle(point(c), point(b), point(a));
    }
}

uint16_t BuildText(TrueTypeFont& font, const TextOptions& options, CModel* model)
{
    auto status = [&](const char* text, uint32_t code) {
        if (model)
            model->StatusMessage(text, code);
    };
    try {
        const double u = font.UnitsPerEm();
        const std::vector<uint32_t>& codes = options.codes;
        std::vector<uint16_t> glyphs(codes.size());
        for (size_t i = 0; i < codes.size(); ++i)
            glyphs[i] = font.GlyphIndex(codes[i]);
        auto advance = [&](size_t i) { return font.Glyph(glyphs[i]).advanceWidth / u; };
        auto kerning = [&](size_t i) {
            return i + 1 < glyphs.size() ? font.Kerning(glyphs[i], glyphs[i + 1]) / u : 0.0;
        };

        status("Kerning", 0);
        double width = 0.0;
        for (size_t i = 0; i < codes.size(); ++i)
            width += advance(i) + kerning(i);
        double xStart = options.xAlign == 8 ? 0.0 : options.xAlign == 10 ? -width / 2 : -width;

        const TrueTypeGlyph& reference = font.Glyph(font.GlyphIndex(options.referenceCode));
        const double yMin = reference.yMin, yMax = reference.yMax;
        double yStart = options.yAlign == 11   ? 0.0
                        : options.yAlign == 12 ? yMin / u
                        : options.yAlign == 10 ? (yMin - yMax) / (2 * u)
                                               : (yMin - yMax) / u;

        double firstBearing = codes.empty() ? 0.0 : font.Glyph(glyphs[0]).leftSideBearing / u;
        Vec3d pen(xStart + firstBearing, yStart, 0.0);
        TriangleList front, back, frontBevel, backBevel, sides;
        for (size_t i = 0; i < codes.size(); ++i) {
            status("Creating Faces for character 0x%x", codes[i]);
            if (uint16_t result = BuildFaces(font, glyphs[i], options, pen, front, back))
                return result;
            status("Creating Sides for character 0x%x", codes[i]);
            if (uint16_t result = BuildSides(font, glyphs[i], options, pen, sides))
                return result;
            status("Kerning for character 0x%x", codes[i]);
            pen.x += advance(i) + kerning(i);
        }
        // The text has no bevels; their lists stay empty but keep their place
        // in the progress report.
        status("Loading Front Face Triangles", 0);
        EmitTriangles(front, model);
        status("Loading Back Face Triangles", 0);
        EmitTriangles(back, model);
        status("Loading Front Bevel Triangles", 0);
        EmitTriangles(frontBevel, model);
        status("Loading Back Bevel Triangles", 0);
        EmitTriangles(backBevel, model);
        status("Loading Side Triangles", 0);
        EmitTriangles(sides, model);
        if (model)
            ReportMissing(font, codes, glyphs, *model);
    } catch (const std::bad_alloc&) {
        return kTextOutOfMemory;
    }
    return kTextOk;
}

bool MakeTrueTypeText(CModel& model, const std::string& fontPath, const std::vector<uint32_t>& codes)
{
    TrueTypeFont font(fontPath, 3, 1, 0x0409);
    switch (font.Status()) {
    case kFontOk:
    case kFontBadKerning:
        break;
    case kFontOutOfMemory:
        model.ErrorMessage("Out of Memory");
        return false;
    case kFontTableMissing:
        model.ErrorMessage("A required part of this TrueType font is missing.");
        return false;
    case kFontBadEncoding:
        model.ErrorMessage("An invalid or unsupported character encoding method was specified.");
        return false;
    case kFontOpenFailed:
        model.ErrorMessage("Error: Unable to open file \"%s\"", fontPath.c_str());
        return false;
    default:
        model.ErrorMessage("Unable to read font file.");
        return false;
    }
    TextOptions options;
    options.codes = codes;
    model.BeginWait();
    uint16_t result = BuildText(font, options, &model);
    if (result == kTextOutOfMemory)
        model.ErrorMessage("Out of Memory");
    else if (result == kTextNoEar)
        model.ErrorMessage("Unable to Triangulate");
    else if (result != kTextOk)
        model.ErrorMessage("Unable to convert font.");
    model.EndWait();
    return result == kTextOk;
}

std::vector<uint32_t> DecodeUtf8(const std::string& text)
{
    std::vector<uint32_t> codes;
    const size_t n = text.size();
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    for (size_t i = 0; i < n;) {
        uint8_t lead = byte(i);
        size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                                      : 1;
        uint32_t code = lead;
        bool valid = length == 1 ? lead < 0x80 : i + length <= n;
        if (length > 1 && valid) {
            code = lead & (0x7F >> length);
            for (size_t k = 1; k < length && valid; ++k) {
                valid = (byte(i + k) & 0xC0) == 0x80;
                code = code << 6 | (byte(i + k) & 0x3F);
            }
            // Overlong forms, surrogates and codes past Unicode are not text.
            static constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
            valid = valid && code >= kLeast[length] && (code < 0xD800 || code > 0xDFFF) && code <= 0x10FFFF;
        }
        if (!valid) {
            codes.push_back(lead);
            ++i;
        } else {
            codes.push_back(code);
            i += length;
        }
    }
    return codes;
}
