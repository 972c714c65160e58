// The font reader and the outline flattening against FreeType, glyph by glyph.
#include <gtest/gtest.h>

#include <sstream>

#include "FontTestSupport.h"
#include "TinyFont.h"

namespace {

// Counts disagreements and keeps the first few, so that one wrong table does
// not flood the output with thousands of lines.
struct CMismatches
{
    int count = 0;
    std::ostringstream first;
    template <typename... Parts>
    void Add(const Parts&... parts)
    {
        if (count++ < 5)
            ((first << parts), ...) << "\n";
    }
};

constexpr FT_Int32 kUnscaled = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING;

// FreeType moves an outline so that its origin is where the glyph's metrics
// put it: by its left side bearing less its xMin, or, for a composite glyph
// with a part marked "use my metrics", by that part's (the last such part).
int OriginShift(const TrueTypeFont& font, FT_Face face, uint32_t g, int depth = 0)
{
    const TrueTypeGlyph& glyph = font.Glyph(g);
    int shift = glyph.leftSideBearing - glyph.xMin;
    if (depth > kMaxComponentDepth || FT_Load_Glyph(face, g, kUnscaled | FT_LOAD_NO_RECURSE) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_COMPOSITE)
        return shift;
    std::vector<std::pair<FT_Int, FT_UInt>> parts;
    for (FT_UInt i = 0; i < face->glyph->num_subglyphs; ++i) {
        FT_Int index, arg1, arg2;
        FT_UInt flags;
        FT_Matrix matrix;
        FT_Get_SubGlyph_Info(face->glyph, i, &index, &flags, &arg1, &arg2, &matrix);
        parts.emplace_back(index, flags);
    }
    for (const auto& [index, flags] : parts)
        if (flags & FT_SUBGLYPH_FLAG_USE_MY_METRICS)
            shift = OriginShift(font, face, static_cast<uint32_t>(index), depth + 1);
    return shift;
}

struct CCompared
{
    int composites = 0;  // composite glyphs whose assembled outline was compared
    int refused = 0;     // glyphs that both we and FreeType refuse
    int tooDeep = 0;     // nested past our limit, which FreeType does not have
};

// Every glyph's points, on-curve flags and contour ends against FreeType's
// unscaled, unhinted outline; composite glyphs as FreeType assembles them.
// A scaled part's point is x' = a x + c y (y' likewise) with each product
// rounded to a whole unit, halves away from zero, before the sum: that is
// FreeType's fixed-point arithmetic in font units, so we expect equality,
// not nearness.
CCompared CompareWithFreeType(TrueTypeFont& font, FT_Face face)
{
    CCompared compared;
    EXPECT_EQ(font.Status(), kFontOk);
    EXPECT_NE(face, nullptr);
    if (font.Status() != kFontOk || !face)
        return compared;
    EXPECT_EQ(font.NumGlyphs(), face->num_glyphs);
    EXPECT_EQ(font.UnitsPerEm(), face->units_per_EM);

    CMismatches glyphs, metrics, areas;
    double worstArea = 0.0;
    for (uint32_t g = 0; g < font.NumGlyphs(); ++g) {
        const TrueTypeGlyph& ours = font.Glyph(g);
        // FreeType refuses a composite glyph with a part that is no glyph
        // before it looks at any part, and others once it assembles them.
        auto refused = [&] {
            if (ours.fault == kGlyphWhole || ours.numberOfContours != 0)
                glyphs.Add("glyph ", g, ": FreeType refuses it, we built ", ours.numberOfContours, " contours");
            else
                ++compared.refused;
        };
        // The glyph's own metrics, which a composite keeps whatever its parts say.
        if (FT_Load_Glyph(face, g, kUnscaled | FT_LOAD_NO_RECURSE) != 0) {
            refused();
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        const bool composite = slot->format == FT_GLYPH_FORMAT_COMPOSITE;
        if (static_cast<uint16_t>(slot->metrics.horiAdvance) != ours.advanceWidth)
            metrics.Add("glyph ", g, ": advance ", ours.advanceWidth, " vs ", slot->metrics.horiAdvance);
        if (composite != ours.composite)
            glyphs.Add("glyph ", g, ": composite ", ours.composite, ", FreeType ", composite);
        const int shift = OriginShift(font, face, g);
        if (FT_Load_Glyph(face, g, kUnscaled) != 0) {
            refused();
            continue;
        }
        if (ours.fault == kGlyphTooDeep) {
            ++compared.tooDeep;
            continue;
        }
        if (ours.fault != kGlyphWhole) {
            glyphs.Add("glyph ", g, ": refused (fault ", int(ours.fault), "), FreeType builds it");
            continue;
        }
        compared.composites += composite;
        const FT_Outline& outline = slot->outline;
        if (outline.n_contours != ours.numberOfContours) {
            glyphs.Add("glyph ", g, ": ", ours.numberOfContours, " contours, FreeType ", outline.n_contours);
            continue;
        }
        std::vector<double> exact = OutlineAreas(&slot->outline);
        int point = 0;
        for (int k = 0; k < outline.n_contours; ++k) {
            const std::vector<GlyphPoint>& points = ours.contours[k].points;
            if (outline.contours[k] != point + static_cast<int>(points.size()) - 1) {
                glyphs.Add("glyph ", g, " contour ", k, ": ends at ", point + points.size() - 1, ", FreeType ",
                           outline.contours[k]);
                break;
            }
            for (const GlyphPoint& p : points) {
                const FT_Vector& v = outline.points[point];
                bool on = FT_CURVE_TAG(outline.tags[point]) == FT_CURVE_TAG_ON;
                if (v.x != p.x + shift || v.y != p.y || on != (p.type == kOnCurve))
                    glyphs.Add("glyph ", g, " point ", point, ": (", p.x, "+", shift, ", ", p.y, ") vs (", v.x, ", ",
                               v.y, ")");
                ++point;
            }
            // The flattened contour follows the curves to within the chords'
            // sag, well under a percent with twenty pieces per arc; a piece
            // left out would be far more.
            OutlinePolygon polygon;
            EXPECT_TRUE(FlattenContour(font, g, k, 20, 0.0, polygon));
            double units = font.UnitsPerEm();
            double want = k < static_cast<int>(exact.size()) ? exact[k] / (units * units) : 0.0;
            double got = SignedArea(polygon.vertices);
            double error = std::fabs(got - want) / std::max(std::fabs(want), 1e-4);
            worstArea = std::max(worstArea, error);
            if (error > 0.005)
                areas.Add("glyph ", g, " contour ", k, ": flattened area ", got, ", curve area ", want);
        }
    }
    EXPECT_EQ(glyphs.count, 0) << glyphs.first.str();
    EXPECT_EQ(metrics.count, 0) << metrics.first.str();
    EXPECT_EQ(areas.count, 0) << areas.first.str();
    std::printf("worst flattened area error %.4f%%; composite glyphs compared %d, refused by both %d, too deep %d\n",
                100 * worstArea, compared.composites, compared.refused, compared.tooDeep);

    CMismatches map;
    for (uint32_t code = 0; code <= 0xFFFF; ++code)
        if (uint16_t want = static_cast<uint16_t>(FT_Get_Char_Index(face, code)); font.GlyphIndex(code) != want)
            map.Add("code ", code, ": glyph ", font.GlyphIndex(code), ", FreeType ", want);
    EXPECT_EQ(map.count, 0) << map.first.str();

    // Kerning of every listed pair, and between every pair of Latin-1
    // letters, digits and signs, listed or not.
    if (!font.KerningPairs().empty()) {
        CMismatches kerning;
        int kerned = 0;
        for (const KerningPair& pair : font.KerningPairs()) {
            FT_Vector want{};
            FT_Get_Kerning(face, pair.left, pair.right, FT_KERNING_UNSCALED, &want);
            kerned += want.x != 0;
            if (font.Kerning(pair.left, pair.right) != want.x)
                kerning.Add("listed pair ", pair.left, ", ", pair.right, ": ", pair.value, ", FreeType ", want.x);
        }
        std::vector<uint16_t> glyphsOf;
        for (uint32_t code = 0x20; code < 0x100; ++code)
            if (code < 0x7F || code >= 0xA0)
                glyphsOf.push_back(font.GlyphIndex(code));
        for (uint16_t left : glyphsOf)
            for (uint16_t right : glyphsOf) {
                FT_Vector want{};
                FT_Get_Kerning(face, left, right, FT_KERNING_UNSCALED, &want);
                int16_t got = font.Kerning(left, right);
                if (got != want.x)
                    kerning.Add("pair ", left, ", ", right, ": ", got, ", FreeType ", want.x);
            }
        EXPECT_EQ(kerning.count, 0) << kerning.first.str();
        EXPECT_GT(kerned, 0) << "FreeType kerns no listed pair: the comparison saw only zeros";
    }
    return compared;
}

class InstalledFontTest : public ::testing::TestWithParam<CInstalledFont>
{
};

TEST_P(InstalledFontTest, GlyphsMetricsCharacterMapAndKerningMatchFreeType)
{
    std::string path = FindInstalledFont(GetParam().file);
    if (path.empty())
        GTEST_SKIP() << GetParam().file << " is not installed (Debian package " << GetParam().package << ")";
    TrueTypeFont font(path, 3, 1, 0x0409);
    CFreeTypeFace face(path);
    CCompared compared = CompareWithFreeType(font, face.Face());
    // Each of these fonts builds its accented letters from parts.
    EXPECT_GT(compared.composites, 100);
    EXPECT_EQ(compared.tooDeep, 0);
}

INSTANTIATE_TEST_SUITE_P(Fonts, InstalledFontTest, ::testing::ValuesIn(kInstalledFonts),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find_first_of(".-"));
                         });

// Fonts made here: contours that start off the curve, a composite glyph, a
// gap in the format 4 map, and kerning; then a format 0 map, one shared
// horizontal metric and a kerning table of minimum values, which is not read.
TEST(TinyFontTest, MatchesFreeType)
{
    CTinyFont variant = SampleTinyFont();
    variant.cmapFormat = 0;
    variant.hMetrics = 1;
    variant.glyphs[2].lsb = -7;
    variant.kernCoverage = 0x0003;
    for (const std::string& bytes : {SampleTinyFont().Build(), variant.Build()}) {
        TrueTypeFont font(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 3, 1, 0x0409);
        CFreeTypeFace face(&bytes);
        CompareWithFreeType(font, face.Face());
        EXPECT_EQ(font.KerningPairs().empty(), bytes == variant.Build());
    }
}

// Every kind of part and placement, and the glyphs that cannot be built:
// FreeType refuses the same ones, except the chain nested past our limit,
// which it builds and we refuse.
TEST(TinyFontTest, CompositeGlyphsMatchFreeType)
{
    std::string bytes = CompositeTinyFont().Build();
    TrueTypeFont font(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 3, 1, 0x0409);
    CFreeTypeFace face(&bytes);
    CCompared compared = CompareWithFreeType(font, face.Face());
    EXPECT_EQ(compared.composites, 6 + kMaxComponentDepth);
    EXPECT_EQ(compared.refused, 5);
    EXPECT_EQ(compared.tooDeep, kTinyChainLength - kMaxComponentDepth);

    const std::pair<uint32_t, uint8_t> faults[] = {
        {3, kGlyphBadPoint}, {10, kGlyphCycle}, {11, kGlyphCycle}, {12, kGlyphBadComponent}, {13, kGlyphBadPoint},
        {kTinyChainStart + kMaxComponentDepth - 1, kGlyphWhole}, {kTinyChainStart + kMaxComponentDepth, kGlyphTooDeep}};
    for (const auto& [glyph, fault] : faults)
        EXPECT_EQ(font.Glyph(glyph).fault, fault) << "glyph " << glyph;
}

}  // namespace
