#include <algorithm>
#include <cctype>

#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// The RAW reader takes a line starting with a digit or a minus sign for
// numbers and ends a bare name at its first blank, so such names are quoted;
// a quoted name reads back whole. Names that already hold a quote cannot be
// quoted and go out as they are.
bool NeedsQuotes(const std::string& name)
{
    if (name.empty() || name.find('"') != std::string::npos)
        return false;
    const unsigned char first = static_cast<unsigned char>(name[0]);
    if (std::isdigit(first) || first == '-')
        return true;
    return std::any_of(name.begin(), name.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

bool WriteGroupName(numberformat::CRecordOut& line, const std::string& name)
{
    if (NeedsQuotes(name))
        line.Text("\"").Text(name).Text("\"\n");
    else
        line.Text(name).Text("\n");
    return line.Write();
}

bool WriteTriangles(const CModel& model, numberformat::CRecordOut& line, const CGroup& group, double s)
{
    WriteGroupTriangles(model, group, [&](const CVector& a, const CVector& b, const CVector& c) {
        // "%g %g %g %g %g %g %g %g %g\n": A, B and C times the scale.
        line.General(a.x * s).Text(" ").General(a.y * s).Text(" ").General(a.z * s).Text(" ");
        line.General(b.x * s).Text(" ").General(b.y * s).Text(" ").General(b.z * s).Text(" ");
        line.General(c.x * s).Text(" ").General(c.y * s).Text(" ").General(c.z * s).Text("\n");
        return true;
    });
    return line.Write();
}

bool WriteAll(CModel& model, FILE* fp, double s)
{
    numberformat::CRecordOut line(fp);
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!group || !group->active)
            continue;
        if (model.m_rawGroups && !WriteGroupName(line, group->name))
            return false;
        if (group->polygons.GetCount() == 0)
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        if (!WriteTriangles(model, line, *group, s))
            return false;
    }
    return true;
}

}  // namespace

int WriteRaw(CModel& model, FILE* fp, double scale)
{
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");
    return FinishWrite(model, fp, WriteAll(model, fp, scale));
}
