#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

bool WriteTriangles(FILE* fp, const CGroup& group, double s)
{
    return WriteGroupTriangles(group, [&](const CVector& a, const CVector& b, const CVector& c) {
        return PrintChecked(fp, "3\n%f %f %f\n%f %f %f\n%f %f %f\n", a.x * s, a.y * s, a.z * s, b.x * s, b.y * s,
                            b.z * s, c.x * s, c.y * s, c.z * s);
    });
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active || group->polygons.GetCount() == 0)
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        if (!WriteTriangles(fp, *group, s))
            return false;
    }
    return true;
}

}  // namespace

int WriteTpoly(CModel& model, FILE* fp, double scale)
{
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
