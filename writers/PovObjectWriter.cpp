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
    return a && b && c && !a->IsNear(*b) && !b->IsNear(*c) && !c->IsNear(*a);
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

// Tab characters for indentation up to the deepest level written.
void Indent(numberformat::CRecordOut& out, int depth)
{
    static constexpr char kTabs[] = "\t\t\t\t";
    out.Text(kTabs, static_cast<size_t>(std::clamp(depth, 0, 4)));
}

// "%f, %f, %f" of a point times the scale.
numberformat::CRecordOut& Coordinates(numberformat::CRecordOut& out, const CVector& v, double s)
{
    return out.Fixed(v.x * s).Text(", ").Fixed(v.y * s).Text(", ").Fixed(v.z * s);
}

// One group's triangles at depth d + 1.
void WriteGroupTriangles(CModel& model, const CGroup& group, numberformat::CRecordOut& out, double s, int d)
{
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
            const bool smooth = model.m_smoothAngle > 0.0f && group.smooth && n[0] && n[1] && n[2];
            Indent(out, d + 1);
            out.Text(smooth ? "smooth_triangle {\n" : "triangle {\n");
            for (int i = 0; i < 3; ++i) {
                Indent(out, d + 2);
                // The flat triangle's last corner has a blank after its bracket.
                i == 2 && !smooth ? out.Text("< ") : out.Text("<");
                Coordinates(out, *v[i], s).Text(">");
                if (smooth)
                    Coordinates(out.Text(", <"), *n[i], 1.0).Text(">");
                i < 2 ? out.Text(",\n") : out.Text("\n");
            }
            Indent(out, d + 1);
            out.Text("}\n");
        }
    }
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
bool WriteObjectBody(CModel& model, numberformat::CRecordOut& out, double s, const std::vector<std::string>& names)
{
    out.Text("\n\n// This object has the following minimum and maximum values:\n");
    out.Text("// xmin=").Fixed(model.m_min[0] * s).Text(", xmax=").Fixed(model.m_max[0] * s).Text("\n");
    out.Text("// ymin=").Fixed(model.m_min[1] * s).Text(", ymax=").Fixed(model.m_max[1] * s).Text("\n");
    out.Text("// zmin=").Fixed(model.m_min[2] * s).Text(", zmax=").Fixed(model.m_max[2] * s).Text("\n\n");
    if (!out.Write())
        return false;

    // With one group the outer object holds that group alone; when it is
    // not written the object would be empty, which does not parse, so the
    // include then holds the declarations only. An empty outer union does
    // parse and is kept.
    if (model.GetGroupCount() == 1 && !Written(model.GetGroup(0)))
        return true;

    int d = 1;
    out.Text("object {\n");
    if (model.GetGroupCount() != 1) {
        out.Text("\tunion {\n");
        d = 2;
    }

    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!Written(group))
            continue;
        model.StatusMessage("Saving Group %s", group->name.c_str());
        Indent(out, d);
        out.Text("// _").Text(names[g]).Text("\n");
        const CPolygon* first = group->polygons.GetAt(0);
        bool many = group->polygons.GetCount() >= 2 || (first && first->count > 3);
        Indent(out, d);
        out.Text(many ? "union {\n" : "object {\n");
        WriteGroupTriangles(model, *group, out, s, d);
        Indent(out, d + 1);
        out.Text("texture{_").Text(names[g]).Text("}\n");
        Indent(out, d);
        out.Text("}\n");
        if (!out.Write())
            return false;
    }

    if (d == 2)
        out.Text("\t}\n");
    out.Text("}\n");
    return out.Write();
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

    // The finish and the declarations reach the stream with the extents,
    // whose write is checked.
    numberformat::CRecordOut out(fp);
    out.Text("// Add a glass finish\n"
             "#declare GlassFinish = finish {"
             "\tShiny ambient 0 diffuse 0\n"
             "\treflection 0.1 refraction 1 ior 1.5\n"
             "}\n\n"
             "// Object converted to POVRay V2.2 by TRIVEX V2.7\n");
    const std::vector<std::string> names = IdentifierNames(model);
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!Written(group))
            continue;
        // "#declare _%s = texture {pigment {color %s} finish {%s}}\n", with
        // " filter 0.5" after the colour for texture index 1.
        out.Text("#declare _").Text(names[g]).Text(" = texture {pigment {color ").Text(GroupColor(*group).name);
        out.Text(group->textureIndex == 1 ? " filter 0.5} finish {" : "} finish {");
        out.Text(GroupTexture(*group)).Text("}}\n");
    }

    return FinishWrite(model, fp, WriteObjectBody(model, out, scale, names));
}
