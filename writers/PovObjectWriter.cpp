#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "GroupNames.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Corners a face really holds; faces never carry more than four slots.
int CornerCount(const CPolygon& polygon)
{
    return std::clamp<int>(polygon.count, 0, 4);
}

// A fan triangle POV-Ray can draw: all three corners resolve and no two
// coincide.
bool Drawable(const CVector* a, const CVector* b, const CVector* c)
{
    return a && b && c && *a != *b && *b != *c && *c != *a;
}

// Whether at least one of the group's fan triangles will be written. A group
// without one would leave an object or union with no shape in it, which
// POV-Ray refuses to parse, so such groups are left out like empty ones.
bool HasDrawableTriangle(const CGroup& group)
{
    for (int p = 0; p < group.polygons.GetCount(); ++p) {
        const CPolygon* polygon = group.polygons.GetAt(p);
        if (!polygon)
            continue;
        for (int k = 2; k < CornerCount(*polygon); ++k)
            if (Drawable(polygon->GetVertex(0), polygon->GetVertex(k - 1), polygon->GetVertex(k)))
                return true;
    }
    return false;
}

bool Written(const CGroup* group)
{
    return group && group->active && group->polygons.GetCount() > 0 && HasDrawableTriangle(*group);
}

const CVector* VertexNormal(const CModel& model, int number)
{
    if (number < 1 || number > model.m_vertexNormals.GetCount())
        return nullptr;
    return model.m_vertexNormals.GetAt(number - 1);
}

// Writes one group's triangles at depth d + 1; false on a write error.
bool WriteGroupTriangles(CModel& model, const CGroup& group, FILE* fp, double s, int d)
{
    // Each triangle goes out in one write, its indentation part of the format.
    const std::string in1(static_cast<size_t>(d + 1), '\t'), in2(static_cast<size_t>(d + 2), '\t');
    const std::string flatFormat = in1 + "triangle {\n" + in2 + "<%f, %f, %f>,\n" + in2 + "<%f, %f, %f>,\n" + in2 +
                                   "< %f, %f, %f>\n" + in1 + "}\n";
    const std::string smoothFormat = in1 + "smooth_triangle {\n" + in2 + "<%f, %f, %f>, <%f, %f, %f>,\n" + in2 +
                                     "<%f, %f, %f>, <%f, %f, %f>,\n" + in2 + "<%f, %f, %f>, <%f, %f, %f>\n" + in1 +
                                     "}\n";
    for (int p = 0; p < group.polygons.GetCount(); ++p) {
        const CPolygon* polygon = group.polygons.GetAt(p);
        if (!polygon)
            continue;
        for (int k = 2; k < CornerCount(*polygon); ++k) {
            const int slot[3] = {0, k - 1, k};
            const CVector* v[3];
            const CVector* n[3];
            for (int i = 0; i < 3; ++i) {
                v[i] = polygon->GetVertex(slot[i]);
                n[i] = VertexNormal(model, polygon->index[slot[i]]);
            }
            if (!Drawable(v[0], v[1], v[2]))
                continue;
            bool smooth = model.m_smoothAngle > 0.0f && group.smooth && n[0] && n[1] && n[2];

            bool ok;
            if (smooth)
                ok = PrintChecked(fp, smoothFormat.c_str(), v[0]->x * s, v[0]->y * s, v[0]->z * s,
                                  static_cast<double>(n[0]->x), static_cast<double>(n[0]->y),
                                  static_cast<double>(n[0]->z), v[1]->x * s, v[1]->y * s, v[1]->z * s,
                                  static_cast<double>(n[1]->x), static_cast<double>(n[1]->y),
                                  static_cast<double>(n[1]->z), v[2]->x * s, v[2]->y * s, v[2]->z * s,
                                  static_cast<double>(n[2]->x), static_cast<double>(n[2]->y),
                                  static_cast<double>(n[2]->z));
            else
                ok = PrintChecked(fp, flatFormat.c_str(), v[0]->x * s, v[0]->y * s, v[0]->z * s, v[1]->x * s,
                                  v[1]->y * s, v[1]->z * s, v[2]->x * s, v[2]->y * s, v[2]->z * s);
            if (!ok)
                return false;
        }
    }
    return true;
}

// POV-Ray identifiers hold letters, digits and "_" only; the writer puts "_"
// in front of each name, so a name may also start with a digit.
std::vector<std::string> IdentifierNames(const CModel& model)
{
    return FormatGroupNames(model, Written, [](const std::string& name, int) {
        return ReplaceDisallowed(name, [](unsigned char c) { return std::isalnum(c) || c == '_'; });
    });
}

// Everything after the texture declarations; false on a write error.
bool WriteObjectBody(CModel& model, FILE* fp, double s, const std::vector<std::string>& names)
{
    if (!PrintChecked(fp, "\n\n// This object has the following minimum and maximum values:\n") ||
        !PrintChecked(fp, "// xmin=%f, xmax=%f\n", model.m_min[0] * s, model.m_max[0] * s) ||
        !PrintChecked(fp, "// ymin=%f, ymax=%f\n", model.m_min[1] * s, model.m_max[1] * s) ||
        !PrintChecked(fp, "// zmin=%f, zmax=%f\n\n", model.m_min[2] * s, model.m_max[2] * s))
        return false;

    // With one group the outer object holds that group alone; when it is
    // not written the object would be empty, which does not parse, so the
    // include then holds the declarations only. An empty outer union does
    // parse and is kept.
    if (model.GetGroupCount() == 1 && !Written(model.GetGroup(0)))
        return true;

    int d = 1;
    if (!PrintChecked(fp, "object {\n"))
        return false;
    if (model.GetGroupCount() != 1) {
        CModel::Indent(fp, 1);
        if (!PrintChecked(fp, "union {\n"))
            return false;
        d = 2;
    }

    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!Written(group))
            continue;
        const char* name = names[g].c_str();
        model.StatusMessage("Saving Group %s", group->name.c_str());
        CModel::Indent(fp, d);
        if (!PrintChecked(fp, "// _%s\n", name))
            return false;
        const CPolygon* first = group->polygons.GetAt(0);
        bool many = group->polygons.GetCount() >= 2 || (first && first->count > 3);
        CModel::Indent(fp, d);
        if (!PrintChecked(fp, "%s", many ? "union {\n" : "object {\n"))
            return false;
        if (!WriteGroupTriangles(model, *group, fp, s, d))
            return false;
        CModel::Indent(fp, d + 1);
        if (!PrintChecked(fp, "texture{_%s}\n", name))
            return false;
        CModel::Indent(fp, d);
        if (!PrintChecked(fp, "}\n"))
            return false;
    }

    if (d == 2) {
        CModel::Indent(fp, 1);
        if (!PrintChecked(fp, "}\n"))
            return false;
    }
    return PrintChecked(fp, "}\n");
}

}  // namespace

int WritePovObject(CModel& model, FILE* fp, double scale)
{
    if (model.GetGroupCount() == 0) {
        // Nothing of ours to write, but a scene header may still sit in the
        // buffer.
        return FinishWrite(model, fp);
    }

    model.ComputeRange();
    model.StatusMessage("Saving Textures");
    CWaitCursor wait(model);

    // The finish and the declarations are not checked one by one; the final
    // flush catches a failure among them.
    std::fputs("// Add a glass finish\n", fp);
    std::fputs("#declare GlassFinish = finish {", fp);
    std::fputs("\tShiny ambient 0 diffuse 0\n", fp);
    std::fputs("\treflection 0.1 refraction 1 ior 1.5\n", fp);
    std::fputs("}\n\n", fp);
    std::fputs("// Object converted to POVRay V2.2 by TRIVEX V2.7\n", fp);
    const std::vector<std::string> names = IdentifierNames(model);
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!Written(group))
            continue;
        Print(fp,
                     group->textureIndex == 1 ? "#declare _%s = texture {pigment {color %s filter 0.5} finish {%s}}\n"
                                              : "#declare _%s = texture {pigment {color %s} finish {%s}}\n",
                     names[g].c_str(), GroupColor(*group).name, GroupTexture(*group));
    }

    return FinishWrite(model, fp, WriteObjectBody(model, fp, scale, names));
}
