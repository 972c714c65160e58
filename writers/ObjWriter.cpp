#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Finishes.h"
#include "GroupMesh.h"
#include "Pipeline.h"
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

// A stretch of the file: its text, then the lines of records [first, last)
// of one kind. Stretches are made on either processor and written in order
// (see CPipeline); making the lines is most of a save's work.
struct CObjStretch
{
    enum class EKind { kVertices, kNormals, kFaces };
    EKind kind = EKind::kVertices;
    const CModel* model = nullptr;
    const CGroup* group = nullptr;
    // The group's tally of a checked save, whose stretches are then made in
    // order; null otherwise.
    CGroupTally* tally = nullptr;
    int first = 0, last = 0;
    double scale = 1.0;
    int normalCount = 0;
    std::string heading;
    const char* status = nullptr;  // said before the stretch is written
    std::string text;

    void Parse()
    {
        text.clear();
        numberformat::CRecordOut out(text);
        out.Text(heading);
        for (int i = first; i < last; ++i) {
            if (kind == EKind::kVertices) {
                // A vertex slot is never empty; the origin would stand in for
                // one so that the numbering below stays the model's.
                const CVector* v = model->m_vertices.GetAt(i);
                const CVector origin;
                if (!v)
                    v = &origin;
                Coordinates(out, "v ", v->x * scale, v->y * scale, v->z * scale);
            } else if (kind == EKind::kNormals) {
                const CVector* n = model->m_vertexNormals.GetAt(i);
                Coordinates(out, "vn ", n->x, n->y, n->z);
            } else {
                const CPolygon* polygon = group->polygons.GetAt(i);
                if (polygon && AllCornersResolve(*polygon) && (!tally || tally->Keep(FanTriangleCount(*polygon))))
                    WriteFace(out, *polygon, group->smooth, normalCount);
            }
        }
        out.Write();
    }
};

// The file's stretches, in order.
std::vector<CObjStretch> Stretches(const CModel& model, double s, const std::string* library, bool tallied,
                                   std::vector<std::unique_ptr<CGroupTally>>& tallies)
{
    constexpr int kRecords = 8192;
    const int normalCount = LeadingNormalCount(model);
    std::vector<CObjStretch> stretches;
    auto add = [&](CObjStretch::EKind kind, int count, std::string heading, const char* status,
                   const CGroup* group = nullptr) {
        for (int first = 0; first == 0 || first < count; first += kRecords) {
            CObjStretch& stretch = stretches.emplace_back();
            stretch.kind = kind;
            stretch.model = &model;
            stretch.group = group;
            stretch.tally = group && tallied ? tallies.back().get() : nullptr;
            stretch.first = first;
            stretch.last = std::min(count, first + kRecords);
            stretch.scale = s;
            stretch.normalCount = normalCount;
            if (first == 0) {
                stretch.heading = std::move(heading);
                stretch.status = status;
            }
        }
    };
    add(CObjStretch::EKind::kVertices, model.GetVertexCount(), library ? "mtllib " + *library + "\n" : "", nullptr);
    add(CObjStretch::EKind::kNormals, normalCount, "\n\n", "Saving Normals");
    const char* status = "Saving Polygons";
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        if (tallied)
            tallies.push_back(std::make_unique<CGroupTally>(model, *group));
        std::string heading = "g " + group->name + "\n";
        if (library)
            heading += "usemtl " + ObjMaterialName(*group) + "\n";
        add(CObjStretch::EKind::kFaces, group->polygons.GetCount(), std::move(heading), status, group);
        status = nullptr;
    }
    return stretches;
}

// `library`, when given, is the material file's name for "mtllib". 1 when
// written, 0 when the stream refused some of it, -1 after a message.
int WriteAll(CModel& model, FILE* fp, double s, const std::string* library)
{
    try {
        // A checked save counts its triangles in file order, so its stretches
        // are made one after the other.
        const bool tallied = model.m_writeTally != nullptr;
        std::vector<std::unique_ptr<CGroupTally>> tallies;
        const std::vector<CObjStretch> plan = Stretches(model, s, library, tallied, tallies);
        size_t next = 0;
        CPipeline<CObjStretch> pipeline(
            [&](CObjStretch& stretch) {
                if (next == plan.size())
                    return CPieceRead::kEnd;
                std::string text = std::move(stretch.text);  // keeps its room
                stretch = plan[next++];
                stretch.text = std::move(text);
                return next == plan.size() ? CPieceRead::kLastPiece : CPieceRead::kPiece;
            },
            !tallied && model.MayUseHelperThread());
        numberformat::CRecordOut out(fp);
        while (const CObjStretch* stretch = pipeline.Take()) {
            if (stretch->status)
                model.StatusMessage("%s", stretch->status);
            if (!out.Text(stretch->text).Write())
                return 0;
        }
        return 1;
    } catch (const std::bad_alloc&) {
        model.ErrorMessage("Out of Memory");
        return -1;
    }
}

}  // namespace

int WriteObj(CModel& model, FILE* fp, double scale)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    const int written = WriteAll(model, fp, scale, nullptr);
    return written < 0 ? 0 : FinishWrite(model, fp, written > 0);
}

std::string ObjMaterialName(const CGroup& group)
{
    return std::string(GroupColor(group).name) + "_" + GroupTexture(group);
}

int WriteObjUsingLibrary(CModel& model, FILE* fp, double scale, const std::string& library)
{
    model.StatusMessage("Saving Vertices");
    CWaitCursor wait(model);
    const int written = WriteAll(model, fp, scale, &library);
    return written < 0 ? 0 : FinishWrite(model, fp, written > 0);
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
