#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// The group codes of one corner ("10", "20", "30" for the first) and its
// coordinates times the scale, each on a line of its own.
void WriteCorner(numberformat::CRecordOut& out, char corner, const CVector& v, double s)
{
    const char x[] = {'1', corner, '\n'}, y[] = {'2', corner, '\n'}, z[] = {'3', corner, '\n'};
    out.Text(x, 3).Fixed(v.x * s).Text("\n").Text(y, 3).Fixed(v.y * s).Text("\n").Text(z, 3).Fixed(v.z * s);
    out.Text("\n");
}

// Every face goes on layer 0; only its colour number tells the groups apart.
bool WriteGroup(CModel& model, numberformat::CRecordOut& out, const CGroup& group, double s)
{
    const ColorEntry& entry = GroupColor(group);
    const long color = NearestDxfColor(entry.red, entry.green, entry.blue);
    model.StatusMessage("Saving Group %s", group.name.c_str());
    WriteGroupTriangles(model, group, [&](const CVector& a, const CVector& b, const CVector& c) {
        // The colour, then A, B, C and C again as the fourth corner.
        out.Text("0\n3DFACE\n8\n0\n  62\n").Long(color).Text("\n");
        WriteCorner(out, '0', a, s);
        WriteCorner(out, '1', b, s);
        WriteCorner(out, '2', c, s);
        WriteCorner(out, '3', c, s);
        return true;
    });
    return out.Write();
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    numberformat::CRecordOut out(fp);
    if (!out.Text("0\nSECTION\n2\nHEADER\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n").Write())
        return false;
    model.StatusMessage("Saving Polygons");
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (group && group->active && group->polygons.GetCount() > 0 && !WriteGroup(model, out, *group, s))
            return false;
    }
    return out.Text("0\nENDSEC\n0\nEOF\n").Write();
}

}  // namespace

int WriteDxf(CModel& model, FILE* fp, double scale)
{
    model.StatusMessage("Saving Header");
    CWaitCursor wait(model);
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
