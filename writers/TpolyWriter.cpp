#include <algorithm>

#include "WriteCheck.h"
#include "Writers.h"

namespace {

bool WriteTriangles(FILE* fp, const CGroup& group, double s)
{
    for (int p = 0; p < group.polygons.GetCount(); ++p) {
        const CPolygon* polygon = group.polygons.GetAt(p);
        if (!polygon)
            continue;
        const int corners = std::min<int>(polygon->count, 4);
        for (int k = 2; k < corners; ++k) {
            const CVector* a = polygon->GetVertex(0);
            const CVector* b = polygon->GetVertex(k - 1);
            const CVector* c = polygon->GetVertex(k);
            if (!a || !b || !c)
                continue;
            if (!PrintChecked(fp, "3\n%f %f %f\n%f %f %f\n%f %f %f\n", a->x * s, a->y * s, a->z * s, b->x * s,
                              b->y * s, b->z * s, c->x * s, c->y * s, c->z * s))
                return false;
        }
    }
    return true;
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
    if (!WriteAll(model, fp, scale) || !FlushChecked(fp)) {
        model.ErrorMessage(kWriteErrorText);
        return 0;
    }
    model.StatusMessage("File Saved");
    model.SetModified(false);
    return 1;
}
