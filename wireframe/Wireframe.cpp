#include "Wireframe.h"

#include <algorithm>
#include <cmath>

namespace {

// A one-pixel line weaker than this against its background is lost: white,
// yellow and the palest greys and tints on white. Saturated light colours such
// as cyan or green still read, and keep their own colour.
constexpr double kMinLineContrast = 1.25;

// Relative luminance of an sRGB colour, 0 for black to 1 for white.
double Luminance(CRgb c)
{
    auto linear = [](uint8_t byte) {
        const double v = byte / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

// Far beyond any surface; keeps the conversion to int defined for points
// that land next to the eye.
constexpr float kMaxCoordinate = 1.0e7f;

bool ToPixel(float value, int& out)
{
    if (!std::isfinite(value) || std::fabs(value) > kMaxCoordinate)
        return false;
    out = static_cast<int>(value);  // truncation toward zero
    return true;
}

uint8_t ColorByte(float component)
{
    float v = component * 255.0f + 0.5f;
    if (!(v > 0.0f))
        return 0;
    return v >= 255.0f ? 255 : static_cast<uint8_t>(v);
}

void AddLine(std::vector<CSegment>& out, const CVector& from, const CVector& to, int pixelScale, CRgb color)
{
    CSegment s;
    if (!ProjectPoint(from, pixelScale, s.x0, s.y0) || !ProjectPoint(to, pixelScale, s.x1, s.y1))
        return;
    s.red = color.red;
    s.green = color.green;
    s.blue = color.blue;
    out.push_back(s);
}

}  // namespace

int PixelScale(int width, int height, float zoom)
{
    const int side = std::min(std::abs(width), std::abs(height));
    float w = static_cast<float>(side) * zoom;
    int scale = 0;
    return ToPixel(w, scale) ? scale : 0;
}

double ContrastRatio(CRgb a, CRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

CRgb LineColor(CRgb wanted, CRgb background)
{
    if (ContrastRatio(wanted, background) >= kMinLineContrast)
        return wanted;
    const CRgb black{0, 0, 0}, white{255, 255, 255};
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

bool ProjectPoint(const CVector& point, int pixelScale, int& x, int& y)
{
    const float w = static_cast<float>(pixelScale);
    const float depth = point.z + 2.0f;
    if (!(depth > 0.0f))
        return false;
    return ToPixel(w * point.x / depth, x) && ToPixel(-(w * point.y / depth), y);
}

bool FacesViewer(const CPolygon& polygon, int pixelScale)
{
    const CVector* first = polygon.GetVertex(0);
    if (!first)
        return false;
    CVector toCorner = (*first - CVector(0.0f, 0.0f, 2.0f * static_cast<float>(pixelScale))).Normalize();
    return polygon.normal.Dot(toCorner) >= 0.0f;
}

std::vector<CSegment> BuildWireframe(const CModel& model, int pixelScale, const CWireframeSettings& settings)
{
    std::vector<CSegment> out;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        CRgb color;
        if (group->drawSelectedColor && group->colorIndex >= 0 && group->colorIndex < kColorCount) {
            const ColorEntry& c = ColorTable[group->colorIndex];
            color = CRgb{ColorByte(c.red), ColorByte(c.green), ColorByte(c.blue)};
        }
        color = LineColor(color, settings.background);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (!polygon)
                continue;
            if (settings.cullBackfaces && !FacesViewer(*polygon, pixelScale))
                continue;
            const int count = polygon->count < 0 ? 0 : (polygon->count > 4 ? 4 : polygon->count);
            for (int k = 0; k < count; ++k) {
                const CVector* from = polygon->GetVertex(k);
                const CVector* to = polygon->GetVertex(k + 1 < count ? k + 1 : 0);
                if (from && to)
                    AddLine(out, *from, *to, pixelScale, color);
            }
        }
    }
    if (settings.drawVertexNormals) {
        const CRgb green = LineColor(CRgb{0, 255, 0}, settings.background);
        const int n = std::min(model.m_vertexNormals.GetCount(), model.m_vertices.GetCount());
        for (int i = 0; i < n; ++i) {
            const CVector* p = model.m_vertices.GetAt(i);
            const CVector* normal = model.m_vertexNormals.GetAt(i);
            if (p && normal)
                AddLine(out, *p, *p + *normal, pixelScale, green);
        }
    }
    return out;
}
