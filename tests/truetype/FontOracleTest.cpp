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

void CompareWithFreeType(TrueTypeFont& font, FT_Face face)
{
    ASSERT_EQ(font.Status(), kFontOk);
    ASSERT_NE(face, nullptr);
    ASSERT_EQ(font.NumGlyphs(), face->num_glyphs);
    ASSERT_EQ(font.UnitsPerEm(), face->units_per_EM);

    CMismatches glyphs, metrics, areas;
    double worstArea = 0.0;
    for (uint32_t g = 0; g < font.NumGlyphs(); ++g) {
        const TrueTypeGlyph& ours = font.Glyph(g);
        if (FT_Load_Glyph(face, g, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_RECURSE) != 0) {
            glyphs.Add("FreeType cannot load glyph ", g);
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        if (static_cast<uint16_t>(slot->metrics.horiAdvance) != ours.advanceWidth)
            metrics.Add("glyph ", g, ": advance ", ours.advanceWidth, " vs ", slot->metrics.horiAdvance);
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE) {
            if (ours.numberOfContours != 0)
                glyphs.Add("composite glyph ", g, " has contours");
            continue;
        }
        const FT_Outline& outline = slot->outline;
        if (outline.n_contours != ours.numberOfContours) {
            glyphs.Add("glyph ", g, ": ", ours.numberOfContours, " contours, FreeType ", outline.n_contours);
            continue;
        }
        std::vector<double> exact = OutlineAreas(&slot->outline);
        // FreeType moves the outline so that its bounding box starts at the
        // left side bearing; where the two differ, that shift shows the
        // bearing we read.
        const int shift = ours.leftSideBearing - ours.xMin;
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
            ASSERT_TRUE(FlattenContour(font, g, k, 20, 0.0, polygon));
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
    std::printf("worst flattened area error %.4f%%\n", 100 * worstArea);

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
    CompareWithFreeType(font, face.Face());
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

}  // namespace
