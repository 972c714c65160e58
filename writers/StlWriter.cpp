// STL for 3D printing and CAD: binary by default (an 80-byte header, the
// facet count, then per facet its normal, three corners and two attribute
// bytes, all little-endian), or ASCII with one solid per group so that the
// groups come back when it is read. Each facet is a fan triangle of a face of
// an active group, its corners times the scale and wound counter-clockwise
// seen from the side the face's normal points to, as STL readers expect.

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "GroupMesh.h"
#include "GroupNames.h"
#include "NumberFormat.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// Binary headers must not begin with "solid", or readers that go by the
// first word would take the file for text.
constexpr char kHeaderText[] = "Binary STL written by Trivex";
constexpr size_t kHeaderBytes = 80;
constexpr size_t kFacetBytes = 50;

struct CFacet
{
    CVector normal;
    CVector corner[3];
};

// The normal of the facet's own corners: a face that is not flat gives its
// fan triangles normals of their own, which tools that work out volumes from
// the normals need. The face's normal stands in where the corners are in line.
inline CVector FacetNormal(const CFacet& facet, const CModel& model, const CPolygon& face)
{
    const CVector cross = (facet.corner[1] - facet.corner[0]).Cross(facet.corner[2] - facet.corner[0]);
    const float length = cross.Length();
    if (length > 0 && std::isfinite(length)) [[likely]]
        return cross / length;
    return model.FaceNormal(face);
}

// Calls use(facet) for every facet the model writes, group by group, until
// it returns false; `begin(group)` starts each group and says whether to go
// on. False when either said stop.
template <typename Begin, typename Use>
bool ForEachFacet(const CModel& model, double scale, Begin&& begin, Use&& use)
{
    // With clockwise fronts in force the face normals come from the corners
    // taken backwards, so the corners go out backwards too.
    const bool reverse = model.m_normalOrder != 0;
    const auto scaled = [scale](const CVector& v) {
        return CVector(static_cast<float>(v.x * scale), static_cast<float>(v.y * scale),
                       static_cast<float>(v.z * scale));
    };
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!IsWritten(group))
            continue;
        if (!begin(*group))
            return false;
        bool ok = true;
        CGroupTally tally(model, *group);
        for (int p = 0; p < group->polygons.GetCount() && ok; ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            if (!polygon)
                continue;
            ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int, int, int) {
                if (!ok || !tally.Keep())
                    return;
                CFacet facet;
                facet.corner[0] = scaled(a);
                facet.corner[1] = scaled(reverse ? c : b);
                facet.corner[2] = scaled(reverse ? b : c);
                facet.normal = FacetNormal(facet, model, *polygon);
                ok = use(facet);
            });
        }
        if (!ok)
            return false;
    }
    return true;
}

void PutU32(unsigned char* at, uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

void PutFloat(unsigned char* at, float value)
{
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(at, &value, sizeof value);
    else
        PutU32(at, std::bit_cast<uint32_t>(value));
}

// Gathers little-endian records and hands them to the stream in large
// blocks; after the first refused block nothing more is written.
class CBinaryOut
{
public:
    explicit CBinaryOut(FILE* fp) : m_fp(fp) {}

    void Bytes(const void* data, size_t size)
    {
        if (size > sizeof m_buffer - m_used)
            Flush();
        std::memcpy(m_buffer + m_used, data, size);
        m_used += size;
    }
    void U32(uint32_t value)
    {
        unsigned char b[4];
        PutU32(b, value);
        Bytes(b, sizeof b);
    }
    // One facet's record: its normal, its corners, no attribute. Written in
    // place: a record gathered byte by byte elsewhere and then copied in
    // stalled the processor on every facet.
    void Facet(const CFacet& facet)
    {
        if (sizeof m_buffer - m_used < kFacetBytes)
            Flush();
        unsigned char* at = m_buffer + m_used;
        for (const CVector* v : {&facet.normal, &facet.corner[0], &facet.corner[1], &facet.corner[2]}) {
            PutFloat(at, v->x);
            PutFloat(at + 4, v->y);
            PutFloat(at + 8, v->z);
            at += 12;
        }
        at[0] = at[1] = 0;
        m_used += kFacetBytes;
    }
    bool Flush()
    {
        if (m_ok && m_used > 0)
            m_ok = std::fwrite(m_buffer, m_used, 1, m_fp) == 1;
        m_used = 0;
        return m_ok;
    }

private:
    FILE* m_fp;
    bool m_ok = true;
    size_t m_used = 0;
    unsigned char m_buffer[65536 - 65536 % kFacetBytes] = {};
};

// The facets the model writes. The count leaves out the triangle a fault
// planted in a checked save leaves out, as the writing pass will.
uint64_t CountFacets(const CModel& model)
{
    uint64_t count = 0;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        if (const CGroup* group = model.GetGroup(g); IsWritten(group))
            for (int p = 0; p < group->polygons.GetCount(); ++p)
                if (const CPolygon* polygon = group->polygons.GetAt(p))
                    ForEachFanTriangle(*polygon, [&](const CVector&, const CVector&, const CVector&, int, int, int) {
                        ++count;
                    });
    const CWriteTally* tally = model.m_writeTally;
    if (tally && tally->plantedSkip >= 0 && static_cast<uint64_t>(tally->plantedSkip) < count)
        --count;
    return count;
}

int WriteBinary(CModel& model, FILE* fp, double scale)
{
    // The header's count is filled in once the facets are written, where the
    // stream can go back to it: a pass over the faces to count them first
    // took a twentieth of a conversion. Streams that cannot, and models
    // that might give more facets than the count can say, are counted first.
    uint64_t most = 0;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        if (const CGroup* group = model.GetGroup(g); IsWritten(group))
            most += 2 * static_cast<uint64_t>(group->polygons.GetCount());
    const long start = std::ftell(fp);
    const bool countFirst = start < 0 || most > UINT32_MAX;
    const uint64_t count = countFirst ? CountFacets(model) : 0;
    if (count > UINT32_MAX) {
        model.ErrorMessage("%llu triangles are more than a binary STL file can hold; write ASCII STL instead",
                           static_cast<unsigned long long>(count));
        return 0;
    }
    CBinaryOut out(fp);
    char header[kHeaderBytes] = {};
    std::memcpy(header, kHeaderText, sizeof kHeaderText - 1);
    out.Bytes(header, sizeof header);
    out.U32(static_cast<uint32_t>(count));
    uint64_t written = 0;
    bool ok = ForEachFacet(
        model, scale,
        [&](const CGroup& group) {
            model.StatusMessage("Saving Group %s", group.name.c_str());
            return true;
        },
        [&](const CFacet& facet) {
            out.Facet(facet);
            ++written;
            return true;
        });
    if (!ok || !out.Flush())
        return FinishWrite(model, fp, false);
    if (!countFirst) {
        unsigned char bytes[4];
        PutU32(bytes, static_cast<uint32_t>(written));
        if (std::fseek(fp, start + static_cast<long>(kHeaderBytes), SEEK_SET) != 0 ||
            std::fwrite(bytes, sizeof bytes, 1, fp) != 1 || std::fseek(fp, 0, SEEK_END) != 0)
            return FinishWrite(model, fp, false);
    }
    return FinishWrite(model, fp);
}

// The shortest text that reads back as exactly the same float.
void Number(numberformat::CRecordOut& line, float value)
{
    char text[32];
    // Negative zero, which the normals of faces in the axis planes carry, as 0.
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value == 0 ? 0.0f : value);
    line.Text(text, static_cast<size_t>(r.ptr - text));
}

void Point(numberformat::CRecordOut& line, const CVector& v)
{
    Number(line, v.x);
    line.Text(" ");
    Number(line, v.y);
    line.Text(" ");
    Number(line, v.z);
    line.Text("\n");
}

// A name on the solid's line: a line break or other control character in it
// would end the line early.
std::string SolidName(const std::string& name)
{
    return ReplaceDisallowed(name, [](unsigned char c) { return c >= ' ' && c != 0x7F; });
}

int WriteAscii(CModel& model, FILE* fp, double scale)
{
    numberformat::CRecordOut line(fp);
    std::string name;
    bool open = false;
    bool ok = ForEachFacet(
        model, scale,
        [&](const CGroup& group) {
            if (open)
                line.Text("endsolid ").Text(name).Text("\n");
            model.StatusMessage("Saving Group %s", group.name.c_str());
            name = SolidName(group.name);
            line.Text("solid ").Text(name).Text("\n");
            open = true;
            return line.Write();
        },
        [&](const CFacet& facet) {
            line.Text("  facet normal ");
            Point(line, facet.normal);
            line.Text("    outer loop\n");
            for (const CVector& corner : facet.corner) {
                line.Text("      vertex ");
                Point(line, corner);
            }
            line.Text("    endloop\n  endfacet\n");
            return true;
        });
    if (open)
        line.Text("endsolid ").Text(name).Text("\n");
    return FinishWrite(model, fp, line.Write() && ok);
}

}  // namespace

int WriteStl(CModel& model, FILE* fp, double scale)
{
    CWaitCursor wait(model);
    model.StatusMessage("Saving Polygons");
    try {
        return model.m_stlAscii ? WriteAscii(model, fp, scale) : WriteBinary(model, fp, scale);
    } catch (const std::bad_alloc&) {
        // A solid's name is the only thing the writers allocate.
        model.ErrorMessage("Out of Memory\n");
        return 0;
    }
}
