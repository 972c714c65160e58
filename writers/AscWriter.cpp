// 3D Studio ASCII scene: one named triangle mesh per group, with its own
// merged vertex list and a material named after the group's colour.

#include <cstdio>
#include <string>
#include <vector>

#include "GroupMesh.h"
#include "GroupNames.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// A colour component 0..1 as 0..255, cut rather than rounded.
int Byte(float component)
{
    double value = static_cast<double>(component) * 255;
    return value < 0 ? 0 : value > 255 ? 255 : static_cast<int>(value);
}

// An object name is read up to the next double quote, so that quote, line
// breaks and other control or non-ASCII bytes become "_". Names keep ten
// characters at most.
std::string AscObjectName(const std::string& name, int position)
{
    return ShortObjectName(
        ReplaceDisallowed(name, [](unsigned char c) { return c >= 0x20 && c < 0x7f && c != '"'; }), position);
}

}  // namespace

int WriteAsc(CModel& model, FILE* fp, double scale)
{
    const double s = scale;
    CWorkingModel work;
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");

    numberformat::CRecordOut out(fp);
    out.Text("Ambient light color: Red=0.3 Green=0.3 Blue=0.3\n\n");
    const std::vector<std::string> names = FormatGroupNames(model, IsWritten, AscObjectName, 10);

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        work.SetGroup(group->name.c_str(), group->colorIndex, group->textureIndex);
        model.StatusMessage("Saving Group %s", group->name.c_str());
        out.Text("Named object: \"").Text(names[g]).Text("\"\n");
        if (!AddGroupTriangles(work, model, *group))
            return FailWorkingModel(model, work);

        const long vertexCount = work.GetVertexCount();
        const long faceCount = WorkingFaceCount(work);
        out.Text("Tri-mesh, Vertices: ").Long(vertexCount).Text(" Faces: ").Long(faceCount).Text("\n");
        out.Text("Vertex List:\n");
        for (long i = 0; i < vertexCount; ++i) {
            CVector v = WorkingVertex(work, static_cast<int>(i));
            // "Vertex %ld:  X:%f    Y:%f    Z:%f\n"
            out.Text("Vertex ").Long(i).Text(":  X:").Fixed(v.x * s).Text("    Y:").Fixed(v.y * s);
            out.Text("    Z:").Fixed(v.z * s).Text("\n");
        }

        const ColorEntry& color = GroupColor(*group);
        const int red = Byte(color.red), green = Byte(color.green), blue = Byte(color.blue);
        out.Text("Face list:\n");
        // The material and smoothing lines after every face are the group's.
        char material[64];
        const int materialLength = std::snprintf(material, sizeof material, "Material: \"r%dg%db%da90\"\nSmoothing: 32\n",
                                                 red, green, blue);
        for (long f = 0; f < faceCount; ++f) {
            const CPolygon* face = WorkingFaces(work)->GetAt(static_cast<int>(f));
            if (!face)
                continue;
            // "Face %ld: A:%ld B:%ld C:%ld AB:1 BC:1 CA:1\n", then the material lines.
            out.Text("Face ").Long(f).Text(": A:").Long(face->index[0] - 1).Text(" B:").Long(face->index[1] - 1);
            out.Text(" C:").Long(face->index[2] - 1).Text(" AB:1 BC:1 CA:1\n");
            out.Text(material, static_cast<size_t>(materialLength));
        }
        work.Clear(false);
    }

    // Writes are not checked one by one; the final flush and the stream's
    // error state decide, so a full disk is never reported as a saved file.
    return FinishWrite(model, fp, out.Write());
}
