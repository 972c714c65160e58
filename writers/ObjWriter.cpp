#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Normals are written for the vertices that have one, from the first vertex
// up to the first without one, so that normal k always belongs to vertex k
// and a face may name k//k only while k lies in that run.
int LeadingNormalCount(const CModel& model)
{
    int count = 0;
    while (count < model.GetVertexCount() && model.m_vertexNormals.GetAt(count))
        ++count;
    return count;
}

// Every corner names a stored vertex. A face with a corner that does not is
// left out: any number written in its place would point at another vertex.
bool AllCornersResolve(const CPolygon& polygon)
{
    if (polygon.count < 3 || polygon.count > 4)
        return false;
    for (int i = 0; i < polygon.count; ++i)
        if (!polygon.GetVertex(i))
            return false;
    return true;
}

bool WriteFace(FILE* fp, const CPolygon& polygon, bool smooth, int normalCount)
{
    for (int i = 0; i < polygon.count && smooth; ++i)
        smooth = polygon.index[i] <= normalCount;
    // "f ", then "%ld//%ld " or "%ld " per corner, then "\n", in one write.
    numberformat::CRecordOut line(fp);
    line.Text("f ");
    for (int i = 0; i < polygon.count; ++i) {
        const long number = polygon.index[i];
        if (smooth)
            line.Long(number).Text("//");
        line.Long(number).Text(" ");
    }
    return line.Text("\n").Write();
}

// "<keyword> %6.5f %6.5f %6.5f\n" in one write. The width 6 never pads: five
// decimals and the point alone make six characters, the digit before the
// point a seventh.
template <size_t N>
bool Coordinates(FILE* fp, const char (&keyword)[N], double x, double y, double z)
{
    numberformat::CRecordOut line(fp);
    return line.Text(keyword).Fixed(x, 5).Text(" ").Fixed(y, 5).Text(" ").Fixed(z, 5).Text("\n").Write();
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    for (int i = 0; i < model.GetVertexCount(); ++i) {
        // A vertex slot is never empty; the origin would stand in for one so
        // that the numbering below stays the model's.
        const CVector* v = model.m_vertices.GetAt(i);
        const CVector origin;
        if (!v)
            v = &origin;
        if (!Coordinates(fp, "v ", v->x * s, v->y * s, v->z * s))
            return false;
    }

    model.StatusMessage("Saving Normals");
    std::fputs("\n\n", fp);
    const int normalCount = LeadingNormalCount(model);
    for (int i = 0; i < normalCount; ++i) {
        const CVector* n = model.m_vertexNormals.GetAt(i);
        if (!Coordinates(fp, "vn ", n->x, n->y, n->z))
            return false;
    }

    model.StatusMessage("Saving Polygons");
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        if (!PrintChecked(fp, "g %s\n", group->name.c_str()))
            return false;
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (polygon && AllCornersResolve(*polygon) && !WriteFace(fp, *polygon, group->smooth, normalCount))
                return false;
        }
    }
    return true;
}

}  // namespace

int WriteObj(CModel& model, FILE* fp, double scale)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
