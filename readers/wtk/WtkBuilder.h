#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Model.h"

// The parser's actions: one vertex list per object, each polygon a fan of
// triangles in a group named after its object and its colour. Operations that
// allocate return false when memory runs out; the parse should then stop.
class CWtkBuilder
{
public:
    explicit CWtkBuilder(CModel& model) : m_model(model), m_numbers(model, m_vertices) {}

    bool StartObject(const char* name);
    bool AddVertex(double x, double y, double z);
    bool AddCorner(int32_t index);
    // 0xRGB with 4 bits per component, or with `longForm` 0xRRGGBB with 8.
    void SetPolygonColor(uint32_t value, bool longForm);
    bool EndPolygon();
    void EndFile();

    // Triangles left out because a corner number named no vertex of its object.
    long SkippedTriangles() const { return m_skipped; }
    bool OutOfMemory() const { return m_outOfMemory; }

private:
    bool FailMemory();

    CModel& m_model;
    std::vector<CVector> m_vertices;
    std::vector<int32_t> m_corners;
    CMeshPoints m_numbers;  // of m_vertices, declared after it
    std::string m_objectName;
    float m_color[3] = {0, 0, 0};
    float m_lastColor[3] = {0, 0, 0};
    bool m_lastColorValid = false;
    long m_skipped = 0;
    bool m_outOfMemory = false;
};
