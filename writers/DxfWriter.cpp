#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Every face goes on layer 0; only its colour number tells the groups apart.
bool WriteFace(FILE* fp, int color, const CVector& a, const CVector& b, const CVector& c, double s)
{
    // One write per face: the colour, then A, B, C and C again as the fourth corner.
    return PrintChecked(fp,
                        "0\n3DFACE\n8\n0\n  62\n%d\n"
                        "10\n%f\n20\n%f\n30\n%f\n"
                        "11\n%f\n21\n%f\n31\n%f\n"
                        "12\n%f\n22\n%f\n32\n%f\n"
                        "13\n%f\n23\n%f\n33\n%f\n",
                        color, a.x * s, a.y * s, a.z * s, b.x * s, b.y * s, b.z * s, c.x * s, c.y * s, c.z * s,
                        c.x * s, c.y * s, c.z * s);
}

bool WriteGroup(CModel& model, FILE* fp, const CGroup& group, double s)
{
    const ColorEntry& entry = GroupColor(group);
    const int color = NearestDxfColor(entry.red, entry.green, entry.blue);
    model.StatusMessage("Saving Group %s", group.name.c_str());
    return WriteGroupTriangles(
        group, [&](const CVector& a, const CVector& b, const CVector& c) { return WriteFace(fp, color, a, b, c, s); });
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    if (!PrintChecked(fp, "0\nSECTION\n2\nHEADER\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"))
        return false;
    model.StatusMessage("Saving Polygons");
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (group && group->active && group->polygons.GetCount() > 0 && !WriteGroup(model, fp, *group, s))
            return false;
    }
    return PrintChecked(fp, "0\nENDSEC\n0\nEOF\n");
}

}  // namespace

int WriteDxf(CModel& model, FILE* fp, double scale)
{
    model.StatusMessage("Saving Header");
    CWaitCursor wait(model);
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
