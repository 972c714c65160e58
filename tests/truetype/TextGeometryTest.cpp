// Front faces, back faces and side walls of every printable ASCII character.
#include <gtest/gtest.h>

#include <sstream>

#include "FontTestSupport.h"
#include "TinyFont.h"

namespace {

struct CGlyphCheck
{
    std::ostringstream failures;
    int untriangulated = 0;
};

// The faces of one glyph cover exactly what its outline fills, front and back
// wind oppositely at their depths, and with the side walls they close.
void CheckGlyph(const TrueTypeFont& font, uint32_t code, uint16_t glyph, CGlyphCheck& check)
{
    TextOptions options;
    const Vec3d pen(0.25, -0.5, 7.0);
    TriangleList front, back, sides;
    uint16_t result = BuildFaces(font, glyph, options, pen, front, back);
    if (result == kTextNoEar) {
        ++check.untriangulated;
        check.failures << "0x" << std::hex << code << std::dec << ": Unable to Triangulate\n";
        return;
    }
    ASSERT_EQ(result, kTextOk);
    ASSERT_EQ(BuildSides(font, glyph, options, pen, sides), kTextOk);

    std::vector<OutlinePolygon> outlines(font.Glyph(glyph).numberOfContours);
    for (int k = 0; k < static_cast<int>(outlines.size()); ++k)
        FlattenContour(font, glyph, k, options.curveResolution, 0.0, outlines[k]);
    const double filled = NonZeroArea(outlines);

    double frontArea = 0.0, backArea = 0.0;
    int wrongWinding = 0, wrongDepth = 0;
    for (const Triangle3d& t : front.Triangles()) {
        double a = SignedArea(t);
        frontArea += a;
        wrongWinding += a > 1e-12;
        for (const Vec3d& v : t.corner)
            wrongDepth += v.z != 0.1;
    }
    for (const Triangle3d& t : back.Triangles()) {
        double a = SignedArea(t);
        backArea += a;
        wrongWinding += a < -1e-12;
        for (const Vec3d& v : t.corner)
            wrongDepth += v.z != -0.1;
    }
    std::ostringstream& out = check.failures;
    const std::string name = "0x" + [&] {
        std::ostringstream s;
        s << std::hex << code;
        return s.str();
    }();
    if (std::fabs(-frontArea - filled) > 0.005 * filled + 1e-6)
        out << name << ": front faces cover " << -frontArea << " em², the outline fills " << filled << "\n";
    if (std::fabs(frontArea + backArea) > 1e-9)
        out << name << ": front " << frontArea << " and back " << backArea << " do not cancel\n";
    if (wrongWinding || wrongDepth)
        out << name << ": " << wrongWinding << " triangles wound the wrong way, " << wrongDepth
            << " corners off their face's depth\n";
    if (int open = UnpairedEdges({&front, &back, &sides}))
        out << name << ": " << open << " edges without a partner; the surface is not closed\n";
}

class GlyphFacesTest : public ::testing::TestWithParam<CInstalledFont>
{
};

TEST_P(GlyphFacesTest, PrintableAsciiGivesClosedSolids)
{
    std::string path = FindInstalledFont(GetParam().file);
    if (path.empty())
        GTEST_SKIP() << GetParam().file << " is not installed (Debian package " << GetParam().package << ")";
    TrueTypeFont font(path, 3, 1, 0x0409);
    ASSERT_EQ(font.Status(), kFontOk);
    CGlyphCheck check;
    for (uint32_t code = 0x21; code < 0x7F; ++code) {
        uint16_t glyph = font.GlyphIndex(code);
        ASSERT_NE(glyph, 0) << "0x" << std::hex << code;
        CheckGlyph(font, code, glyph, check);
    }
    std::printf("%s: %d printable ASCII glyphs end with \"Unable to Triangulate\"\n", GetParam().file,
                check.untriangulated);
    EXPECT_EQ(check.failures.str(), "");
}

INSTANTIATE_TEST_SUITE_P(Fonts, GlyphFacesTest, ::testing::ValuesIn(kInstalledFonts), [](const auto& info) {
    std::string name = info.param.file;
    return name.substr(0, name.find_first_of(".-"));
});

TEST(TinyFontFacesTest, HolesAndOffCurveStartsGiveClosedSolids)
{
    std::string bytes = SampleTinyFont().Build();
    TrueTypeFont font(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 3, 1, 0x0409);
    ASSERT_EQ(font.Status(), kFontOk);
    CGlyphCheck check;
    CheckGlyph(font, 'A', 1, check);
    CheckGlyph(font, 'O', 2, check);
    EXPECT_EQ(check.failures.str(), "");
}

}  // namespace
