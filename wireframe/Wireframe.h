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

// What the view's preferences change about the picture.
struct CWireframeSettings
{
    bool drawVertexNormals = false;
    bool cullBackfaces = false;
};

// Pixels per model unit on a surface `width` pixels wide.
int PixelScale(int width, float zoom);

// Perspective from an eye at z = -2 looking toward +z. False when the point
// cannot be projected to a sane pixel (behind the eye, or not finite).
bool ProjectPoint(const CVector& point, int pixelScale, int& x, int& y);

// Back-face test: true when the polygon's normal faces the viewer.
bool FacesViewer(const CPolygon& polygon, int pixelScale);

// The whole picture: each active group's outlines in its table colour (black
// when it is not drawn in its own colour), then the vertex normals in green.
std::vector<CSegment> BuildWireframe(const CModel& model, int pixelScale, const CWireframeSettings& settings);
