// World Toolkit NFF 2.1: one object per group, each with its own merged
// vertex list, its faces and a 4-bit colour.

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "GroupMesh.h"
#include "GroupNames.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// A colour component 0..1 as one hexadecimal digit 0..f, rounded. The
// product is exact in double, so a stored 0.7 (a little below 0.7 as a
// float) gives a, not b.
int Nibble(float component)
{
    double digit = std::trunc(static_cast<double>(component) * 15 + 0.5);
    return digit < 0 ? 0 : digit > 15 ? 15 : static_cast<int>(digit);
}

bool IsWtkNameCharacter(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '.' || c == ':';
}

// Whether `text` reads as a number or a hexadecimal colour rather than a name:
// digits with an optional point and fraction and an optional exponent, or
// "0x" and hexadecimal digits.
bool IsWtkNumber(const std::string& text)
{
    auto digits = [&](size_t& i) {
        size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i - start;
    };
    if (text.size() > 2 && text[0] == '0' && text[1] == 'x')
        return text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    size_t i = 0;
    size_t mantissa = digits(i);
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits(i);
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (digits(i) == 0)
            return false;
    }
    return i == text.size();
}

// Whether a reader takes `name` as an object name: a word of letters, digits,
// "_", "." and ":" that does not read as a number, a hexadecimal colour, an
// "_name" option or one of the format's keywords.
bool IsWtkObjectName(const std::string& name)
{
    static constexpr const char* kKeywords[] = {"nff",   "s8",    "version", "viewpos", "viewdir", "norm", "rgb",
                                                "uv",    "rot",   "scale",   "trans",   "both",    "id",   "mirror"};
    if (name.empty())
        return false;
    for (char c : name)
        if (!IsWtkNameCharacter(static_cast<unsigned char>(c)))
            return false;
    for (const char* keyword : kKeywords)
        if (name == keyword)
            return false;
    const bool option = name.size() >= 2 && name[0] == '_' &&
                        (std::isalpha(static_cast<unsigned char>(name[1])) || name[1] == '_') &&
                        name.find_first_of(".:") == std::string::npos;
    return !option && !IsWtkNumber(name);
}

// Characters a name cannot hold become "_"; a name that would still read as
// something else gains "_" in front, or "g" where that makes an option name.
std::string WtkObjectName(const std::string& name, int)
{
    std::string fixed = ReplaceDisallowed(name, IsWtkNameCharacter);
    if (IsWtkObjectName(fixed))
        return fixed;
    return IsWtkObjectName("_" + fixed) ? "_" + fixed : "g" + fixed;
}

}  // namespace

int WriteWtkNff(CModel& model, FILE* fp, double scale)
{
    const double s = scale;
    CWorkingModel work;
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");

    numberformat::CRecordOut out(fp);
    out.Text("// trivex 2.7b2\n\nnff\nversion 2.1\n\n");
    const std::vector<std::string> names = FormatGroupNames(model, IsWritten, WtkObjectName);

    for (int g = 0; g < model.m_groups.GetCount(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        work.SetGroup(group->name.c_str(), group->colorIndex, group->textureIndex);
        model.StatusMessage("Saving Group %s", group->name.c_str());
        if (!AddGroupTriangles(work, model, *group))
            return FailWorkingModel(model, work);
        // An object needs at least one vertex and one polygon: readers of the
        // format stop at an empty one and lose every object after it. A group
        // whose faces all collapsed has nothing to show, so it is left out.
        if (WorkingFaceCount(work) == 0) {
            work.Clear(false);
            continue;
        }
        out.Text(names[g]).Text("\n").Long(work.GetVertexCount()).Text("\n");
        for (int i = 0; i < work.GetVertexCount(); ++i) {
            CVector v = WorkingVertex(work, i);
            // "%f %f %f\n"
            out.Fixed(v.x * s).Text(" ").Fixed(v.y * s).Text(" ").Fixed(v.z * s).Text("\n");
        }

        const ColorEntry& color = GroupColor(*group);
        const int red = Nibble(color.red), green = Nibble(color.green), blue = Nibble(color.blue);
        out.Long(WorkingFaceCount(work)).Text("\n");
        for (int p = 0; p < WorkingFaceCount(work); ++p) {
            const CPolygon* face = WorkingFaces(work)->GetAt(p);
            if (!face)
                continue;
            // "%d " with the corner count, "%d " per corner, "0x%01x%01x%01x both\n"
            out.Long(face->count).Text(" ");
            for (int k = 0; k < face->count && k < 4; ++k)
                out.Long(face->index[k] - 1).Text(" ");
            out.Text("0x").HexDigit(red).HexDigit(green).HexDigit(blue).Text(" both\n");
        }
        work.Clear(false);
    }

    // Nothing above is checked one write at a time; the stream's error state
    // after the final flush tells whether the file is complete, so a full disk
    // is never reported as a saved file.
    return FinishWrite(model, fp, out.Write());
}
