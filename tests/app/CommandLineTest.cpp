#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "Formats.h"
#include "TestFiles.h"
#include "Wireframe.h"

namespace fs = std::filesystem;

namespace {

const std::string kHouse = std::string(TRIVEX_SAMPLES_DIR) + "/house.obj";

class CommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("trivex-cmd-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static int Run(const std::string& program, const std::string& args, std::string* out,
                   const std::string& environment = "")
    {
        return testfiles::RunCommand(environment + "QT_QPA_PLATFORM=offscreen " + std::string(TRIVEX_BIN_DIR) + "/" +
                                         program + " " + args,
                                     out);
    }
    static std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }
    fs::path dir;
};

TEST_F(CommandLineTest, ConvertsAndQuitsWithT)
{
    const fs::path pov = dir / "house.pov";
    std::string out;
    ASSERT_EQ(Run("trivex", Quote(kHouse) + " " + Quote(pov) + " -t", &out), 0) << out;
    // The same bytes as reading and writing through the format table here.
    CModel model;
    ASSERT_TRUE(OpenByName(model, kHouse));
    const fs::path expected = dir / "expected.pov";
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("pov"), expected.string()));
    EXPECT_EQ(testfiles::ReadAll(pov), testfiles::ReadAll(expected));
}

// STL both ways by name: the window writes the converter's bytes and reads them back.
TEST_F(CommandLineTest, StlBothWaysWithT)
{
    const fs::path stl = dir / "house.stl", pov = dir / "house.pov";
    std::string out;
    ASSERT_EQ(Run("trivex", Quote(kHouse) + " " + Quote(stl) + " -t", &out), 0) << out;
    ASSERT_EQ(Run("trivex", Quote(stl) + " " + Quote(pov) + " -t", &out), 0) << out;
    CModel model;
    ASSERT_TRUE(OpenByName(model, kHouse));
    const fs::path expected = dir / "expected.stl";
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("stl"), expected.string()));
    EXPECT_EQ(testfiles::ReadAll(stl), testfiles::ReadAll(expected));
    CModel back;
    ASSERT_TRUE(OpenByName(back, stl.string()));
    ASSERT_TRUE(WriteModelFile(back, *FindFormat("pov"), expected.string()));
    EXPECT_EQ(testfiles::ReadAll(pov), testfiles::ReadAll(expected));
}

TEST_F(CommandLineTest, RefusedNamesEndWithAnErrorAndWriteNothing)
{
    struct Case { std::string args; std::string error; fs::path untouched; };
    const fs::path out = dir / "out.pov";
    const Case cases[] = {
        {Quote(dir / "x.asc") + " " + Quote(out) + " -t", "ErrorMessage: Unsupported file type of asc", out},
        // "-x" is no option: x is the input, and the failed open saves nothing.
        {"-x " + Quote(out) + " -t", "ErrorMessage: Unsupported file type of   x", out},
        {Quote(dir / "missing.obj") + " /t", "ErrorMessage: Couldn't open file", ""},
        // The generic save writes no OBJ; unattended there is nobody to ask for another name.
        {Quote(kHouse) + " " + Quote(dir / "h.obj") + " -t", "ErrorMessage: Unsupported file type of obj",
         dir / "h.obj"},
        // A file without polygons, or a load that reported an error, writes nothing.
        {Quote(dir / "empty.obj") + " " + Quote(out) + " -t", "ErrorMessage: empty.obj: no polygons found", out},
        {Quote(dir / "cut.3ds") + " " + Quote(out) + " -t", "ErrorMessage: ", out},
    };
    testfiles::WriteAll(dir / "empty.obj", "v 1 2 3\n");
    // A chunk that claims more bytes than the file holds.
    testfiles::WriteAll(dir / "cut.3ds", std::string("\x4d\x4d\x00\x10\x00\x00\x3d\x3d\x00\x10\x00\x00", 12));
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(Run("trivex", c.args, &text), 1) << c.args;
        EXPECT_NE(text.find(c.error), std::string::npos) << c.args << "\n" << text;
        if (!c.untouched.empty()) {
            EXPECT_FALSE(fs::exists(c.untouched)) << c.args;
        }
    }
}

// A World Toolkit ".nff" opens as World Toolkit whichever way it is opened,
// as the converter reads it.
TEST_F(CommandLineTest, WorldToolkitByContent)
{
    const fs::path teapot = testfiles::CorpusDir("wtk") / "teapot.nff";
    if (!fs::exists(teapot))
        GTEST_SKIP() << "sample corpus not found at " << teapot.string();
    const fs::path pov = dir / "teapot.pov";
    std::string out;
    ASSERT_EQ(Run("trivex", Quote(teapot) + " " + Quote(pov) + " -t", &out), 0) << out;
    CModel model;
    ASSERT_TRUE(ReadModelFile(model, *FindFormat("wtk"), teapot.string()));
    EXPECT_GT(model.GetPolygonCount(), 3000);
    const fs::path expected = dir / "expected.pov";
    ASSERT_TRUE(WriteModelFile(model, *FindFormat("pov"), expected.string()));
    EXPECT_EQ(testfiles::ReadAll(pov), testfiles::ReadAll(expected));
}

// Every drawn pixel lies on a segment of its colour, and every segment is drawn.
TEST_F(CommandLineTest, PreviewPixelsMatchTheSegments)
{
    const fs::path png = dir / "house.png";
    std::string out;
    ASSERT_EQ(Run("trivex-convert", "--color walls=Blue --preview " + Quote(png) + " --preview-size 320x240 " +
                                        Quote(kHouse),
                  &out),
              0)
        << out;
    QImage image(QString::fromStdString(png.string()));
    ASSERT_EQ(image.size(), QSize(320, 240));

    CModel model;
    ASSERT_TRUE(OpenByName(model, kHouse));
    for (int i = 0; i < model.GetGroupCount(); ++i)
        if (model.GetGroup(i)->name == "walls")
            model.GetGroup(i)->colorIndex = FindColor("Blue");
    const std::vector<CSegment> segments = BuildWireframe(model, PixelScale(320, 240, model.m_zoom), {});
    ASSERT_FALSE(segments.empty());

    auto distance = [](const CSegment& s, double px, double py) {
        double ax = s.x0 + 160, ay = s.y0 + 120, bx = s.x1 + 160, by = s.y1 + 120;
        double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0.0;
        return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
    };
    int drawn = 0, stray = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb c = image.pixel(x, y);
            if (c == qRgb(255, 255, 255))
                continue;
            ++drawn;
            bool onSegment = false;
            for (const CSegment& s : segments)
                if (qRgb(s.red, s.green, s.blue) == c && distance(s, x, y) <= 1.0)
                    onSegment = true;
            stray += onSegment ? 0 : 1;
        }
    EXPECT_GT(drawn, 200);
    EXPECT_EQ(stray, 0);
    bool blue = false;
    for (const CSegment& s : segments) {
        int mx = (s.x0 + s.x1) / 2 + 160, my = (s.y0 + s.y1) / 2 + 120;
        bool found = false;
        for (int dy = -1; dy <= 1 && !found; ++dy)
            for (int dx = -1; dx <= 1 && !found; ++dx)
                found = image.valid(mx + dx, my + dy) &&
                        image.pixel(mx + dx, my + dy) != qRgb(255, 255, 255);
        EXPECT_TRUE(found) << s.x0 << "," << s.y0 << " " << s.x1 << "," << s.y1;
        blue = blue || (s.blue == 255 && s.red == 0);
    }
    EXPECT_TRUE(blue);  // the edit on the command line reached the picture
}

// A conversion does not load Qt, which only the preview module brings in; a
// converter whose module is missing says so and writes no picture.
TEST_F(CommandLineTest, OnlyThePreviewLoadsQt)
{
    const fs::path obj = dir / "house.obj", png = dir / "house.png";
    std::string out;
    ASSERT_EQ(Run("trivex-convert", "-q " + Quote(kHouse) + " " + Quote(obj), &out, "LD_DEBUG=libs "), 0)
        << out;
    EXPECT_NE(out.find("libc.so"), std::string::npos) << "the loader did not report the libraries";
    EXPECT_EQ(out.find("libQt6"), std::string::npos) << out;
    ASSERT_EQ(Run("trivex-convert", "--preview " + Quote(png) + " " + Quote(kHouse), &out, "LD_DEBUG=libs "),
              0)
        << out;
    EXPECT_NE(out.find("libQt6Gui"), std::string::npos);

    const fs::path alone = dir / "trivex-convert", lonePng = dir / "alone.png";
    fs::copy_file(fs::path(TRIVEX_BIN_DIR) / "trivex-convert", alone);
    EXPECT_EQ(testfiles::RunCommand(Quote(alone) + " --preview " + Quote(lonePng) + " " + Quote(kHouse), &out),
              1);
    EXPECT_NE(out.find("Couldn't load the preview module"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(lonePng));
}

}  // namespace
