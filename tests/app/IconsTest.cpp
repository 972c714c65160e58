#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>

#include "CommandIds.h"
#include "Icons.h"

namespace {

// The three mirror buttons sit side by side; at the toolbar's size each must be
// told from the others at a glance, not by a few pixels of a letter.
TEST(Icons, MirrorButtonsDifferAtToolbarSize)
{
    const int commands[] = {ID_MIRROR_X, ID_MIRROR_Y, ID_MIRROR_Z};
    QImage images[3];
    for (int i = 0; i < 3; ++i) {
        images[i] = ToolIcon(commands[i]).pixmap(20, 20).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(images[i].size(), QSize(20, 20)) << i;
    }
    auto distance = [](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
               std::abs(qAlpha(p) - qAlpha(q));
    };
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b) {
            int drawn = 0, different = 0;  // of the pixels either icon covers
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 20; ++x) {
                    const QRgb pa = images[a].pixel(x, y), pb = images[b].pixel(x, y);
                    if (std::max(qAlpha(pa), qAlpha(pb)) < 64)
                        continue;
                    ++drawn;
                    different += distance(pa, pb) > 96 ? 1 : 0;
                }
            EXPECT_GT(drawn, 40) << a << " " << b;
            EXPECT_GT(different * 2, drawn) << "icons " << a << " and " << b << ": " << different << " of " << drawn
                                            << " pixels differ";
        }
}

}  // namespace
