#pragma once

#include <QImage>
#include <QPainter>
#include <vector>

#include "Wireframe.h"

// Draws the segments with one-pixel pens, logical (0, 0) at `origin`.
void PaintSegments(QPainter& painter, const std::vector<CSegment>& segments, QPoint origin);

// The picture the window shows for a client area of `size`, on the settings'
// background.
QImage RenderWireframe(const CModel& model, QSize size, const CWireframeSettings& settings);
