#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <vector>

#include "ParsedBatch.h"
#include "Pipeline.h"
#include "PolygonSplit.h"
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
    // For a piece of the file (see CPipeline), without status texts.
    CNffParser(const std::vector<unsigned char>& text, FILE* rest, bool fileStart)
        : m_in(text.data(), text.size(), rest, fileStart), m_statusWanted(false)
    {
    }

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

    // All the items, into one batch of any size; true when they ended at
    // the end of the text rather than at an item that could not be read.
    bool FillAll(CNffBatch& batch)
    {
        batch.items.clear();
        batch.coordinates.clear();
        m_batch = &batch;
        while (ParseItem()) {
        }
        Flush(CNffItem::kCorners);
        return m_atEnd;
    }

    bool AtEnd() const { return m_atEnd; }
    // The line feeds read so far.
    long LineFeeds() { return m_in.Line() - 1; }
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

// The file cut into pieces that each start where an item starts, so that
// both processors can parse pieces while the model is built from them in
// order. A piece ends with a line feed after which the file goes on with
// 'p', a polygon. No item can read on into that 'p' (it starts no number,
// keyword or line of its own): whatever the text before it, an item read up
// to the end of the piece stops there just as it would at the 'p', so a
// piece parsed on its own gives what reading on through the file gives, up
// to where reading stops. A piece that ends between items hands over to the
// next exactly where reading through the file would start the next item.
struct CNffPiece : CPieceText
{
    CNffBatch batch;
    bool whole = false;  // ended between items at the end of its text
    long failedLine = 0;  // its line of the item that could not be read
    long lineFeeds = 0;
    long spheres = 0;
    long cones = 0;

    void Forget()
    {
        batch.items.clear();
        batch.coordinates.clear();
    }

    void Parse()
    {
        if (rest)
            return;
        CNffParser parser(text, nullptr, first);
        whole = parser.FillAll(batch);
        failedLine = parser.ItemLine();
        lineFeeds = parser.LineFeeds();
        spheres = parser.Spheres();
        cones = parser.Cones();
    }
};

// Pieces end before the last line of what was read that starts a polygon.
struct CNffCut
{
    void Start(const std::vector<unsigned char>&) {}
    size_t operator()(const std::vector<unsigned char>& text, size_t from) const
    {
        for (size_t i = text.size() - 1; i >= (from > 1 ? from : 1); --i)
            if (text[i] == 'p' && text[i - 1] == '\n')
                return i;
        return 0;
    }
};

using CNffPieces = CFilePieces<CNffPiece, CNffCut>;

class CNffReader
{
public:
    // With `pieceBytes` 0 the file is read in one stream (on a thread of its
    // own), else in pieces of about that size (see CPipeline).
    CNffReader(CModel& model, FILE* fp, size_t pieceBytes)
        : m_model(model), m_fp(fp), m_pieceBytes(pieceBytes), m_parser(fp, model.ShowsStatus())
    {
    }

    int Read()
    {
        bool ended = false;
        int result = readerframe::ReadMerging(m_model, "NFF", [this, &ended] {
            if (!m_pieceBytes) {
                ended = Build();
                m_atEnd = m_parser.AtEnd();
                m_itemLine = m_parser.ItemLine();
                m_spheres = m_parser.Spheres();
                m_cones = m_parser.Cones();
            } else {
                ended = BuildFromPieces(m_pieceBytes);
            }
            // What was read stays, but the user learns that the file held more.
            if (ended && !m_atEnd && !m_model.OutOfMemory())
                m_model.WarningMessage("Reading stopped at line %ld: the item there could not be read", m_itemLine);
        });
        // Said after the load so that it is the status text that stays.
        if (result > 0 && ended && m_spheres + m_cones > 0) {
            const long spheres = m_spheres, cones = m_cones;
            m_model.NoticeMessage("Skipped %ld sphere%s and %ld cone%s: only polygons are read", spheres,
                                  spheres == 1 ? "" : "s", cones, cones == 1 ? "" : "s");
        }
        return result;
    }

private:
    // Builds the model from the parsed items, read ahead on a second thread
    // (see CPipeline). True when the items ended, false when memory ran out
    // first; the parser's state is the pipeline's until they have ended.
    bool Build()
    {
        CPipeline<CNffBatch> ahead(BatchReader<CNffBatch>([this](CNffBatch& batch) { return m_parser.Fill(batch); }),
                                   m_model.MayUseHelperThread());
        while (const CNffBatch* batch = ahead.Take())
            if (!BuildItems(*batch))
                return false;
        return true;
    }

    // False when memory ran out.
    bool BuildItems(const CNffBatch& batch)
    {
        const float* xyz = batch.coordinates.data();
        for (const CNffBatch::CItem& item : batch.items) {
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
        return true;
    }

    // Builds the model from pieces of `pieceBytes` or so, parsed on both
    // processors: a second thread parses pieces in file order, and this one
    // builds from each in turn, parsing the next piece itself whenever the
    // one it needs is not ready yet. True when the items ended, false when
    // memory ran out first.
    bool BuildFromPieces(size_t pieceBytes)
    {
        // A stretch without polygons much longer than a piece ends the cutting.
        CNffPieces pieces(m_fp, pieceBytes, 256 * pieceBytes, m_model.MayUseHelperThread());
        // The pieces' room, taken here once rather than by whichever thread
        // fills a piece first: memory the other thread takes stays with it
        // (the allocator keeps it for that thread) and would add to the
        // load's peak.
        const size_t room = std::min<size_t>(pieceBytes, 1u << 20);
        for (unsigned i = 0; i < CNffPieces::kPieces; ++i) {
            CNffPiece& piece = pieces.GetPiece(i);
            piece.text.reserve(2 * room);
            piece.batch.items.reserve(room / 16);
            piece.batch.coordinates.reserve(room / 4);
        }
        pieces.Carry().reserve(2 * room);
        long linesBefore = 0;
        for (;;) {
            CNffPiece* piece = pieces.Take();
            if (!piece) {
                m_atEnd = true;
                return true;
            }
            if (piece->rest) {
                CNffParser parser(piece->text, piece->rest, piece->first);
                CNffBatch batch;
                for (bool more = true; more;) {
                    more = parser.Fill(batch);
                    if (!BuildItems(batch))
                        return false;
                }
                m_spheres += parser.Spheres();
                m_cones += parser.Cones();
                m_atEnd = parser.AtEnd();
                m_itemLine = linesBefore + parser.ItemLine();
                return true;
            }
            if (!BuildItems(piece->batch))
                return false;
            m_spheres += piece->spheres;
            m_cones += piece->cones;
            if (!piece->whole) {
                m_atEnd = false;
                m_itemLine = linesBefore + piece->failedLine;
                return true;
            }
            linesBefore += piece->lineFeeds;
            if (piece->last) {
                m_atEnd = true;
                return true;
            }
        }
    }

    CModel& m_model;
    FILE* m_fp;
    const size_t m_pieceBytes;
    bool m_atEnd = false;
    long m_itemLine = 0;
    long m_spheres = 0;
    long m_cones = 0;
    // The parser's fields change with every number it reads: on cache lines
    // of their own, apart from the model builder's.
    alignas(64) CNffParser m_parser;
    alignas(64) std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
};

}  // namespace

int ReadNff(CModel& model, FILE* fp)
{
    // Pieces are parsed without status texts: where they are shown, the
    // file is read in one stream that counts its reads. Pieces pay only with
    // a second processor to parse them.
    const bool inPieces = !model.ShowsStatus() && HelperThreadPays(model.MayUseHelperThread());
    CNffReader reader(model, fp, inPieces ? size_t{1} << 16 : 0);
    return reader.Read();
}

int ReadNffPieces(CModel& model, FILE* fp, size_t pieceBytes)
{
    CNffReader reader(model, fp, pieceBytes ? pieceBytes : 1);
    return reader.Read();
}
