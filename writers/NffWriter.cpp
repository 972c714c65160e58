// Neutral File Format of ray tracers: a fixed view and two lights, then per
// group a fill colour and its triangles, flat or with vertex normals.

#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// The vertex normal of 1-based vertex number n, or null when it has none.
const CVector* VertexNormal(const CModel& model, int n)
{
    return n >= 1 ? model.m_vertexNormals.GetAt(n - 1) : nullptr;
}

}  // namespace

int WriteNff(CModel& model, FILE* fp, double scale)
{
    // The scale arrives as a double and each product is formed in double.
    const double s = scale;
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");

    // The view and the lights are fixed; they do not follow the scale.
    Print(fp, "v\nfrom 0 2.0 2.0\nat 0 0 0\nup 0 1 0\nangle 40\nhither 1\nresolution 512 512\n");
    Print(fp, "l 0 5 0\n");
    Print(fp, "l 0 2.0 2.0\n");

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        const ColorEntry& color = GroupColor(*group);
        Print(fp, "f %f %f %f 1 0 0 0 0\n", color.red, color.green, color.blue);

        const bool smooth = group->smooth && model.m_smoothAngle > 0.0f;
        bool failed = false;
        for (int p = 0; p < group->polygons.GetCount() && !failed; ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (!polygon)
                continue;
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int na, int nb,
                                             int nc) {
                if (failed)
                    return;
                const CVector* an = smooth ? VertexNormal(model, na) : nullptr;
                const CVector* bn = smooth ? VertexNormal(model, nb) : nullptr;
                const CVector* cn = smooth ? VertexNormal(model, nc) : nullptr;
                if (an && bn && cn) {
                    Print(fp, "pp 3\n%f %f %f %f %f %f\n%f %f %f %f %f %f\n%f %f %f %f %f %f\n", a.x * s, a.y * s,
                          a.z * s, an->x, an->y, an->z, b.x * s, b.y * s, b.z * s, bn->x, bn->y, bn->z, c.x * s,
                          c.y * s, c.z * s, cn->x, cn->y, cn->z);
                } else {
                    failed = !PrintChecked(fp, "p 3\n%f %f %f\n%f %f %f\n%f %f %f\n", a.x * s, a.y * s, a.z * s,
                                           b.x * s, b.y * s, b.z * s, c.x * s, c.y * s, c.z * s);
                }
            });
        }
        if (failed) {
            model.ErrorMessage("%s", kWriteErrorText);
            return 0;
        }
    }

    // The writes above mostly land in the stream's buffer; only the flush
    // shows whether the file really took them.
    return FinishWrite(model, fp);
}
