#pragma once

#include <cstdint>
#include <vector>

#include "Model.h"

// One line of the wireframe picture in logical pixels: (0, 0) is the centre
// of the drawing surface, y grows downwards.
struct CSegment
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uint8_t red = 0, green = 0, blue = 0;

    bool operator==(const CSegment&) const = default;
};

struct CRgb
{
    uint8_t red = 0, green = 0, blue = 0;

    bool operator==(const CRgb&) const = default;
};

// What the view's preferences change about the picture, and the surface it
// is drawn on.
struct CWireframeSettings
{
    bool drawVertexNormals = false;
    bool cullBackfaces = false;
    CRgb background{255, 255, 255};
};

// Pixels per model unit on a surface of width x height pixels. The smaller
// side decides, so that the model's bounding sphere fits either way round.
int PixelScale(int width, int height, float zoom);

// Luminance contrast of two colours, from 1 (the same brightness) to 21
// (black against white).
double ContrastRatio(CRgb a, CRgb b);

// The colour a line of `wanted` is drawn in on `background`: itself, or,
// when it would hardly show there (a white layer on the white view), black or
// white, whichever stands out more.
CRgb LineColor(CRgb wanted, CRgb background);

// Perspective from an eye at z = -2 looking toward +z. False when the point
// cannot be projected to a sane pixel (behind the eye, or not finite).
bool ProjectPoint(const CVector& point, int pixelScale, int& x, int& y);

// Back-face test: true when the polygon's normal faces the viewer.
bool FacesViewer(const CPolygon& polygon, int pixelScale);

// The whole picture: each active group's outlines in its table colour (black
// when it is not drawn in its own colour), then the vertex normals in green;
// every colour as LineColor gives it on the settings' background.
std::vector<CSegment> BuildWireframe(const CModel& model, int pixelScale, const CWireframeSettings& settings);
