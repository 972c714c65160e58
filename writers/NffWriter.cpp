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

// "%f %f %f" of a point times the scale.
numberformat::CRecordOut& Coordinates(numberformat::CRecordOut& out, const CVector& v, double s)
{
    return out.Fixed(v.x * s).Text(" ").Fixed(v.y * s).Text(" ").Fixed(v.z * s);
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    numberformat::CRecordOut out(fp);
    // The view and the lights are fixed; they do not follow the scale.
    out.Text("v\nfrom 0 2.0 2.0\nat 0 0 0\nup 0 1 0\nangle 40\nhither 1\nresolution 512 512\n"
             "l 0 5 0\n"
             "l 0 2.0 2.0\n");

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        const ColorEntry& color = GroupColor(*group);
        out.Text("f ").Fixed(color.red).Text(" ").Fixed(color.green).Text(" ").Fixed(color.blue);
        out.Text(" 1 0 0 0 0\n");

        const bool smooth = group->smooth && model.m_smoothAngle > 0.0f;
        CGroupTally tally(model, *group);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (!polygon)
                continue;
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int na, int nb,
                                             int nc) {
                if (!tally.Keep())
                    return;
                const CVector* an = smooth ? VertexNormal(model, na) : nullptr;
                const CVector* bn = smooth ? VertexNormal(model, nb) : nullptr;
                const CVector* cn = smooth ? VertexNormal(model, nc) : nullptr;
                if (an && bn && cn) {
                    // "pp 3\n", then per corner "%f %f %f %f %f %f\n": the point and its normal.
                    out.Text("pp 3\n");
                    Coordinates(Coordinates(out, a, s).Text(" "), *an, 1.0).Text("\n");
                    Coordinates(Coordinates(out, b, s).Text(" "), *bn, 1.0).Text("\n");
                    Coordinates(Coordinates(out, c, s).Text(" "), *cn, 1.0).Text("\n");
                } else {
                    // "p 3\n", then "%f %f %f\n" per corner.
                    out.Text("p 3\n");
                    Coordinates(out, a, s).Text("\n");
                    Coordinates(out, b, s).Text("\n");
                    Coordinates(out, c, s).Text("\n");
                }
            });
        }
        if (!out.Write())
            return false;
    }
    return out.Write();
}

}  // namespace

int WriteNff(CModel& model, FILE* fp, double scale)
{
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");
    // The records mostly land in the stream's buffer; only the final flush
    // shows whether the file really took them.
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
