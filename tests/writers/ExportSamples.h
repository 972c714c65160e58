#pragma once

#include <string>

#include "SampleModels.h"

// Further small models for the POV-Ray, OBJ, RAW, TPOLY and DXF exporters.
namespace exportsamples {

// One group holding one flat triangle.
inline void SingleTriangle(CModel& model)
{
    model.Clear(false);
    model.SetGroup("Tri", FindColor("White"), FindTexture("Dull"));
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    samples::Finish(model);
}

// Two groups whose names are `length` and 3 characters long.
inline void NamedGroups(CModel& model, int length)
{
    model.Clear(false);
    model.SetGroup(std::string(static_cast<size_t>(length), 'n').c_str(), FindColor("Gold"), FindTexture("Shiny"));
    model.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    model.SetGroup("abc", FindColor("Gold"), FindTexture("Shiny"));
    model.AddTriangle({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    samples::Finish(model);
}

// A tetrahedron group followed by a group whose only face repeats a corner,
// so that no triangle of it can be drawn.
inline void WithDegenerateGroup(CModel& model)
{
    samples::Tetrahedron(model);
    model.SetGroup("Sliver", FindColor("Blue"), FindTexture("Dull"));
    const int32_t repeated[3] = {1, 1, 2};
    model.AddFace(3, repeated);
    samples::Finish(model);
}

// A strip of `count` triangles in one group, large enough to overflow any
// stream buffer.
inline void Strip(CModel& model, int count)
{
    model.Clear(false);
    model.SetGroup("Strip", FindColor("Orange"), FindTexture("Shiny"));
    for (int i = 0; i < count; ++i) {
        float x = static_cast<float>(i);
        model.AddTriangle({x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0.5f});
    }
    samples::Finish(model);
}

// Sky and floor types the scene writer knows, 1 .. count (0 is none).
constexpr int kSkyTypes = 3;
constexpr int kFloorTypes = 6;

}  // namespace exportsamples
