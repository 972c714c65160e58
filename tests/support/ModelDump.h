#pragma once

#include <cstdio>
#include <string>

#include "Model.h"

// Every vertex (exactly) and every group with its faces, for comparing two
// reads of the same file.
inline std::string DumpModel(const CModel& model)
{
    std::string out;
    char line[96];
    for (int v = 0; v < model.GetVertexCount(); ++v) {
        const CVector* p = model.m_vertices.GetAt(v);
        std::snprintf(line, sizeof line, "v %a %a %a\n", p->x, p->y, p->z);
        out += line;
    }
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        out += "g " + group->name + " " + std::to_string(group->colorIndex) + " " + std::to_string(group->smooth);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            out += " |";
            for (int k = 0; k < polygon->count && k < 4; ++k)
                out += " " + std::to_string(polygon->index[k]);
        }
        out += "\n";
    }
    return out;
}
