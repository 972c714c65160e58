// The text entry from the caller's side: messages, layout, the document
// sequence, and fonts that are damaged or odd.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "FontTestSupport.h"
#include "Formats.h"
#include "RecordingModel.h"
#include "TinyFont.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

fs::path WriteFont(const std::string& name, const std::string& bytes)
{
    fs::path path = fs::temp_directory_path() / ("trivex_ttf_" + std::to_string(::getpid()) + "_" + name);
    testfiles::WriteAll(path, bytes);
    return path;
}

TrueTypeFont FromBytes(const std::string& bytes)
{
    return TrueTypeFont(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 3, 1, 0x0409);
}

double SignedVolume(const CModel& model)
{
    double volume = 0.0;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        for (int i = 0; i < model.GetGroup(g)->polygons.GetCount(); ++i) {
            const CPolygon* p = model.GetGroup(g)->polygons.GetAt(i);
            CVector a = *p->GetVertex(0), b = *p->GetVertex(1), c = *p->GetVertex(2);
            volume += a.Dot(b.Cross(c)) / 6.0;
        }
    return volume;
}

TEST(TrueTypeTextTest, DocumentSequenceBuildsOneOutwardFacingGroup)
{
    std::string path = FindInstalledFont("DejaVuSans.ttf");
    if (path.empty())
        GTEST_SKIP() << "DejaVuSans.ttf is not installed (Debian package fonts-dejavu-core)";
    CRecordingModel model;
    ASSERT_TRUE(ReadTrueTypeText(model, path, "Hi \xC3\xA9"));  // "é" in UTF-8
    EXPECT_TRUE(model.errors.empty());
    ASSERT_EQ(model.GetGroupCount(), 1);
    const CGroup* group = model.GetGroup(0);
    EXPECT_EQ(group->name, "TTFont");
    EXPECT_EQ(group->colorIndex, FindColor("Red"));
    EXPECT_EQ(group->textureIndex, FindTexture("Shiny"));
    EXPECT_GT(model.GetPolygonCount(), 40);
    // Counter-clockwise seen from outside: the faces enclose a positive volume.
    EXPECT_GT(SignedVolume(model), 0.0);
    EXPECT_EQ(model.waitDepth, 0);

    std::vector<std::string> expected = {
        "Reading True Type Font", "Kerning", "Creating Faces for character 0x48", "Creating Sides for character 0x48",
        "Kerning for character 0x48", "Creating Faces for character 0xe9", "Kerning for character 0xe9",
        "Loading Front Face Triangles", "Loading Back Face Triangles", "Loading Front Bevel Triangles",
        "Loading Back Bevel Triangles", "Loading Side Triangles", "File Read Finished"};
    auto at = model.status.begin();
    for (const std::string& text : expected) {
        at = std::find(at, model.status.end(), text);
        ASSERT_NE(at, model.status.end()) << "missing or out of order: " << text;
    }
}

// Glyph A is a 500 x 700 box at x 0, O a 600 x 700 ring; both advance 600 and
// kern A-O by -40 and O-A by -30 font units in a 1000-unit em.
TEST(TrueTypeTextTest, LayoutFollowsAdvanceKerningAndAlignment)
{
    std::string bytes = SampleTinyFont().Build();
    struct CCase
    {
        const char* text;
        int16_t xAlign, yAlign, zAlign;
        CVector low, high;
    } cases[] = {
        {"AO", 8, 11, 14, {0, 0, 0}, {1.16f, 0.7f, 0.2f}},
        {"OA", 8, 11, 14, {0, 0, 0}, {1.07f, 0.7f, 0.2f}},
        {"AO", 10, 10, 10, {-0.58f, -0.35f, -0.1f}, {0.58f, 0.35f, 0.1f}},
        {"A O", 0, 0, 0, {-1.8f, -0.7f, -0.2f}, {0.0f, 0.0f, 0.0f}},  // no kerning across the space
        {"CA", 8, 12, 14, {0.6f, 0, 0}, {1.1f, 0.7f, 0.2f}},           // the composite C only advances
    };
    for (const CCase& c : cases) {
        TrueTypeFont font = FromBytes(bytes);
        TextOptions options;
        options.xAlign = c.xAlign, options.yAlign = c.yAlign, options.zAlign = c.zAlign;
        options.codes = DecodeUtf8(c.text);
        CRecordingModel model;
        model.SetGroup("TTFont", 0, 0);
        ASSERT_EQ(BuildText(font, options, &model), kTextOk) << c.text;
        model.ComputeRange();
        CVector low(model.m_min[0], model.m_min[1], model.m_min[2]);
        CVector high(model.m_max[0], model.m_max[1], model.m_max[2]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR((&low.x)[k], (&c.low.x)[k], 1e-5) << c.text << " axis " << k;
            EXPECT_NEAR((&high.x)[k], (&c.high.x)[k], 1e-5) << c.text << " axis " << k;
        }
    }
}

// Accented letters are composites in DejaVu Sans; each must add the triangles
// of its parts, and a character the font lacks is named once however often
// it occurs.
TEST(TrueTypeTextTest, CompositeLettersBuildAndMissingOnesAreNamed)
{
    std::string path = FindInstalledFont("DejaVuSans.ttf");
    if (path.empty())
        GTEST_SKIP() << "DejaVuSans.ttf is not installed (Debian package fonts-dejavu-core)";
    auto build = [&](const char* text, CRecordingModel& model) {
        EXPECT_TRUE(ReadTrueTypeText(model, path, text)) << text;
        EXPECT_TRUE(model.errors.empty()) << text;
        return model.GetPolygonCount();
    };
    CRecordingModel o, oUmlaut, hello, missing;
    EXPECT_GT(build("\xC3\xB6", oUmlaut), build("o", o));  // ö: the o and its two dots
    EXPECT_GT(build("Hello, W\xC3\xB6rld", hello), 0);
    EXPECT_TRUE(hello.infos.empty());
    build("\xE4\xB8\xADo\xE4\xB8\xAD\xEE\x80\x80", missing);  // 中, o, 中 and a private-use code
    EXPECT_EQ(missing.infos, std::vector<std::string>{"No outline for: \xE4\xB8\xAD, U+E000"});
}

// Glyphs that cannot be assembled, and characters without a glyph, each in
// one notice; the rest of the text is built.
TEST(TrueTypeTextTest, UnassembledGlyphsAreNamedWithTheirReason)
{
    TrueTypeFont font = FromBytes(CompositeTinyFont().Build());
    TextOptions options;
    options.codes = DecodeUtf8("Y\xC3\xA4" "DZY\xC3\xA4\x01");
    CRecordingModel model;
    model.SetGroup("TTFont", 0, 0);
    ASSERT_EQ(BuildText(font, options, &model), kTextOk);
    EXPECT_GT(model.GetPolygonCount(), 0);
    EXPECT_EQ(model.infos, (std::vector<std::string>{
                                 "No outline for: \xC3\xA4, U+0001",
                                 "Unable to assemble the outline for: Y (a part contains the glyph itself), "
                                 "Z (parts nested too deep)"}));
}

TEST(TrueTypeTextTest, FailuresGiveTheirMessageAndLeaveTheModelEmpty)
{
    auto variant = [](auto change) {
        CTinyFont font = SampleTinyFont();
        change(font);
        return font.Build();
    };
    std::string good = SampleTinyFont().Build();
    struct CCase
    {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"noname.ttf", variant([](CTinyFont& f) { f.omit = "name"; }),
         "A required part of this TrueType font is missing."},
        {"nohmtx.ttf", variant([](CTinyFont& f) { f.omit = "hmtx"; }),
         "A required part of this TrueType font is missing."},
        {"mac.ttf", variant([](CTinyFont& f) { f.cmapPlatform = 1; }), "Unable to read font file."},
        {"format6.ttf", variant([](CTinyFont& f) { f.cmapFormat = 6; }),
         "An invalid or unsupported character encoding method was specified."},
        {"truncated.ttf", good.substr(0, good.size() / 2), "Unable to read font file."},
        {"empty.ttf", "", "Unable to read font file."},
        // Far past any real glyph: too many contours, or too many vertices.
        {"contours.ttf", variant([](CTinyFont& f) {
             for (int k = 0; k < 1100; ++k)
                 f.glyphs[1].contours.push_back({{int16_t(k), 0, kOnCurve}, {int16_t(k), 9, kOnCurve}, {int16_t(k + 1), 0, kOnCurve}});
         }),
         "Unable to convert font."},
        {"vertices.ttf", variant([](CTinyFont& f) {
             auto& ring = f.glyphs[1].contours.emplace_back();
             for (int k = 0; k < 7000; ++k)
                 ring.push_back({int16_t(5000 * std::cos(-k * 0.0008976)), int16_t(5000 * std::sin(-k * 0.0008976)), kOffCurve});
         }),
         "Unable to convert font."},
    };
    for (const CCase& c : cases) {
        fs::path path = WriteFont(c.name, c.bytes);
        CRecordingModel model;
        EXPECT_FALSE(ReadTrueTypeText(model, path.string(), "AO")) << c.name;
        EXPECT_EQ(model.errors, std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(model.GetPolygonCount(), 0) << c.name;
        fs::remove(path);
    }
    CRecordingModel model;
    std::string missing = (fs::temp_directory_path() / "trivex_no_such_font.ttf").string();
    EXPECT_FALSE(ReadTrueTypeText(model, missing, "AO"));
    EXPECT_EQ(model.errors, std::vector<std::string>{"Error: Unable to open file \"" + missing + "\""});

    // Kerning is optional: an unsupported kind loads without it, silently.
    fs::path path = WriteFont("kern.ttf", variant([](CTinyFont& f) { f.kernCoverage = 0x0101; }));
    CRecordingModel kernless;
    EXPECT_TRUE(ReadTrueTypeText(kernless, path.string(), "AO"));
    EXPECT_TRUE(kernless.errors.empty());
    fs::remove(path);
}

TEST(OutlineTest, InsetMovesEveryEdgeInwardsWhicheverWayItRuns)
{
    for (bool clockwise : {true, false}) {
        OutlinePolygon square;
        square.vertices = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
        if (!clockwise)
            std::reverse(square.vertices.begin(), square.vertices.end());
        square.orientation = Orientation(square);
        OutlinePolygon inset;
        Inset(square, 0.1, inset);
        ASSERT_EQ(inset.Count(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(inset.vertices[i].x, square.vertices[i].x == 0 ? 0.1 : 0.9, 1e-12);
            EXPECT_NEAR(inset.vertices[i].y, square.vertices[i].y == 0 ? 0.1 : 0.9, 1e-12);
        }
    }
}

TEST(DecodeUtf8Test, WellFormedSequencesAndStrayBytes)
{
    struct CCase
    {
        const char* text;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"Az", {'A', 'z'}},
        {"\xD0\x96\xE2\x82\xAC", {0x416, 0x20AC}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xE9t\xE9", {0xE9, 't', 0xE9}},        // Latin-1
        {"\xC0\x80", {0xC0, 0x80}},              // overlong
        {"\xED\xA0\x80", {0xED, 0xA0, 0x80}},    // surrogate
        {"\xE2\x82", {0xE2, 0x82}},              // cut short
    };
    for (const CCase& c : cases)
        EXPECT_EQ(DecodeUtf8(c.text), c.codes) << c.text;
}

// Cut or scrambled fonts are refused or read; either way, building text from
// them ends with one of the engine's own results.
TEST(DamagedFontTest, TruncatedAndCorruptedFontsNeverCrash)
{
    std::vector<std::string> fonts = {SampleTinyFont().Build()};
    if (std::string path = FindInstalledFont("LiberationSans-Regular.ttf"); !path.empty())
        fonts.push_back(testfiles::ReadAll(path));
    std::mt19937 random(12);
    for (const std::string& bytes : fonts) {
        // A cut before the end of any table the text needs is damage.
        size_t needed = 0;
        const size_t tables = static_cast<uint8_t>(bytes[5]);
        for (size_t t = 0; t < tables; ++t) {
            auto u32 = [&](size_t at) {
                return uint32_t{static_cast<uint8_t>(bytes[at])} << 24 | static_cast<uint8_t>(bytes[at + 1]) << 16 |
                       static_cast<uint8_t>(bytes[at + 2]) << 8 | static_cast<uint8_t>(bytes[at + 3]);
            };
            std::string tag = bytes.substr(12 + 16 * t, 4);
            if (std::string("head maxp name loca cmap glyf hhea hmtx kern").find(tag) == std::string::npos)
                continue;
            needed = std::max<size_t>(needed, size_t{u32(12 + 16 * t + 8)} + u32(12 + 16 * t + 12));
            // Its offset, then its length, pointing far outside the file.
            for (size_t field : {8, 12}) {
                std::string broken = bytes;
                broken.replace(12 + 16 * t + field, 4, "\x7F\xFF\xFF\xFF");
                EXPECT_EQ(FromBytes(broken).Status(), kFontDamaged) << tag << " field " << field;
            }
        }
        const size_t step = std::max<size_t>(1, bytes.size() / 200);
        for (size_t length = 0; length < needed; length += length < 300 ? 1 : step)
            EXPECT_EQ(FromBytes(bytes.substr(0, length)).Status(), kFontDamaged) << "cut at " << length;
        EXPECT_EQ(FromBytes(bytes.substr(0, needed)).Status(), kFontOk);
        for (int round = 0; round < 200; ++round) {
            std::string broken = bytes;
            for (int k = 0; k < 8; ++k)
                broken[random() % broken.size()] = static_cast<char>(random());
            TrueTypeFont font = FromBytes(broken);
            if (font.Status() != kFontOk)
                continue;
            TextOptions options;
            options.codes = {'A', 'O', 'C', 'g', '8'};
            CRecordingModel model;
            model.SetGroup("TTFont", 0, 0);
            uint16_t result = BuildText(font, options, &model);
            EXPECT_TRUE(result == kTextOk || result == kTextNoEar) << "result " << result;
        }
    }
}

}  // namespace
