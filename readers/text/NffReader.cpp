#include <cstdint>
#include <vector>

#include "ParsedBatch.h"
#include "PolygonSplit.h"
#include "ReadAhead.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

namespace {

// What the file says, in its order, for the model to be built from.
// Coordinates come three to a corner, in the order the items use them.
enum class CNffItem : uint8_t {
    kColor,    // the group of the colour index `value` gets what follows
    kCorners,  // `value` corners of a polygon that goes on
    kPolygon,  // the last `value` corners of a polygon, then the polygon
    kPatch,    // the same for a patch, whose group turns smooth
    kStatus    // the status text of read number `value`
};
using CNffBatch = CParsedBatch<CNffItem>;

// Reads the text into batches. It runs on the read-ahead thread, so it
// touches nothing of the model.
class CNffParser
{
public:
    CNffParser(FILE* fp, bool statusWanted) : m_in(fp), m_statusWanted(statusWanted) {}

    // False once the items have ended, at the end of the file or at one that
    // could not be read.
    bool Fill(CNffBatch& batch)
    {
        batch.items.clear();
        batch.coordinates.clear();
        m_batch = &batch;
        bool more = true;
        while (more && batch.items.size() < kFullItems && batch.coordinates.size() < kFullCoordinates)
            more = ParseItem();
        // The corners of a polygon that could not be read whole still become
        // vertices, as they do when read one by one.
        Flush(CNffItem::kCorners);
        return more;
    }

    bool AtEnd() const { return m_atEnd; }
    long ItemLine() const { return m_in.MarkedLine(); }
    long Spheres() const { return m_spheres; }
    long Cones() const { return m_cones; }

private:
    static constexpr size_t kFullItems = 1024;
    static constexpr size_t kFullCoordinates = 3 * 1024;

    bool ParseItem()
    {
        m_in.Mark();
        int c = m_in.Get();
        switch (c) {
        case EOF:
            m_atEnd = true;
            return false;
        case '#':
            m_in.SkipLine();
            return true;
        case '\n':
            return true;
        case 'v':
            return ReadViewpoint();
        case 'l':  // light
        case 'b':  // background
            return ReadNumbers(3);
        case 'f':
            if (!ReadNumbers(8))
                return false;
            m_batch->items.push_back({CNffItem::kColor, NearestColor(m_numbers[0], m_numbers[1], m_numbers[2])});
            return true;
        case 'c':  // cone: base and apex
            if (!ReadNumbers(4) || !ReadNumbers(4))
                return false;
            ++m_cones;
            return true;
        case 's':
            if (!ReadNumbers(4))
                return false;
            ++m_spheres;
            return true;
        case 'p':
            return ReadPolygon(m_in.Get() == 'p');
        default:
            m_in.SkipLine();
            return true;
        }
    }

    // The corners read since the last item, as an item of `kind`.
    void Flush(CNffItem kind)
    {
        if (m_corners > 0 || kind != CNffItem::kCorners)
            m_batch->items.push_back({kind, m_corners});
        m_corners = 0;
    }

    void CountRead()
    {
        if (++m_reads % 100 == 0 && m_statusWanted) {
            Flush(CNffItem::kCorners);
            m_batch->items.push_back({CNffItem::kStatus, m_reads});
        }
    }

    // One formatted read of `count` numbers and the white space after them.
    bool ReadNumbers(int count)
    {
        CountRead();
        if (!m_in.ReadFloats(m_numbers, count))
            return false;
        m_in.SkipSpace();
        return true;
    }

    bool ReadLabelled(const char* label, int count)
    {
        m_in.SkipSpace();
        if (!m_in.Match(label))
            return false;
        return ReadNumbers(count);
    }

    // The viewpoint is read whole, in its fixed order, and then discarded.
    bool ReadViewpoint()
    {
        if (!ReadLabelled("from", 3) || !ReadLabelled("at", 3) || !ReadLabelled("up", 3) ||
            !ReadLabelled("angle", 1) || !ReadLabelled("hither", 1))
            return false;
        m_in.SkipSpace();
        CountRead();
        long width = 0, height = 0;
        if (!m_in.Match("resolution") || !m_in.ReadLong(width) || !m_in.ReadLong(height))
            return false;
        m_in.SkipSpace();
        return true;
    }

    // A polygon, or with `patch` a polygonal patch whose corner normals are
    // read and dropped.
    bool ReadPolygon(bool patch)
    {
        CountRead();
        long count = 0;
        if (!m_in.ReadLong(count))
            return false;
        m_in.SkipSpace();
        if (count <= 0)
            return false;
        // Corners are stored as they are read, never reserved from the
        // count, which may be far larger than what the file holds.
        std::vector<float>& coordinates = m_batch->coordinates;
        for (long k = 0; k < count; ++k) {
            if (!ReadNumbers(patch ? 6 : 3))
                return false;
            coordinates.push_back(m_numbers[0]);
            coordinates.push_back(m_numbers[1]);
            coordinates.push_back(m_numbers[2]);
            ++m_corners;
        }
        Flush(patch ? CNffItem::kPatch : CNffItem::kPolygon);
        return true;
    }

    textinput::CTextStream m_in;
    const bool m_statusWanted;
    CNffBatch* m_batch = nullptr;
    long m_corners = 0;  // read and in no item yet
    float m_numbers[8] = {};
    long m_reads = 1;
    bool m_atEnd = false;
    long m_spheres = 0;
    long m_cones = 0;
};

class CNffReader
{
public:
    CNffReader(CModel& model, FILE* fp) : m_model(model), m_parser(fp, model.ShowsStatus()) {}

    int Read()
    {
        bool ended = false;
        int result = readerframe::ReadMerging(m_model, [this, &ended] {
            ended = Build();
            // What was read stays, but the user learns that the file held more.
            if (ended && !m_parser.AtEnd() && !m_model.OutOfMemory())
                m_model.WarningMessage("Reading stopped at line %ld: the item there could not be read",
                                       m_parser.ItemLine());
        });
        // Said after the load so that it is the status text that stays.
        if (result > 0 && ended && m_parser.Spheres() + m_parser.Cones() > 0) {
            const long spheres = m_parser.Spheres(), cones = m_parser.Cones();
            m_model.NoticeMessage("Skipped %ld sphere%s and %ld cone%s: only polygons are read", spheres,
                                  spheres == 1 ? "" : "s", cones, cones == 1 ? "" : "s");
        }
        return result;
    }

private:
    // Builds the model from the parsed items, read ahead on a second thread
    // (see CReadAhead). True when the items ended, false when memory ran out
    // first; the parser's state is the thread's until they have ended.
    bool Build()
    {
        CReadAhead<CNffBatch> ahead([this](CNffBatch& batch) { return m_parser.Fill(batch); });
        while (const CNffBatch* batch = ahead.Next()) {
            const float* xyz = batch->coordinates.data();
            for (const CNffBatch::CItem& item : batch->items) {
                switch (item.kind) {
                case CNffItem::kColor:
                    m_model.SetGroup(nullptr, static_cast<int>(item.value), 0);
                    break;
                case CNffItem::kCorners:
                case CNffItem::kPolygon:
                case CNffItem::kPatch:
                    for (long k = 0; k < item.value; ++k, xyz += 3) {
                        int index = m_model.AddVertex(CVector(xyz[0], xyz[1], xyz[2]), true);
                        if (index < 0)
                            return false;  // out of memory: the read fails
                        m_corners.push_back(index + 1);
                    }
                    if (item.kind == CNffItem::kCorners)
                        break;
                    polygonsplit::AddPolygon(m_model, m_corners, &m_splitBudget);
                    if (item.kind == CNffItem::kPatch)
                        m_model.SmoothCurrentGroup();
                    m_corners.clear();
                    break;
                case CNffItem::kStatus:
                    m_model.StatusMessage("Reading Line# %ld", item.value);
                    break;
                }
                if (m_model.OutOfMemory())
                    return false;
            }
        }
        return true;
    }

    CModel& m_model;
    // The parser's fields change with every number it reads: on cache lines
    // of their own, apart from the model builder's.
    alignas(64) CNffParser m_parser;
    alignas(64) std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
};

}  // namespace

int ReadNff(CModel& model, FILE* fp)
{
    CNffReader reader(model, fp);
    return reader.Read();
}
