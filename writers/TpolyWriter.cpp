#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// "%f %f %f\n" of a point times the scale.
void Coordinates(numberformat::CRecordOut& line, const CVector& v, double s)
{
    line.Fixed(v.x * s).Text(" ").Fixed(v.y * s).Text(" ").Fixed(v.z * s).Text("\n");
}

bool WriteTriangles(const CModel& model, FILE* fp, const CGroup& group, double s)
{
    numberformat::CRecordOut line(fp);
    WriteGroupTriangles(model, group, [&](const CVector& a, const CVector& b, const CVector& c) {
        line.Text("3\n");
        Coordinates(line, a, s);
        Coordinates(line, b, s);
        Coordinates(line, c, s);
        return true;
    });
    return line.Write();
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active || group->polygons.GetCount() == 0)
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        if (!WriteTriangles(model, fp, *group, s))
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
