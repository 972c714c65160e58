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

const char* VertexOrdering(const CModel& model)
{
    return model.m_normalOrder ? "vertexOrdering CLOCKWISE" : "vertexOrdering COUNTERCLOCKWISE";
}

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

// One coordIndex or normalIndex list: each triangle as its 0-based vertex
// indices closed by -1.
void WriteIndexLines(FILE* fp, const CModel& work)
{
    const int count = WorkingFaceCount(work);
    numberformat::CRecordOut line(fp);
    for (int p = 0; p < count; ++p) {
        const CPolygon* triangle = WorkingFaces(work)->GetAt(p);
        if (triangle && triangle->count == 3) {
            // The working model holds triangles only.
            // "\t\t\t\t%d, %d, %d, -1,\n", the last line without the comma
            line.Text("\t\t\t\t").Long(triangle->index[0] - 1).Text(", ").Long(triangle->index[1] - 1).Text(", ");
            line.Long(triangle->index[2] - 1).Text(", -1");
            p + 1 < count ? line.Text(",\n") : line.Text("\n");
            continue;
        }
        line.Write();
        Print(fp, "\t\t\t\t");
        if (const CPolygon* face = WorkingFaces(work)->GetAt(p))
            for (int k = 0; k < face->count && k < 4; ++k)
                Print(fp, "%d, ", face->index[k] - 1);
        Print(fp, "-1");
        Print(fp, p + 1 < count ? ",\n" : "\n");
    }
    line.Write();
}

}  // namespace

int WriteVrml(CModel& model, FILE* fp, double scale)
{
    const double s = scale;
    CWorkingModel work;
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");

    Print(fp, "#VRML V1.0 ascii\n");
    Print(fp, "Separator {\n");
    Print(fp, "\tDEF SceneInfo Info {\n");
    Print(fp, "\t\tstring \"Converted by trivex v2.7\"\n");
    Print(fp, "\t}\n");
    Print(fp, "\tShapeHints {\n");
    Print(fp, "\t\t%s\n", VertexOrdering(model));
    Print(fp, "\t\tshapeType SOLID\n");
    Print(fp, "\t\tfaceType CONVEX\n");
    Print(fp, "\t\tcreaseAngle 0.0\n");
    Print(fp, "\t}\n\n");

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        work.Clear(false);
        work.SetGroup(group->name.c_str(), group->colorIndex, group->textureIndex);
        model.StatusMessage("Compressing Group %s", group->name.c_str());
        if (!AddGroupTriangles(work, *group))
            return FailWorkingModel(model, work);
        model.StatusMessage("Saving Group %s", group->name.c_str());

        Print(fp, "\tDEF %s Separator {\n", DefName(group->name).c_str());

        const ColorEntry& color = GroupColor(*group);
        Print(fp, "\t\tMaterial {\n");
        Print(fp, "\t\t\tdiffuseColor %f %f %f\n", color.red, color.green, color.blue);
        Print(fp, "\t\t\tambientColor %f %f %f\n", color.red * 0.1, color.green * 0.1, color.blue * 0.1);
        Print(fp, "\t\t\tspecularColor 0.8 0.8 0.8\n");
        Print(fp, "\t\t\tshininess 0.1\n");
        Print(fp, "\t\t}\n");

        Print(fp, "\t\tCoordinate3 {\n");
        Print(fp, "\t\t\tpoint [\n");
        const int vertexCount = work.GetVertexCount();
        numberformat::CRecordOut line(fp);
        for (int i = 0; i < vertexCount; ++i) {
            CVector v = WorkingVertex(work, i);
            // "\t\t\t\t%f %f %f,\n", the last point without the comma
            line.Text("\t\t\t\t").Fixed(v.x * s).Text(" ").Fixed(v.y * s).Text(" ").Fixed(v.z * s);
            i + 1 < vertexCount ? line.Text(",\n") : line.Text("\n");
        }
        line.Write();
        Print(fp, "\t\t\t]\n");
        Print(fp, "\t\t}\n\n");

        if (group->smooth) {
            Print(fp, "\t\tShapeHints {\n");
            Print(fp, "\t\t\t%s\n", VertexOrdering(model));
            Print(fp, "\t\t\tshapeType SOLID\n");
            Print(fp, "\t\t\tfaceType CONVEX\n");
            Print(fp, "\t\t\tcreaseAngle %f\n", model.m_smoothAngle * kCreaseRadiansPerDegree);
            Print(fp, "\t\t}\n\n");
        }

        Print(fp, "\t\tIndexedFaceSet {\n");
        Print(fp, "\t\t\tcoordIndex [\n");
        WriteIndexLines(fp, work);
        Print(fp, "\t\t\t]\n");
        // No Normal node: the viewer derives the normals under the crease
        // angle, one per corner, numbered like the coordinates.
        if (group->smooth) {
            Print(fp, "\t\t\tnormalIndex [\n");
            WriteIndexLines(fp, work);
            Print(fp, "\t\t\t]\n");
        }
        Print(fp, "\t\t}\n");
        Print(fp, "\t}\n");
    }
    Print(fp, "}\n");

    // Writes are not checked one by one; the final flush and the stream's
    // error state decide, so a full disk is never reported as a saved file.
    return FinishWrite(model, fp);
}
