// VRML 1.0 ASCII world: one named Separator per group with a material from
// the group's colour, its merged vertex list and an indexed face set.

#include <cstring>
#include <string>

#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Degrees to radians with pi taken as 3.14159, as for every angle the
// program writes.
constexpr double kCreaseRadiansPerDegree = 0.01745327777777778;

// Group names come from whatever file was read ("0" is the usual first DXF
// layer) but a DEF name must not start with a digit or sign and must not hold
// blanks, quotes, braces and a few other characters, or viewers reject the
// whole world. Those characters become '_'; valid names stay as they are.
std::string DefName(const std::string& name)
{
    std::string result;
    result.reserve(name.size() + 1);
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-')
        result += '_';
    for (char ch : name) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool bad = c <= 0x20 || c >= 0x7f || std::strchr("\"'\\{}+.#,[]", ch) != nullptr;
        result += bad ? '_' : ch;
    }
    return result;
}

// "%f %f %f"
void Triple(numberformat::CRecordOut& out, double x, double y, double z)
{
    out.Fixed(x).Text(" ").Fixed(y).Text(" ").Fixed(z);
}

// "vertexOrdering ..." of a ShapeHints node.
void WriteVertexOrdering(numberformat::CRecordOut& out, const CModel& model)
{
    model.m_normalOrder ? out.Text("vertexOrdering CLOCKWISE\n") : out.Text("vertexOrdering COUNTERCLOCKWISE\n");
}

// One coordIndex or normalIndex list: each face as its 0-based vertex
// indices closed by -1.
void WriteIndexLines(numberformat::CRecordOut& out, const CModel& work)
{
    const int count = WorkingFaceCount(work);
    for (int p = 0; p < count; ++p) {
        const CPolygon* face = WorkingFaces(work)->GetAt(p);
        // "\t\t\t\t%d, %d, %d, -1,\n", the last line without the comma
        out.Text("\t\t\t\t");
        for (int k = 0; face && k < face->count && k < 4; ++k)
            out.Long(face->index[k] - 1).Text(", ");
        p + 1 < count ? out.Text("-1,\n") : out.Text("-1\n");
    }
}

}  // namespace

int WriteVrml(CModel& model, FILE* fp, double scale)
{
    const double s = scale;
    CWorkingModel work;
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");

    numberformat::CRecordOut out(fp);
    out.Text("#VRML V1.0 ascii\n"
             "Separator {\n"
             "\tDEF SceneInfo Info {\n"
             "\t\tstring \"Converted by trivex v2.7\"\n"
             "\t}\n"
             "\tShapeHints {\n"
             "\t\t");
    WriteVertexOrdering(out, model);
    out.Text("\t\tshapeType SOLID\n"
             "\t\tfaceType CONVEX\n"
             "\t\tcreaseAngle 0.0\n"
             "\t}\n\n");

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        work.Clear(false);
        work.SetGroup(group->name.c_str(), group->colorIndex, group->textureIndex);
        model.StatusMessage("Compressing Group %s", group->name.c_str());
        if (!AddGroupTriangles(work, model, *group))
            return FailWorkingModel(model, work);
        model.StatusMessage("Saving Group %s", group->name.c_str());

        out.Text("\tDEF ").Text(DefName(group->name)).Text(" Separator {\n");

        const ColorEntry& color = GroupColor(*group);
        Triple(out.Text("\t\tMaterial {\n\t\t\tdiffuseColor "), color.red, color.green, color.blue);
        Triple(out.Text("\n\t\t\tambientColor "), color.red * 0.1, color.green * 0.1, color.blue * 0.1);
        out.Text("\n\t\t\tspecularColor 0.8 0.8 0.8\n"
                 "\t\t\tshininess 0.1\n"
                 "\t\t}\n");

        out.Text("\t\tCoordinate3 {\n"
                 "\t\t\tpoint [\n");
        const int vertexCount = work.GetVertexCount();
        for (int i = 0; i < vertexCount; ++i) {
            CVector v = WorkingVertex(work, i);
            // "\t\t\t\t%f %f %f,\n", the last point without the comma
            Triple(out.Text("\t\t\t\t"), v.x * s, v.y * s, v.z * s);
            i + 1 < vertexCount ? out.Text(",\n") : out.Text("\n");
        }
        out.Text("\t\t\t]\n"
                 "\t\t}\n\n");

        if (group->smooth) {
            out.Text("\t\tShapeHints {\n"
                     "\t\t\t");
            WriteVertexOrdering(out, model);
            out.Text("\t\t\tshapeType SOLID\n"
                     "\t\t\tfaceType CONVEX\n"
                     "\t\t\tcreaseAngle ").Fixed(model.m_smoothAngle * kCreaseRadiansPerDegree).Text("\n");
            out.Text("\t\t}\n\n");
        }

        out.Text("\t\tIndexedFaceSet {\n"
                 "\t\t\tcoordIndex [\n");
        WriteIndexLines(out, work);
        out.Text("\t\t\t]\n");
        // No Normal node: the viewer derives the normals under the crease
        // angle, one per corner, numbered like the coordinates.
        if (group->smooth) {
            out.Text("\t\t\tnormalIndex [\n");
            WriteIndexLines(out, work);
            out.Text("\t\t\t]\n");
        }
        out.Text("\t\t}\n"
                 "\t}\n");
    }
    out.Text("}\n");

    // Writes are not checked one by one; the final flush and the stream's
    // error state decide, so a full disk is never reported as a saved file.
    return FinishWrite(model, fp, out.Write());
}
