#pragma once

#include "Model.h"
#include "RecordingModel.h"

// Small models that reach the writers' branches. Coordinates are simple
// numbers so that golden files are easy to check by eye.
namespace samples {

inline void Finish(CModel& model)
{
    model.CreateXRef();
    model.CalculateNormals();
}

// One group ("Red", Shiny) holding a tetrahedron.
inline void Tetrahedron(CModel& model)
{
    model.Clear(false);
    model.SetGroup("Red", FindColor("Red"), FindTexture("Shiny"));
    CVector a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(0, 0, 1);
    model.AddTriangle(a, c, b);
    model.AddTriangle(a, b, d);
    model.AddTriangle(a, d, c);
    model.AddTriangle(b, c, d);
    Finish(model);
}

// Several groups: a smooth one, a flat one holding a quadrilateral, an
// ignored one, an empty one, and a face with a slot that names no vertex.
inline void Assembly(CModel& model)
{
    model.Clear(false);
    model.SetGroup("Body", FindColor("Blue"), FindTexture("Metal"));
    model.SmoothCurrentGroup();
    const CVector p[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                          {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    for (const auto& f : faces)
        AddQuad(model, p[f[0]], p[f[1]], p[f[2]], p[f[3]]);

    model.SetGroup("Lid", FindColor("Green"), FindTexture("GlassFinish"));
    int32_t quad[4];
    quad[0] = model.AddVertex({-1, 2, -1}, true) + 1;
    quad[1] = model.AddVertex({1, 2, -1}, true) + 1;
    quad[2] = model.AddVertex({1, 2, 1}, true) + 1;
    quad[3] = model.AddVertex({-1, 2, 1}, true) + 1;
    model.AddFace(4, quad);
    int32_t broken[3] = {quad[0], quad[1], 0};
    model.AddFace(3, broken);

    model.SetGroup("Hidden", FindColor("Yellow"), FindTexture("Dull"));
    model.AddTriangle({3, 0, 0}, {4, 0, 0}, {3, 1, 0});
    model.m_currentGroup->active = 0;

    model.SetGroup("Empty", FindColor("White"), FindTexture("Mirror"));
    Finish(model);
}

}  // namespace samples
