#include <set>
#include <string>
#include <utility>

#include "Finishes.h"
#include "GroupMesh.h"
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

void WriteFace(numberformat::CRecordOut& line, const CPolygon& polygon, bool smooth, int normalCount)
{
    for (int i = 0; i < polygon.count && smooth; ++i)
        smooth = polygon.index[i] <= normalCount;
    // "f ", then "%ld//%ld " or "%ld " per corner, then "\n".
    line.Text("f ");
    for (int i = 0; i < polygon.count; ++i) {
        const long number = polygon.index[i];
        if (smooth)
            line.Long(number).Text("//");
        line.Long(number).Text(" ");
    }
    line.Text("\n");
}

// "<keyword> %6.5f %6.5f %6.5f\n". The width 6 never pads: five decimals
// and the point alone make six characters, the digit before the point a
// seventh.
template <size_t N>
void Coordinates(numberformat::CRecordOut& line, const char (&keyword)[N], double x, double y, double z)
{
    line.Text(keyword).Fixed(x, 5).Text(" ").Fixed(y, 5).Text(" ").Fixed(z, 5).Text("\n");
}

// `library`, when given, is the material file's name for "mtllib".
bool WriteAll(CModel& model, FILE* fp, double s, const std::string* library)
{
    // Records gather in one buffer that reaches the stream in large pieces.
    numberformat::CRecordOut out(fp);
    if (library)
        out.Text("mtllib ").Text(*library).Text("\n");
    for (int i = 0; i < model.GetVertexCount(); ++i) {
        // A vertex slot is never empty; the origin would stand in for one so
        // that the numbering below stays the model's.
        const CVector* v = model.m_vertices.GetAt(i);
        const CVector origin;
        if (!v)
            v = &origin;
        Coordinates(out, "v ", v->x * s, v->y * s, v->z * s);
    }
    if (!out.Write())
        return false;
    model.StatusMessage("Saving Normals");
    out.Text("\n\n");
    const int normalCount = LeadingNormalCount(model);
    for (int i = 0; i < normalCount; ++i) {
        const CVector* n = model.m_vertexNormals.GetAt(i);
        Coordinates(out, "vn ", n->x, n->y, n->z);
    }
    if (!out.Write())
        return false;
    model.StatusMessage("Saving Polygons");
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        out.Text("g ").Text(group->name).Text("\n");
        if (library)
            out.Text("usemtl ").Text(ObjMaterialName(*group)).Text("\n");
        if (!out.Write())
            return false;
        CGroupTally tally(model, *group);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (polygon && AllCornersResolve(*polygon) && tally.Keep(FanTriangleCount(*polygon)))
                WriteFace(out, *polygon, group->smooth, normalCount);
        }
    }
    return out.Write();
}

}  // namespace

int WriteObj(CModel& model, FILE* fp, double scale)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    return FinishWrite(model, fp, WriteAll(model, fp, scale, nullptr));
}

std::string ObjMaterialName(const CGroup& group)
{
    return std::string(GroupColor(group).name) + "_" + GroupTexture(group);
}

int WriteObjUsingLibrary(CModel& model, FILE* fp, double scale, const std::string& library)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    return FinishWrite(model, fp, WriteAll(model, fp, scale, &library));
}

int WriteObjLibrary(CModel& model, FILE* fp)
{
    model.StatusMessage("Saving Materials");
    numberformat::CRecordOut out(fp);
    // One material per colour and finish that an active group shows.
    std::set<std::pair<int, int>> written;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        const ColorEntry& color = GroupColor(*group);
        const int finish = FindTexture(GroupTexture(*group));
        if (!written.emplace(static_cast<int>(&color - ColorTable), finish).second)
            continue;
        const FinishLook& look = FinishLooks[finish];
        auto rgb = [&out](const char (&keyword)[4], const ColorEntry& c) {
            out.Text(keyword).Fixed(c.red).Text(" ").Fixed(c.green).Text(" ").Fixed(c.blue).Text("\n");
        };
        out.Text("newmtl ").Text(ObjMaterialName(*group)).Text("\n");
        rgb("Kd ", color);
        // Light of its own shows in the colour it gives off. Readers take a
        // black Ke for no light at all, so black gives off the least light a
        // byte per channel can say.
        if (look.emissive) {
            const bool black = color.red <= 0 && color.green <= 0 && color.blue <= 0;
            rgb("Ke ", black ? ColorEntry{nullptr, 1 / 255.0f, 1 / 255.0f, 1 / 255.0f} : color);
        }
        out.Text("d ").Fixed(look.alpha).Text("\n");
        out.Text("Pm ").Fixed(look.metallic).Text("\n");
        out.Text("Pr ").Fixed(look.roughness).Text("\n\n");
    }
    if (!out.Write() || !FlushChecked(fp)) {
        model.ErrorMessage("%s", kWriteErrorText);
        return 0;
    }
    return 1;
}
