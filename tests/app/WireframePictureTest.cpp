#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>

#include "MainFrame.h"
#include "TestFiles.h"
#include "VexelDoc.h"
#include "VexelView.h"
#include "WireframePainter.h"

namespace fs = std::filesystem;

namespace {

// The bounding box of the pixels that differ from the white background, and
// their number.
QRect Ink(const QImage& image, int* count)
{
    QRect box;
    *count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                ++*count;
                box |= QRect(x, y, 1, 1);
            }
    return box;
}

// A sphere of radius 1 about the origin, the largest model a read leaves, in
// one group. A white one is what a DXF drawing on layer colour 7 becomes.
void AddSphere(CModel& model, const char* color)
{
    model.SetGroup((std::string("0_") + color).c_str(), FindColor(color), 0);
    constexpr int kRings = 24, kSectors = 48;
    auto point = [](int ring, int sector) {
        const double theta = M_PI * ring / kRings, phi = 2.0 * M_PI * sector / kSectors;
        return CVector(static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                       static_cast<float>(std::sin(theta) * std::sin(phi)));
    };
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSectors; ++s) {
            model.AddTriangle(point(r, s), point(r + 1, s), point(r + 1, s + 1));
            model.AddTriangle(point(r, s), point(r + 1, s + 1), point(r, s + 1));
        }
}

// The sphere seen at the default zoom: drawn (with more pixels than one line
// across), clear of the edges, and still filling most of the smaller side.
void ExpectFitted(const QImage& picture, const std::string& where)
{
    int count = 0;
    const QRect box = Ink(picture, &count);
    const int side = std::min(picture.width(), picture.height());
    EXPECT_GT(count, side) << where;
    EXPECT_TRUE(picture.rect().adjusted(side / 20, side / 20, -side / 20, -side / 20).contains(box))
        << where << ": drawn from (" << box.left() << ", " << box.top() << ") to (" << box.right() << ", "
        << box.bottom() << ") in " << picture.width() << "x" << picture.height();
    EXPECT_GT(std::min(box.width(), box.height()), side * 8 / 10) << where;
}

TEST(WireframePicture, SphereShowsWholeInWideAndTallPictures)
{
    for (const char* color : {"Red", "White"}) {
        CModel model;
        AddSphere(model, color);
        for (QSize size : {QSize(1200, 500), QSize(500, 1200), QSize(320, 240)})
            ExpectFitted(RenderWireframe(model, size, {}), std::string(color) + " sphere in " +
                                                               std::to_string(size.width()) + "x" +
                                                               std::to_string(size.height()));
    }
}

// The window and the printed page draw through the view: the same picture.
TEST(WireframePicture, WindowAndPageShowTheWhiteSphere)
{
    CVexelDoc doc;
    CMainFrame frame(doc);
    frame.resize(1200, 500);
    frame.show();
    CVexelView* view = frame.View();
    AddSphere(doc, "White");
    ExpectFitted(view->grab().toImage(), "window");

    QImage page(990, 700, QImage::Format_RGB32);  // an A4 page across
    page.fill(Qt::white);
    QPainter painter(&page);
    view->Draw(painter, page.size());
    painter.end();
    ExpectFitted(page, "page");
    doc.SetModified(false);
}

// Every model of the corpus that converts gives a --preview picture with the
// model in it, clear of the edges also when the picture is wide or tall.
TEST(WireframePicture, CorpusPreviewsShowTheWholeModel)
{
    TRIVEX_REQUIRE_CORPUS("dxf");
    std::vector<std::pair<fs::path, QSize>> cases;
    for (const fs::directory_entry& entry : fs::directory_iterator(testfiles::CorpusDir("dxf")))
        cases.emplace_back(entry.path(), QSize(400, 300));
    const fs::path jeep = testfiles::CorpusDir("3ds") / "jeep1.3ds";
    if (fs::exists(jeep)) {
        cases.emplace_back(jeep, QSize(760, 480));
        cases.emplace_back(jeep, QSize(300, 600));
    }
    const fs::path dir = fs::temp_directory_path() / ("trivex-preview-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    int convertedDxf = 0;
    for (const auto& [model, size] : cases) {
        const fs::path png = dir / (model.filename().string() + ".png");
        std::string out;
        const std::string command = "QT_QPA_PLATFORM=offscreen " + std::string(TRIVEX_BIN_DIR) +
                                    "/trivex-convert -q --preview '" + png.string() + "' --preview-size " +
                                    std::to_string(size.width()) + "x" + std::to_string(size.height()) + " '" +
                                    model.string() + "'";
        if (testfiles::RunCommand(command, &out) != 0)
            continue;  // a file the converter refuses (no polygons in it) draws nothing
        convertedDxf += model.parent_path() == testfiles::CorpusDir("dxf") ? 1 : 0;
        const QImage picture(QString::fromStdString(png.string()));
        ASSERT_EQ(picture.size(), size) << model;
        int count = 0;
        const QRect box = Ink(picture, &count);
        EXPECT_GT(count, 0) << model << " draws nothing";
        EXPECT_TRUE(picture.rect().adjusted(2, 2, -2, -2).contains(box)) << model << " touches the edge of "
                                                                         << size.width() << "x" << size.height();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    EXPECT_GE(convertedDxf, 8);  // the DXF files that hold polygons; four of them draw on white layers
}

}  // namespace
