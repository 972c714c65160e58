// Binary trueSpace object: a 32-byte header, then a chain of chunks: one
// group for the whole object and, per written group, a group, a polygon
// object and a material, closed by an end chunk. All numbers little-endian.

#include <cstdint>
#include <cstring>
#include <string>

#include "GroupMesh.h"
#include "WriteCheck.h"
#include "Writers.h"

namespace {

// trueSpace objects are written at a fixed size; the output scale is not used.
constexpr float kCobScale = 3.0f;

constexpr uint32_t kTopGroupId = 1;
constexpr uint32_t kGroupIdStep = 100000;
constexpr uint32_t kPolyIdStep = 101000;
constexpr uint32_t kMaterialIdOffset = 10;

// Size of the name, local axes and position records after the name's text.
constexpr uint32_t kNodeRecordsSize = 2 + 2 + 48 + 48;
constexpr uint32_t kMaterialSize = 37;
constexpr uint32_t kSizePlaceholder = 0xFFFFFFFFu;

// Writes little-endian items and counts their bytes; every block handed to
// the stream is checked whole. After the first failure nothing more is
// written and Ok() stays false.
class CCobStream
{
public:
    explicit CCobStream(FILE* fp) : m_fp(fp) {}

    bool Ok() const { return m_ok; }
    uint64_t Counted() const { return m_counted; }
    void ResetCount() { m_counted = 0; }
    void Fail() { m_ok = false; }

    // Items are gathered and handed to the stream a block at a time: a
    // stream call per number cost more than everything else the writer does.
    // A refused block fails the writer just as a refused item did.
    void Bytes(const void* data, size_t size)
    {
        if (!m_ok || size == 0)
            return;
        if (size > sizeof m_buffer - m_used) {
            Flush();
            if (size > sizeof m_buffer) {
                m_ok = m_ok && std::fwrite(data, size, 1, m_fp) == 1;
                m_counted += size;
                return;
            }
        }
        std::memcpy(m_buffer + m_used, data, size);
        m_used += size;
        m_counted += size;
    }
    // Hands the gathered items to the stream.
    void Flush()
    {
        if (m_ok && m_used > 0)
            m_ok = std::fwrite(m_buffer, m_used, 1, m_fp) == 1;
        m_used = 0;
    }
    void U8(uint8_t value) { Bytes(&value, 1); }
    void U16(uint16_t value)
    {
        const unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
        Bytes(b, sizeof b);
    }
    void U32(uint32_t value)
    {
        const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        Bytes(b, sizeof b);
    }
    void S32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void F32(float value)
    {
        static_assert(sizeof(float) == sizeof(uint32_t), "f32 records need 32-bit floats");
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        U32(bits);
    }

    // Stream position for a later back-patch; false when the stream cannot tell.
    bool Tell(long* position)
    {
        Flush();
        if (!m_ok)
            return false;
        *position = std::ftell(m_fp);
        m_ok = *position >= 0;
        return m_ok;
    }
    // Repositioning flushes the buffer, so a full disk often shows here.
    void Seek(long position, int origin)
    {
        Flush();
        if (m_ok)
            m_ok = std::fseek(m_fp, position, origin) == 0;
    }

private:
    FILE* m_fp;
    bool m_ok = true;
    uint64_t m_counted = 0;
    size_t m_used = 0;
    unsigned char m_buffer[16384];
};

void ChunkHeader(CCobStream& out, const char type[4], uint16_t major, uint16_t minor, uint32_t id, uint32_t parent,
                 uint32_t size)
{
    out.Bytes(type, 4);
    out.U16(major);
    out.U16(minor);
    out.U32(id);
    out.U32(parent);
    out.U32(size);
}

void Name(CCobStream& out, const std::string& name)
{
    out.U16(0);  // duplicate count
    out.U16(static_cast<uint16_t>(name.size()));
    out.Bytes(name.data(), name.size());
}

// Local axes (centre, then the x, y and z directions) and the current
// position (identity rows of a 3-by-4 matrix).
void Placement(CCobStream& out)
{
    static constexpr float kAxes[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    static constexpr float kPosition[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (float f : kAxes)
        out.F32(f);
    for (float f : kPosition)
        out.F32(f);
}

void GroupChunk(CCobStream& out, const std::string& name, uint32_t id, uint32_t parent)
{
    ChunkHeader(out, "Grou", 0, 1, id, parent, static_cast<uint32_t>(name.size()) + kNodeRecordsSize);
    Name(out, name);
    Placement(out);
}

// The polygon object: its size is known only once the data is out, so the
// header carries a placeholder that is filled in afterwards.
void PolygonChunk(CCobStream& out, const CModel& work, const std::string& name, uint32_t id, uint32_t parent)
{
    ChunkHeader(out, "PolH", 0, 2, id, parent, kSizePlaceholder);
    long dataStart = 0;
    if (!out.Tell(&dataStart))
        return;
    out.ResetCount();

    Name(out, name);
    Placement(out);
    const int vertexCount = work.GetVertexCount();
    out.U32(static_cast<uint32_t>(vertexCount));
    for (int i = 0; i < vertexCount && out.Ok(); ++i) {
        CVector v = WorkingVertex(work, i);
        out.F32(v.x * kCobScale);
        out.F32(v.y * kCobScale);
        out.F32(v.z * kCobScale);
    }
    out.U32(0);  // no texture vertices
    const int faceCount = WorkingFaceCount(work);
    out.U32(static_cast<uint32_t>(faceCount));
    for (int p = 0; p < faceCount && out.Ok(); ++p) {
        const CPolygon* face = WorkingFaces(work)->GetAt(p);
        const int corners = face ? (face->count < 4 ? face->count : 4) : 0;
        out.U8(0);  // flags
        out.U16(static_cast<uint16_t>(corners));
        out.U16(0);  // material index
        for (int k = 0; k < corners; ++k) {
            out.S32(face->index[k] - 1);
            out.U32(0);  // texture vertex index
        }
    }
    if (!out.Ok())
        return;

    const uint64_t size = out.Counted();
    if (size >= kSizePlaceholder) {
        // Larger than the size field can hold: the file cannot be made right.
        out.Fail();
        return;
    }
    out.Seek(dataStart - 4, SEEK_SET);
    out.U32(static_cast<uint32_t>(size));
    out.Seek(0, SEEK_END);
}

void MaterialChunk(CCobStream& out, const CGroup& group, uint32_t id, uint32_t parent)
{
    ChunkHeader(out, "Mat1", 0, 5, id, parent, kMaterialSize);
    const ColorEntry& color = GroupColor(group);
    out.U16(0);    // material number
    out.U8('p');   // shader
    out.U8('a');   // facet type: automatic
    out.U8(20);    // auto-facet angle
    out.F32(color.red);
    out.F32(color.green);
    out.F32(color.blue);
    out.F32(1.0f);  // opacity
    out.F32(0.1f);
    out.F32(0.1f);
    out.F32(0.0f);
    out.F32(1.0f);
}

}  // namespace

int WriteCob(CModel& model, FILE* fp, double /*scale*/)
{
    CWorkingModel work;
    CWaitCursor wait(model);
    CCobStream out(fp);

    static constexpr char kHeader[] = "Caligari V00.01BLH             \n";
    static_assert(sizeof kHeader - 1 == 32, "the header is 32 bytes");
    out.Bytes(kHeader, 32);
    GroupChunk(out, "Object", kTopGroupId, 0);

    for (int g = 0; g < model.m_groups.GetCount() && out.Ok(); ++g) {
        const CGroup* group = model.m_groups.GetAt(g);
        if (!IsWritten(group))
            continue;
        work.SetGroup(group->name.c_str(), group->colorIndex, group->textureIndex);
        model.StatusMessage("Saving Group %s", group->name.c_str());
        const std::string name = ShortObjectName(group->name, g);
        // Ids follow the group's position among all groups, written or not.
        const uint32_t k = static_cast<uint32_t>(g) + 1;
        const uint32_t groupId = kGroupIdStep * k;
        const uint32_t polyId = kPolyIdStep * k;
        GroupChunk(out, name, groupId, kTopGroupId);
        if (!AddGroupTriangles(work, model, *group))
            return FailWorkingModel(model, work);
        PolygonChunk(out, work, name, polyId, groupId);
        MaterialChunk(out, *group, polyId + kMaterialIdOffset, polyId);
        work.Clear(false);
    }
    ChunkHeader(out, "END ", 1, 0, 0, 0, 0);
    out.Flush();

    // A failed write leaves the file as far as it got. The document does not
    // look at our result, so the user is told here.
    return FinishWrite(model, fp, out.Ok());
}
