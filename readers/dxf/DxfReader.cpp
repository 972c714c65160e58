#include "DxfReader.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Decimal.h"
#include "Extrude.h"
#include "Pipeline.h"

namespace {

// Nested inserts deeper than this are left out; a block that inserts itself
// would otherwise never end.
constexpr int kMaxInsertDepth = 16;
// Inserts of inserts multiply: past this many replayed pairs the remaining
// inserts are left out rather than filling memory. Within that, a drawing may
// replay a million pairs plus 256 for each line pair read from the file, so a
// few kilobytes of blocks nested in each other cannot fill memory either,
// while a drawing that places a block thousands of times still loads whole.
constexpr long kMaxReplayedPairs = 20000000;
constexpr long kFreeReplayedPairs = 1000000;
constexpr long kReplayedPairsPerFilePair = 256;
// Each copy of an array insert costs what it would as an insert of its own
// (a type and a name pair) besides its block's pairs: copies of a tiny
// block add up like the inserts of a block that inserts it many times.
constexpr long kArrayCopyPairs = 2;
// Longer layer names are cut; they only make group names.
constexpr size_t kMaxLayerName = 255;
constexpr double kPaletteUnit = 0.015873015873015872;  // 1/63

// Leading decimal number of a value; 0 when it does not start with one.
double ParseNumber(const std::string& value)
{
    const char* p = value.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    auto more = [](const char* t) { return *t != '\0'; };
    double number;
    // The common case in one pass; it reads exactly the number below.
    if (ScanShortDecimal(p, more, number))
        return number;
    const char* q = DecimalEnd(p, more);
    return q ? DecimalValue(p, q) : 0.0;
}

float FloatOf(double d)
{
    // Beyond float range the value becomes infinite and the faces using it are dropped.
    return std::fabs(d) > 3.4028234663852886e38 ? static_cast<float>(d > 0 ? HUGE_VAL : -HUGE_VAL)
                                                 : static_cast<float>(d);
}

int IntOf(double d)
{
    if (!(d > INT_MIN && d < INT_MAX))
        return d > 0 ? INT_MAX : INT_MIN;
    return static_cast<int>(d);
}

// The drawing reads the values of codes 0 (what comes next), 2 (names) and
// 8 (layers) as text, every other value as a number.
bool IsTextCode(int code)
{
    return code == 0 || code == 2 || code == 8;
}

struct CPair
{
    int code = 0;
    // The text of a value the drawing reads as text (IsTextCode); empty for
    // the others, which are most of a file and need only their number.
    std::string value;
    // The value read as a number, 0 where it does not start with one; read
    // with the line, so that the drawing is built without parsing text.
    double number = 0;

    bool Is(int c, const char* text) const { return code == c && value == text; }
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

void TrimEnd(std::string& s)
{
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    s.resize(n);
}

// Where pairs come from: the file, or the recorded pairs of a block.
class CPairSource
{
public:
    virtual ~CPairSource() = default;
    // The next pair, which stays as it is until Next is called again; null
    // at the end of the pairs.
    virtual const CPair* Next() = 0;
};

class CRecordedPairs : public CPairSource
{
public:
    explicit CRecordedPairs(const std::vector<CPair>& pairs) : m_pairs(pairs) {}
    const CPair* Next() override { return m_next < m_pairs.size() ? &m_pairs[m_next++] : nullptr; }

private:
    const std::vector<CPair>& m_pairs;
    size_t m_next = 0;
};

// A group code line, then a value line. A code that is not a whole number
// stops the file with an error. Touches nothing but the file and itself, so
// that it can run on a thread of its own.
class CPairReader
{
public:
    explicit CPairReader(FILE* fp) : m_fp(fp) {}
    // Over a piece of the file already read.
    CPairReader(const unsigned char* text, size_t size) : m_fp(nullptr), m_source(text), m_sourceLeft(size) {}

    // False at the end of the file or at a bad code.
    bool Next(CPair& pair)
    {
        if (m_broken)
            return false;
        // A code line lying whole in the buffer is read where it lies.
        const char* start;
        const char* last;
        if (TakeBufferedLine(start, last)) {
            if (!ParseCode(start, last, pair.code)) {
                m_broken = true;
                return false;
            }
        } else {
            if (!ReadLine(m_line))
                return false;
            if (!ParseCode(m_line.data(), m_line.data() + m_line.size(), pair.code)) {
                m_broken = true;
                return false;
            }
        }
        // The value is read as a number where it lies too: reading back the
        // string just written would wait for the copy to land, which takes
        // long when the other thread last held that memory.
        if (TakeBufferedLine(start, last)) {
            const char* p = start;
            while (p < last && (*p == ' ' || *p == '\t'))
                ++p;
            const bool quick = ScanShortDecimal(p, [last](const char* q) { return q < last; }, pair.number);
            if (IsTextCode(pair.code)) {
                pair.value.assign(start, static_cast<size_t>(last - start));
                if (!quick)
                    pair.number = ParseNumber(pair.value);
            } else {
                pair.value.clear();
                if (!quick)
                    pair.number = ParseNumber(std::string(start, last));
            }
            return true;
        }
        if (!ReadLine(pair.value))
            return false;
        pair.number = ParseNumber(pair.value);
        if (!IsTextCode(pair.code))
            pair.value.clear();
        return true;
    }

    // Hands over the bytes read and not taken yet.
    void TakeBuffered(std::vector<unsigned char>& bytes)
    {
        bytes.assign(m_buffer + m_pos, m_buffer + m_end);
        m_pos = m_end;
    }

    bool Broken() const { return m_broken; }
    // The lines read so far.
    long Line() const { return m_lines; }

    // True when the stream starts with the sentinel of a binary DXF file;
    // reads nothing that a text file would need.
    bool IsBinary()
    {
        static const char kSentinel[] = "AutoCAD Binary DXF";
        const size_t n = sizeof kSentinel - 1;
        while (m_end - m_pos < n && Fill()) {
        }
        return m_end - m_pos >= n && std::memcmp(m_buffer + m_pos, kSentinel, n) == 0;
    }

private:
    bool Fill()
    {
        if (m_pos > 0) {
            std::memmove(m_buffer, m_buffer + m_pos, m_end - m_pos);
            m_end -= m_pos;
            m_pos = 0;
        }
        if (m_end == sizeof m_buffer)
            return true;
        size_t got;
        if (m_sourceLeft) {
            got = std::min(m_sourceLeft, sizeof m_buffer - m_end);
            std::memcpy(m_buffer + m_end, m_source, got);
            m_source += got;
            m_sourceLeft -= got;
        } else {
            got = m_fp ? std::fread(m_buffer + m_end, 1, sizeof m_buffer - m_end, m_fp) : 0;
        }
        m_end += got;
        return got > 0;
    }

    // The next line, when it lies whole in the buffer: [start, last) without
    // its trailing blanks, passed over and counted.
    bool TakeBufferedLine(const char*& start, const char*& last)
    {
        if (m_pos >= m_end)
            return false;
        const unsigned char* newline = FindNewline(m_buffer + m_pos, m_buffer + m_end);
        if (!newline)
            return false;
        start = reinterpret_cast<const char*>(m_buffer + m_pos);
        last = reinterpret_cast<const char*>(newline);
        while (last > start && IsBlank(last[-1]))
            --last;
        m_pos = static_cast<size_t>(newline - m_buffer) + 1;
        ++m_lines;
        return true;
    }

    bool ReadLine(std::string& line)
    {
        // The usual line lies whole in the buffer: trimmed where it lies and
        // copied once.
        const char* start;
        const char* last;
        if (TakeBufferedLine(start, last)) {
            line.assign(start, static_cast<size_t>(last - start));
            return true;
        }
        line.clear();
        bool any = false;
        for (;;) {
            if (m_pos == m_end) {
                m_pos = m_end = 0;
                if (!Fill())
                    break;
            }
            any = true;
            const unsigned char* start = m_buffer + m_pos;
            const unsigned char* newline = FindNewline(start, m_buffer + m_end);
            if (newline) {
                size_t length = static_cast<size_t>(newline - start);
                line.append(reinterpret_cast<const char*>(start), length);
                m_pos += length + 1;
                break;
            }
            line.append(reinterpret_cast<const char*>(start), m_end - m_pos);
            m_pos = m_end;
        }
        if (!any)
            return false;
        TrimEnd(line);
        ++m_lines;
        return true;
    }

    // DXF lines are a few characters long: a plain loop finds their end
    // sooner than a library call. Null when the line goes on past `end`.
    static const unsigned char* FindNewline(const unsigned char* p, const unsigned char* end)
    {
        while (p < end && *p != '\n')
            ++p;
        return p < end ? p : nullptr;
    }

    // The code line [p, end), its trailing blanks gone: a whole number with
    // optional blanks and sign before it.
    static bool ParseCode(const char* p, const char* end, int& code)
    {
        while (p < end && (*p == ' ' || *p == '\t'))
            ++p;
        const char* digits = p < end && (*p == '-' || *p == '+') ? p + 1 : p;
        if (digits == end || *digits < '0' || *digits > '9')
            return false;
        // Group codes are short: the digits are added up here, and only a
        // long run is left to strtol and its overflow rules.
        long small = 0;
        const char* q = digits;
        while (q < end && *q >= '0' && *q <= '9' && q - digits < 9)
            small = small * 10 + (*q++ - '0');
        if (q == end) {
            code = static_cast<int>(*p == '-' ? -small : small);
            return true;
        }
        const std::string text(p, end);
        char* stop = nullptr;
        long value = std::strtol(text.c_str(), &stop, 10);
        if (*stop != '\0' || value < INT_MIN || value > INT_MAX)
            return false;
        code = static_cast<int>(value);
        return true;
    }

    FILE* m_fp;
    const unsigned char* m_source = nullptr;  // a piece's text, handed out before m_fp's
    size_t m_sourceLeft = 0;
    unsigned char m_buffer[65536];
    size_t m_pos = 0;
    size_t m_end = 0;
    long m_lines = 0;
    bool m_broken = false;
    std::string m_line;
};

// A piece of the file that starts where a group code line starts, parsed
// on its own (see CPipeline). Pairs are two lines from the start of the
// file, whatever the lines hold, so a piece that starts after an even
// number of lines and holds an even number of them reads as the same pairs
// as the file read through.
struct CDxfPiece : CPieceText
{
    // Parsed from the text: pairs are made as they are needed and kept for
    // the next use of the piece.
    std::vector<CPair> pairs;
    size_t count = 0;
    long lines = 0;  // the lines read, all of them where the text was read through
    bool broken = false;

    void Forget()
    {
        count = 0;
        lines = 0;
        broken = false;
    }

    void Parse()
    {
        CPairReader reader(text.data(), text.size());
        for (;;) {
            if (count == pairs.size())
                pairs.emplace_back();
            if (!reader.Next(pairs[count]))
                break;
            ++count;
        }
        lines = reader.Line();
        broken = reader.Broken();
    }
};

// Pieces end after the last line feed that leaves them an even number of
// lines.
class CDxfCut
{
public:
    void Start(const std::vector<unsigned char>& text) { m_feeds = CountFeeds(text.data(), text.data() + text.size()); }

    size_t operator()(const std::vector<unsigned char>& text, size_t from)
    {
        m_feeds += CountFeeds(text.data() + from, text.data() + text.size());
        if (m_feeds < 2)
            return 0;
        size_t cut = text.size();
        for (size_t skip = m_feeds % 2 == 0 ? 1 : 2; skip > 0; --skip)
            while (text[--cut] != '\n') {
            }
        return cut + 1;
    }

private:
    // A plain loop the compiler turns into vector compares.
    static size_t CountFeeds(const unsigned char* p, const unsigned char* end)
    {
        size_t feeds = 0;
        for (; p < end; ++p)
            feeds += *p == '\n';
        return feeds;
    }

    size_t m_feeds = 0;  // in the piece so far
};

using CDxfPieces = CFilePieces<CDxfPiece, CDxfCut>;

// The file's pairs as the drawing takes them, read and parsed in pieces on
// both processors (see CPipeline). Status texts and the line count follow the
// pairs handed out, so that they are those of reading the file in step.
class CFilePairs : public CPairSource
{
public:
    CFilePairs(CModel& model, FILE* fp, size_t pieceBytes)
        : m_model(model), m_fp(fp), m_pieceBytes(pieceBytes), m_reader(fp)
    {
    }

    // Only before the first Next.
    bool IsBinary() { return m_reader.IsBinary(); }

    // A piece goes back to be filled again when the next one is taken, so
    // the pair handed out before stays as it is only until this is called
    // again: the cursor keeps no pair longer.
    const CPair* Next() override
    {
        while (m_next == m_count) {
            if (m_ended || !NextPiece())
                return nullptr;
        }
        if (++m_pairs % 50 == 0)
            m_model.StatusMessage("Reading Line# %ld", 2 * m_pairs);
        return &m_taking[m_next++];
    }

    // Both are known once Next has said the pairs ended.
    bool Broken() const { return m_ended && m_broken; }
    long Line() const { return m_ended ? m_linesBefore : 2 * m_pairs; }

private:
    // Moves on to the next piece; false when the pairs have ended.
    bool NextPiece()
    {
        if (!m_pieces) {
            // A piece grows as long as a line: the lines are read whole anyway.
            m_pieces = std::make_unique<CDxfPieces>(m_fp, m_pieceBytes, 0, m_model.MayUseHelperThread());
            // The bytes looked at for the binary sentinel start the first piece.
            m_reader.TakeBuffered(m_pieces->Carry());
            // The pieces' room, taken here once rather than by whichever
            // thread fills a piece first: memory the other thread takes
            // stays with it and would add to the load's peak.
            const size_t room = std::min<size_t>(m_pieceBytes, 1u << 20);
            for (unsigned i = 0; i < CDxfPieces::kPieces; ++i) {
                CDxfPiece& piece = m_pieces->GetPiece(i);
                piece.text.reserve(2 * room);
                piece.pairs.reserve(room / 8);
            }
        } else if (m_piece) {
            // The piece is used up.
            m_linesBefore += m_piece->lines;
            if (m_piece->broken || m_piece->last) {
                m_broken = m_piece->broken;
                m_ended = true;
                return false;
            }
        }
        m_piece = m_pieces->Take();
        if (!m_piece) {
            m_ended = true;
            return false;
        }
        m_taking = m_piece->pairs.data();
        m_count = m_piece->count;
        m_next = 0;
        return true;
    }

    CModel& m_model;
    FILE* m_fp;
    const size_t m_pieceBytes;
    CPairReader m_reader;  // only to look for the binary sentinel
    std::unique_ptr<CDxfPieces> m_pieces;
    CDxfPiece* m_piece = nullptr;
    const CPair* m_taking = nullptr;
    size_t m_count = 0;
    size_t m_next = 0;
    long m_pairs = 0;
    long m_linesBefore = 0;  // the lines of the pieces used up
    bool m_ended = false;
    bool m_broken = false;
};

// The pairs of one source with one pair of look-back: an entity reads its
// groups up to the 0-code pair that starts the next one and hands that back.
class CCursor
{
public:
    explicit CCursor(CPairSource& source) : m_source(source) {}

    bool Read()
    {
        if (m_pushback) {
            m_pushback = false;
            return true;
        }
        const CPair* next = m_source.Next();
        m_pair = next ? next : &m_none;
        return next != nullptr;
    }
    void PushBack() { m_pushback = true; }
    // Valid until the next Read.
    const CPair& Pair() const { return *m_pair; }

private:
    CPairSource& m_source;
    const CPair m_none;  // what the cursor shows past the end
    const CPair* m_pair = &m_none;
    bool m_pushback = false;
};

bool Finite(const CVector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Where entities go: a linear map and a shift, in doubles. A block's
// entities go through the insert's placement (and those of the inserts
// around it); a 2D entity's points through its object coordinate system.
struct CPlacement
{
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    bool identity = true;

    CVector Apply(const CVector& v) const
    {
        if (identity)
            return v;
        double r[3];
        for (int i = 0; i < 3; ++i)
            r[i] = m[i][0] * v.x + m[i][1] * v.y + m[i][2] * v.z + m[i][3];
        return {static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2])};
    }

    // This placement applied after `inner`.
    CPlacement Compose(const CPlacement& inner) const
    {
        if (inner.identity)
            return *this;
        if (identity)
            return inner;
        CPlacement out;
        out.identity = false;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j) {
                double s = j == 3 ? m[i][3] : 0.0;
                for (int k = 0; k < 3; ++k)
                    s += m[i][k] * inner.m[k][j];
                out.m[i][j] = s;
            }
        return out;
    }

    // The direction d through the linear part only.
    void Turn(const double d[3], double out[3]) const
    {
        for (int i = 0; i < 3; ++i)
            out[i] = identity ? d[i] : m[i][0] * d[0] + m[i][1] * d[1] + m[i][2] * d[2];
    }

    // The object coordinate system whose Z axis is the extrusion direction
    // `normal` (DXF's arbitrary axis algorithm), raised by `elevation` along
    // that axis. The world itself for the default direction (0, 0, 1), and
    // for a direction of no length or beyond the doubles, which has no
    // axes.
    static CPlacement Ocs(const double normal[3], double elevation = 0.0)
    {
        CPlacement out;
        const double big = std::max({std::fabs(normal[0]), std::fabs(normal[1]), std::fabs(normal[2])});
        double n[3] = {0, 0, 1};
        if (big > 0 && std::isfinite(big)) {
            double length = 0;
            for (int i = 0; i < 3; ++i) {
                n[i] = normal[i] / big;
                length += n[i] * n[i];
            }
            length = std::sqrt(length);
            for (double& c : n)
                c /= length;
        }
        if (n[0] == 0 && n[1] == 0 && n[2] == 1) {
            if (elevation != 0) {
                out.identity = false;
                out.m[2][3] = elevation;
            }
            return out;
        }
        // X is the world Y axis (near the poles) or Z axis crossed with the
        // normal, Y the normal crossed with X.
        double x[3];
        if (std::fabs(n[0]) < 1.0 / 64 && std::fabs(n[1]) < 1.0 / 64) {
            x[0] = n[2], x[1] = 0, x[2] = -n[0];
        } else {
            x[0] = -n[1], x[1] = n[0], x[2] = 0;
        }
        Normalize(x);
        double y[3] = {n[1] * x[2] - n[2] * x[1], n[2] * x[0] - n[0] * x[2], n[0] * x[1] - n[1] * x[0]};
        Normalize(y);
        out.identity = false;
        for (int i = 0; i < 3; ++i) {
            out.m[i][0] = x[i];
            out.m[i][1] = y[i];
            out.m[i][2] = n[i];
            out.m[i][3] = n[i] * elevation;
        }
        return out;
    }

    // An insert's placement of its block: the block's base point moved to
    // the origin, scaled, turned about Z by `degrees`, put at `point`, all
    // in the insert's object coordinate system `ocs`.
    static CPlacement Insert(const double point[3], const double scale[3], double degrees, const double base[3],
                             const CPlacement& ocs)
    {
        const double t = degrees * 3.14159265358979323846 / 180.0;
        const double c = std::cos(t), s = std::sin(t);
        const double rs[3][3] = {{c * scale[0], -s * scale[1], 0}, {s * scale[0], c * scale[1], 0}, {0, 0, scale[2]}};
        CPlacement out;
        out.identity = false;
        for (int i = 0; i < 3; ++i) {
            double shifted = point[i];
            for (int k = 0; k < 3; ++k) {
                out.m[i][k] = rs[i][k];
                shifted -= rs[i][k] * base[k];
            }
            out.m[i][3] = shifted;
        }
        return ocs.Compose(out);
    }

private:
    static void Normalize(double v[3])
    {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
    }
};

struct CLayerColor
{
    std::string layer;
    int color = -1;
};

struct CBlock
{
    std::vector<CPair> pairs;
    double base[3] = {0, 0, 0};
    bool expanding = false;  // on the stack of inserts being placed
};

// An INSERT as read: where it stands (the placement of the entities around
// it) and what it says. Codes 70 and 71 make it a grid of copies, columns
// along the insert's own X axis and rows along its Y axis, turned with it
// but not scaled.
struct CInsert
{
    std::string name;
    CPlacement outer;
    double point[3] = {0, 0, 0};
    double scale[3] = {1, 1, 1};
    double rotation = 0;
    double normal[3] = {0, 0, 1};
    long columns = 1, rows = 1;
    double columnSpacing = 0, rowSpacing = 0;
};

class CDxfReader
{
public:
    CDxfReader(CModel& model, FILE* fp, size_t pieceBytes) : m_model(model), m_file(model, fp, pieceBytes)
    {
        std::fill(std::begin(m_nearestColor), std::end(m_nearestColor), -1);
    }

    int Read()
    {
        if (m_file.IsBinary()) {
            m_model.ErrorMessage("Binary DXF files can't be read; save the drawing as a text DXF file");
            return 0;
        }
        CCursor cursor(m_file);
        Scan(cursor);
        if (m_file.Broken()) {
            m_model.ErrorMessage("Bad group code at line %ld of the DXF file", m_file.Line());
            return 0;
        }
        // Inserts of blocks that the file defines after using them.
        for (const CInsert& pending : m_pending)
            PlaceInsert(pending, 0, true);
        if (m_overBudget)
            m_model.ErrorMessage("Too many nested block inserts; some were left out");
        return 1;
    }

private:
    static bool IsSkippedBlock(const std::string& name)
    {
        static const char* const kSkipped[] = {"AME_SOL", "AME_NIL", "AME_FRZ", "AVE_RENDER", "AME_JNK"};
        if (!name.empty() && name[0] == '*')
            return true;
        for (const char* skipped : kSkipped)
            if (name == skipped)
                return true;
        return false;
    }

    void Scan(CCursor& cursor)
    {
        static const CPlacement kWorld;
        while (cursor.Read()) {
            const CPair& pair = cursor.Pair();
            if (pair.Is(0, "EOF"))
                return;
            if (!pair.Is(0, "SECTION"))
                continue;
            if (!cursor.Read())
                return;
            if (cursor.Pair().code != 2) {
                cursor.PushBack();
                continue;
            }
            if (cursor.Pair().value == "BLOCKS")
                ScanBlocks(cursor);
            else if (cursor.Pair().value == "ENTITIES")
                ScanEntities(cursor, "ENDSEC", kWorld, 0);
            else
                SkipTo(cursor, "ENDSEC", nullptr);  // HEADER, TABLES, OBJECTS and the like
        }
    }

    // The end of the drawing, even where a section or block was left open:
    // hands the pair back so that the scan stops there and whatever follows
    // is never read.
    static bool AtEnd(CCursor& cursor)
    {
        if (!cursor.Pair().Is(0, "EOF"))
            return false;
        cursor.PushBack();
        return true;
    }

    // Reads through the 0-code pair `end`; a 0-code pair `stop` ends early and
    // is handed back.
    static void SkipTo(CCursor& cursor, const char* end, const char* stop)
    {
        while (cursor.Read() && !AtEnd(cursor)) {
            if (cursor.Pair().Is(0, end))
                return;
            if (stop && cursor.Pair().Is(0, stop)) {
                cursor.PushBack();
                return;
            }
        }
    }

    // Block definitions are kept as their pairs and placed by INSERT.
    void ScanBlocks(CCursor& cursor)
    {
        while (cursor.Read() && !AtEnd(cursor)) {
            if (cursor.Pair().Is(0, "ENDSEC"))
                return;
            if (!cursor.Pair().Is(0, "BLOCK"))
                continue;
            std::string name;
            double base[3] = {0, 0, 0};
            ReadGroups(cursor, m_blockRecord, [&](const CPair& pair) {
                if (pair.code == 2)
                    name = pair.value;
                else if (pair.code >= 10 && pair.code <= 30 && pair.code % 10 == 0)
                    base[pair.code / 10 - 1] = pair.number;
            });
            if (IsSkippedBlock(name)) {
                SkipTo(cursor, "ENDBLK", "ENDSEC");
                continue;
            }
            CBlock block;
            std::memcpy(block.base, base, sizeof base);
            while (cursor.Read() && !AtEnd(cursor)) {
                const CPair& pair = cursor.Pair();
                if (pair.Is(0, "ENDBLK"))
                    break;
                if (pair.Is(0, "ENDSEC")) {
                    cursor.PushBack();
                    break;
                }
                block.pairs.push_back(pair);
            }
            m_blocks.emplace(name, std::move(block));  // the first definition of a name holds
        }
    }

    void ScanEntities(CCursor& cursor, const char* terminator, const CPlacement& placement, int depth)
    {
        while (cursor.Read() && !AtEnd(cursor)) {
            const CPair& pair = cursor.Pair();
            if (pair.code != 0)
                continue;
            if (terminator && pair.value == terminator)
                return;
            if (pair.value == "3DFACE")
                ReadFace(cursor, placement);
            else if (pair.value == "POLYLINE")
                ReadPolyline(cursor, placement);
            else if (pair.value == "LWPOLYLINE")
                ReadLwPolyline(cursor, placement);
            else if (pair.value == "INSERT")
                ReadInsert(cursor, placement, depth);
            else if (pair.value == "CIRCLE")
                ReadGroups(cursor, m_circleRecord, [](const CPair&) {});
        }
    }

    // Hands every group of the entity to `handle` up to the 0-code pair that
    // ends it, which is pushed back. Layer and colour select the entity's
    // group as soon as they are read.
    template <typename Handle>
    void ReadGroups(CCursor& cursor, CLayerColor& record, Handle&& handle)
    {
        record.color = -1;
        while (cursor.Read()) {
            const CPair& pair = cursor.Pair();
            if (pair.code == 0) {
                cursor.PushBack();
                return;
            }
            if (pair.code == 8) {
                record.layer = pair.value.substr(0, kMaxLayerName);
                SelectLayerGroup(record);
            } else if (pair.code == 62) {
                record.color = IntOf(pair.number);
                SelectLayerGroup(record);
            } else {
                handle(pair);
            }
        }
    }

    void SelectLayerGroup(CLayerColor& record)
    {
        // No colour, "by layer" (256) and anything outside the palette draw white.
        const int number = record.color >= 0 && record.color < kDxfPaletteSize ? record.color : 7;
        // Every entity names its colour; the search runs once per palette entry.
        int& color = m_nearestColor[number];
        if (color < 0) {
            const unsigned char* rgb = DxfPalette[number];
            color = NearestColor(static_cast<float>(rgb[0] * kPaletteUnit), static_cast<float>(rgb[1] * kPaletteUnit),
                                 static_cast<float>(rgb[2] * kPaletteUnit));
        }
        const char* colorName = ColorTable[color].name;
        std::string& layer = record.layer;
        bool digitsOnly = true;
        for (char& ch : layer) {
            bool digit = ch >= '0' && ch <= '9';
            bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
            if (!digit && !letter)
                ch = '_';
            digitsOnly = digitsOnly && digit;
        }
        // Entities in a row mostly share a layer and one or two colours (the
        // layer's pair comes before the colour's). A name SetGroup has found
        // or made keeps meaning that group: a second group of the name is
        // never made, and none is removed while the file is read.
        for (CRecentGroup& recent : m_recentGroups) {
            if (recent.group && recent.color == color && recent.layer == layer) {
                m_model.m_currentGroup = recent.group;
                return;
            }
        }
        if (layer.empty()) {
            m_model.SetGroup(nullptr, color, 0);
        } else {
            std::string name = (digitsOnly ? "Layer" : "") + layer + "_" + colorName;
            m_model.SetGroup(name.c_str(), color, 0);
        }
        if (m_model.OutOfMemory())
            return;
        CRecentGroup& oldest = m_recentGroups[m_nextRecent];
        m_nextRecent = (m_nextRecent + 1) % 2;
        oldest.group = m_model.m_currentGroup;
        oldest.color = color;
        oldest.layer = layer;
    }

    void AddTriangle(const CPlacement& placement, const CVector& a, const CVector& b, const CVector& c)
    {
        CVector pa = placement.Apply(a), pb = placement.Apply(b), pc = placement.Apply(c);
        if (Finite(pa) && Finite(pb) && Finite(pc))
            m_model.AddTriangle(pa, pb, pc);
    }

    static bool Same(const CVector& a, const CVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

    static bool Distinct(const CVector& a, const CVector& b, const CVector& c)
    {
        return !Same(a, b) && !Same(b, c) && !Same(a, c);
    }

    static void SetCoordinate(CVector& v, int axis, double number)
    {
        float f = FloatOf(number);
        (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = f;
    }

    void ReadFace(CCursor& cursor, const CPlacement& placement)
    {
        CVector corner[4];
        bool fourth = false;
        ReadGroups(cursor, m_faceRecord, [&](const CPair& pair) {
            const int code = pair.code;
            if (code >= 10 && code <= 33 && code % 10 <= 3) {
                SetCoordinate(corner[code % 10], code / 10 - 1, pair.number);
                fourth = fourth || code % 10 == 3;
            }
        });
        if (!fourth)
            corner[3] = corner[2];
        if (Distinct(corner[0], corner[1], corner[2]))
            AddTriangle(placement, corner[0], corner[1], corner[2]);
        if (Distinct(corner[0], corner[2], corner[3]))
            AddTriangle(placement, corner[0], corner[2], corner[3]);
    }

    struct CVertex
    {
        int flags = 0;
        CVector position;
        int corners[4] = {0, 0, 0, 0};
    };

    // One VERTEX entity's groups. The vertices of a 2D outline pass over
    // layer and colour, those of meshes select their group with them.
    CVertex ReadVertex(CCursor& cursor, bool outline)
    {
        CVertex vertex;
        auto handle = [&](const CPair& pair) {
            const int code = pair.code;
            if (code == 10 || code == 20 || (code == 30 && !outline))
                SetCoordinate(vertex.position, code / 10 - 1, pair.number);
            else if (code == 70)
                vertex.flags = IntOf(pair.number);
            else if (code >= 71 && code <= 74)
                vertex.corners[code - 71] = IntOf(pair.number);
        };
        if (outline) {
            while (cursor.Read()) {
                if (cursor.Pair().code == 0) {
                    cursor.PushBack();
                    break;
                }
                handle(cursor.Pair());
            }
        } else {
            ReadGroups(cursor, m_vertexRecord, handle);
        }
        return vertex;
    }

    void ReadPolyline(CCursor& cursor, const CPlacement& placement)
    {
        int flags = 0, m = 0, n = 0;
        double elevation = 0, normal[3] = {0, 0, 1};
        ReadGroups(cursor, m_polylineRecord, [&](const CPair& pair) {
            if (pair.code == 70)
                flags = IntOf(pair.number);
            else if (pair.code == 71)
                m = IntOf(pair.number);
            else if (pair.code == 72)
                n = IntOf(pair.number);
            else if (pair.code == 30)
                elevation = pair.number;
            else if (pair.code == 210 || pair.code == 220 || pair.code == 230)
                normal[pair.code / 10 - 21] = pair.number;
        });
        const bool outline = (flags & (8 | 16 | 64)) == 0;
        std::vector<CVector> points;
        std::vector<CVertex> faces;
        // The vertices run to SEQEND; another entity in their place ends them
        // too. Whether code 66 announced them does not matter: newer files
        // leave it out.
        while (cursor.Read()) {
            const CPair& pair = cursor.Pair();
            if (pair.Is(0, "SEQEND"))
                break;
            if (!pair.Is(0, "VERTEX")) {
                cursor.PushBack();
                break;
            }
            CVertex vertex = ReadVertex(cursor, outline);
            if (outline)
                points.push_back(vertex.position);
            else if (vertex.flags & 64)
                points.push_back(vertex.position);
            else if (vertex.flags & 128)
                faces.push_back(vertex);
        }
        if (outline) {
            EmitOutline(std::move(points), placement, normal, elevation);
            return;
        }
        // Meshes and polyface meshes lie in world coordinates whatever
        // their extrusion direction.
        EmitPolyface(faces, points, placement);
        if (flags & 16)
            EmitMesh(flags, m, n, points, placement);
    }

    void EmitPolyface(const std::vector<CVertex>& faces, const std::vector<CVector>& points,
                      const CPlacement& placement)
    {
        for (const CVertex& face : faces) {
            // A negative number marks an invisible edge; 0 is an unused corner.
            CVector corner[4];
            int count = 0;
            bool valid = true;
            for (int number : face.corners) {
                if (number == 0)
                    continue;
                long index = std::labs(static_cast<long>(number));
                if (index > static_cast<long>(points.size()))
                    valid = false;
                else
                    corner[count++] = points[index - 1];
            }
            if (!valid || count < 3)
                continue;
            if (count == 3) {
                AddTriangle(placement, corner[0], corner[1], corner[2]);
            } else {
                AddTriangle(placement, corner[0], corner[1], corner[2]);
                AddTriangle(placement, corner[0], corner[2], corner[3]);
            }
        }
    }

    // An M by N grid of points, each row of N along the N direction; flag 1
    // closes it in M, flag 32 in N.
    void EmitMesh(int flags, int m, int n, const std::vector<CVector>& points, const CPlacement& placement)
    {
        if (m <= 0 || n <= 0)
            return;
        const long cm = flags & 1 ? 1 : 0, cn = flags & 32 ? 1 : 0;
        auto at = [&](long row, long column, CVector& out) {
            long index = row * n + column;
            if (index >= static_cast<long>(points.size()))
                return false;
            out = points[index];
            return true;
        };
        // A point row * N + column exists only below the count read, so rows
        // and columns past it hold no complete face.
        const long size = static_cast<long>(points.size());
        const long lastColumn = std::min<long>(n + cn - 1, size);
        const long lastRow = std::min<long>(m + cm - 1, size / n + 1);
        for (long i = 1; i <= lastColumn; ++i) {
            for (long j = 1; j <= lastRow; ++j) {
                CVector a, b, c, d;
                if (!at(j % m, i % n, a) || !at((j - 1) % m, i % n, b) || !at((j - 1) % m, (i - 1) % n, c) ||
                    !at(j % m, (i - 1) % n, d))
                    continue;  // the mesh holds fewer points than M by N
                if (Distinct(a, b, c))
                    AddTriangle(placement, a, b, c);
                if (Distinct(a, c, d))
                    AddTriangle(placement, a, c, d);
            }
        }
    }

    void ReadLwPolyline(CCursor& cursor, const CPlacement& placement)
    {
        std::vector<CVector> points;
        double elevation = 0, normal[3] = {0, 0, 1};
        ReadGroups(cursor, m_lwPolylineRecord, [&](const CPair& pair) {
            if (pair.code == 10)
                points.emplace_back(FloatOf(pair.number), 0.0f, 0.0f);
            else if (pair.code == 20 && !points.empty())
                points.back().y = FloatOf(pair.number);
            else if (pair.code == 38)
                elevation = pair.number;
            else if (pair.code == 210 || pair.code == 220 || pair.code == 230)
                normal[pair.code / 10 - 21] = pair.number;
        });
        EmitOutline(std::move(points), placement, normal, elevation);
    }

    // A 2D outline lies in the plane z = elevation of its object coordinate
    // system and is extruded along that system's Z axis, the extrusion
    // direction: its solid is built there, then carried into the world.
    void EmitOutline(std::vector<CVector> points, const CPlacement& placement, const double normal[3],
                     double elevation)
    {
        const CPlacement where = placement.Compose(CPlacement::Ocs(normal, elevation));
        ExtrudePolyline2d(m_model, std::move(points), m_item++,
                          [&](const CVector& a, const CVector& b, const CVector& c) { AddTriangle(where, a, b, c); });
    }

    void ReadInsert(CCursor& cursor, const CPlacement& placement, int depth)
    {
        CInsert insert;
        ReadGroups(cursor, m_insertRecord, [&](const CPair& pair) {
            const int code = pair.code;
            if (code == 2)
                insert.name = pair.value;
            else if (code == 10 || code == 20 || code == 30)
                insert.point[code / 10 - 1] = pair.number;
            else if (code >= 41 && code <= 43)
                insert.scale[code - 41] = pair.number;
            else if (code == 50)
                insert.rotation = pair.number;
            else if (code == 70)
                insert.columns = IntOf(pair.number);
            else if (code == 71)
                insert.rows = IntOf(pair.number);
            else if (code == 44)
                insert.columnSpacing = pair.number;
            else if (code == 45)
                insert.rowSpacing = pair.number;
            else if (code == 210 || code == 220 || code == 230)
                insert.normal[code / 10 - 21] = pair.number;
        });
        if (IsSkippedBlock(insert.name))
            return;
        insert.outer = placement;
        PlaceInsert(insert, depth, false);
    }

    // Places every copy of the insert's block, as far as the limits allow.
    // An insert of a block not defined yet waits for the end of the file
    // when it stands in the drawing itself (`late` is set when it is placed
    // then).
    void PlaceInsert(const CInsert& insert, int depth, bool late)
    {
        auto found = m_blocks.find(insert.name);
        if (found == m_blocks.end()) {
            if (depth == 0 && !late)
                m_pending.push_back(insert);  // perhaps defined further on
            return;
        }
        CBlock& block = found->second;
        if (depth >= kMaxInsertDepth || block.expanding)
            return;  // too deep, or a block that inserts itself
        const CPlacement ocs = CPlacement::Ocs(insert.normal);
        const CPlacement first = insert.outer.Compose(
            CPlacement::Insert(insert.point, insert.scale, insert.rotation, block.base, ocs));
        // Along a direction without spacing the copies would lie on each
        // other: it has one copy (as in ezdxf), and so has a count below 1.
        const auto count = [](long n, double spacing) {
            return spacing != 0 && std::isfinite(spacing) ? std::max(1L, n) : 1L;
        };
        const long columns = count(insert.columns, insert.columnSpacing);
        const long rows = count(insert.rows, insert.rowSpacing);
        if (columns == 1 && rows == 1) {
            PlaceBlock(block, first, depth, 0);
            return;
        }
        if (block.pairs.empty())
            return;  // nothing to draw, however often
        // The steps between copies in the insert's coordinate system, turned
        // with it, then carried to where the insert stands.
        const double t = insert.rotation * 3.14159265358979323846 / 180.0;
        const double c = std::cos(t), s = std::sin(t);
        const double alongX[3] = {c * insert.columnSpacing, s * insert.columnSpacing, 0};
        const double alongY[3] = {-s * insert.rowSpacing, c * insert.rowSpacing, 0};
        double columnStep[3], rowStep[3], ocsColumn[3], ocsRow[3];
        ocs.Turn(alongX, ocsColumn);
        ocs.Turn(alongY, ocsRow);
        insert.outer.Turn(ocsColumn, columnStep);
        insert.outer.Turn(ocsRow, rowStep);
        for (long row = 0; row < rows; ++row) {
            for (long column = 0; column < columns; ++column) {
                CPlacement copy = first;
                if (row || column) {
                    for (int i = 0; i < 3; ++i)
                        copy.m[i][3] +=
                            static_cast<double>(column) * columnStep[i] + static_cast<double>(row) * rowStep[i];
                }
                // Past the budget every further copy is left out too.
                if (!PlaceBlock(block, copy, depth, kArrayCopyPairs))
                    return;
            }
        }
    }

    // Replays the block's entities through `placement`; false, with nothing
    // placed, when that would go past the budget of replayed pairs. The
    // placement costs the block's pairs and `extra` more.
    bool PlaceBlock(CBlock& block, const CPlacement& placement, int depth, long extra)
    {
        const long filePairs = m_file.Line() / 2;
        const long budget = filePairs < (kMaxReplayedPairs - kFreeReplayedPairs) / kReplayedPairsPerFilePair
                                ? kFreeReplayedPairs + filePairs * kReplayedPairsPerFilePair
                                : kMaxReplayedPairs;
        const long cost = static_cast<long>(block.pairs.size()) + extra;
        if (m_replayed + cost > budget) {
            m_overBudget = true;
            return false;
        }
        m_replayed += cost;
        block.expanding = true;
        CRecordedPairs pairs(block.pairs);
        CCursor cursor(pairs);
        ScanEntities(cursor, nullptr, placement, depth + 1);
        block.expanding = false;
        return true;
    }

    CModel& m_model;
    CFilePairs m_file;
    std::map<std::string, CBlock> m_blocks;
    std::vector<CInsert> m_pending;
    long m_replayed = 0;
    bool m_overBudget = false;
    // The groups the last two SelectLayerGroup calls that set one chose.
    struct CRecentGroup
    {
        CGroup* group = nullptr;
        int color = -1;
        std::string layer;
    };
    CRecentGroup m_recentGroups[2];
    int m_nextRecent = 0;
    long m_item = 1;  // numbers the 2D outlines in status messages
    int m_nearestColor[kDxfPaletteSize];  // NearestColor of each palette entry, -1 until asked
    // Layer names carry over from one entity of a kind to the next.
    CLayerColor m_faceRecord, m_polylineRecord, m_vertexRecord, m_lwPolylineRecord, m_insertRecord,
        m_circleRecord, m_blockRecord;
};

}  // namespace

int ReadDxfPieces(CModel& model, FILE* fp, size_t pieceBytes)
{
    model.BeginWait();
    model.Clear(true);
    int result = 0;
    try {
        if (!model.m_currentGroup)
            model.SetGroup("Red", FindColor("Red"), FindTexture("Shiny"));
        model.StatusMessage("Reading DXF File...");
        auto reader = std::make_unique<CDxfReader>(model, fp, pieceBytes ? pieceBytes : 1);
        result = reader->Read();
    } catch (const std::bad_alloc&) {
        model.ErrorMessage("Out of Memory\n");
        result = 0;
    } catch (const CReadError&) {
        model.ErrorMessage("Read error in the DXF file");
        result = 0;
    }
    model.ClearVertexHash();
    model.EndWait();
    if (result != 1) {
        model.Clear(true);
        return 0;
    }
    model.FinishLoad();
    return 1;
}

int ReadDxfStream(CModel& model, FILE* fp)
{
    return ReadDxfPieces(model, fp, size_t{1} << 16);
}

int ReadDxf(CModel& model, const char* path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path, "r"), std::fclose);
    if (!fp) {
        model.BeginWait();
        model.Clear(true);
        model.ErrorMessage("Couldn't open file %s", path);
        model.EndWait();
        return 0;
    }
    return ReadDxfStream(model, fp.get());
}
