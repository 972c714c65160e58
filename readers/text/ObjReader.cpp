#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "ObjMaterials.h"
#include "Pipeline.h"
#include "PolygonSplit.h"
#include "ReaderFrame.h"
#include "TextInput.h"
#include "TextReaders.h"

using textinput::IsDigit;
using textinput::IsSpace;

namespace {

// What the lines of the file say, for the model to be built from, each item
// with its line. Vertices and faces are checked against the model (a face's
// vertex numbers against the vertices before it) as it is built.
enum class CObjKind : uint8_t {
    kVertex,     // three coordinates
    kFace,       // vertex numbers as written, negative ones counting back
    kGroup,      // a group name
    kSmooth,     // a normal: the current group turns smooth
    kBadVertex,  // a vertex line that could not be read
    kCut,        // the line was too long and only its start was read
    kObject,     // an object name, made a group name
    kMaterial,   // usemtl: the name as written
    kLibraries   // mtllib: the names as written
};

struct CObjItem
{
    CObjKind kind;
    uint32_t line;   // within the text parsed
    uint32_t first;  // where its numbers or name start
    uint32_t count;
};

struct CObjParsed
{
    std::vector<CObjItem> items;
    std::vector<float> coordinates;
    std::vector<int64_t> corners;
    std::string names;

    void Clear()
    {
        items.clear();
        coordinates.clear();
        corners.clear();
        names.clear();
    }
};

// A statement may go on over several lines, each but the last ending in a
// backslash (some exporters wrap long face lines so). Where the backslash of
// a line's text (up to a line feed or a zero byte) stands, or npos.
size_t ContinuedAt(const char* text, size_t length)
{
    if (length && text[length - 1] == '\r')
        --length;
    return length && text[length - 1] == '\\' ? length - 1 : std::string::npos;
}

// Comments are never continued: one ending in a Windows folder name would
// swallow the statement after it.
bool IsComment(const char* text)
{
    while (IsSpace(static_cast<unsigned char>(*text)))
        ++text;
    return *text == '#';
}

// Reads lines into items. It touches nothing of the model, so that it can
// run on either thread.
class CObjParser
{
public:
    // For pieces read in place (FillInPlace).
    CObjParser() : m_in(nullptr, 0, nullptr, false) {}
    CObjParser(const std::vector<unsigned char>& text, FILE* rest, bool fileStart)
        : m_in(text.data(), text.size(), rest, fileStart)
    {
    }

    // Items of up to `most` lines; false once the lines have ended. May
    // throw std::bad_alloc.
    bool Fill(CObjParsed& out, size_t most)
    {
        out.Clear();
        for (size_t n = 0; n < most; ++n) {
            if (!m_in.ReadLine(m_text))
                return false;
            ++m_lines;
            bool cut = m_in.LineCut();
            if (!cut && !m_in.LineHadZero() && !IsComment(m_text.c_str()))
                JoinContinued(cut);
            if (cut)
                Add(out, CObjKind::kCut, 0, 0);
            ParseLine(out, m_text.c_str());
        }
        return true;
    }

    // Items of all the lines of a piece's text, read where they lie: each
    // line feed becomes the zero that ends its line. A piece holds whole
    // lines, each shorter than the longest a stream hands out whole, so they
    // read as the stream gives them (a zero byte ends a line's text there
    // too). May throw std::bad_alloc.
    void FillInPlace(std::vector<unsigned char>& text, bool fileStart, CObjParsed& out)
    {
        out.Clear();
        static constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
        size_t at = fileStart && text.size() >= 3 && std::equal(kByteOrderMark, kByteOrderMark + 3, text.begin()) ? 3 : 0;
        // A last line without a line feed is a line too.
        if (text.size() > at && text.back() != '\n')
            text.push_back('\n');
        while (at < text.size()) {
            size_t length;
            const char* chars = TakeLine(text, at, length);
            // A line with a zero byte in it goes on no further, as the
            // stream hands out only its text before the zero.
            if (ContinuedAt(chars, length) != std::string::npos && std::strlen(chars) == length && !IsComment(chars))
                at = JoinLines(text, chars, at, out);
            else
                ParseLine(out, chars);
        }
    }

    long Lines() const { return m_lines; }

private:
    // The piece's line at `at`, its line feed made the zero that ends it, and
    // the length up to that feed; `at` moves on to the next line.
    const char* TakeLine(std::vector<unsigned char>& text, size_t& at, size_t& length)
    {
        unsigned char* line = text.data() + at;
        auto* feed = static_cast<unsigned char*>(std::memchr(line, '\n', text.size() - at));
        *feed = '\0';
        ++m_lines;
        at = static_cast<size_t>(feed - text.data()) + 1;
        length = static_cast<size_t>(feed - line);
        return reinterpret_cast<const char*>(line);
    }

    // The lines that continue the statement in m_text, joined to it with a
    // blank for each backslash; past kMaxLine the rest of the statement is
    // skipped and `cut` set.
    void JoinContinued(bool& cut)
    {
        bool full = false;
        for (size_t mark = ContinuedAt(m_text.data(), m_text.size()); mark != std::string::npos;) {
            if (!full)
                m_text.resize(mark);
            if (!m_in.ReadLine(m_more))
                return;
            ++m_lines;
            cut = cut || m_in.LineCut();
            mark = m_in.LineCut() || m_in.LineHadZero() ? std::string::npos : ContinuedAt(m_more.data(), m_more.size());
            full = full || m_text.size() + 1 + m_more.size() > textinput::CTextStream::kMaxLine;
            cut = cut || full;
            if (!full) {
                if (mark != std::string::npos)
                    mark += m_text.size() + 1;
                m_text += ' ';
                m_text += m_more;
            }
        }
    }

    // A statement continued from `first` (its line's text, ended by a zero)
    // over the piece's next lines, joined as JoinContinued joins them, and
    // parsed; where the lines after it start. Pieces are never cut within a
    // statement (see CObjCut).
    size_t JoinLines(std::vector<unsigned char>& text, const char* first, size_t at, CObjParsed& out)
    {
        m_text.assign(first);
        for (size_t mark = ContinuedAt(m_text.data(), m_text.size()); mark != std::string::npos;) {
            m_text.resize(mark);
            if (at >= text.size())
                break;
            size_t length;
            const char* chars = TakeLine(text, at, length);
            const size_t kept = std::strlen(chars);
            mark = kept == length ? ContinuedAt(chars, kept) : std::string::npos;
            if (mark != std::string::npos)
                mark += m_text.size() + 1;
            m_text += ' ';
            m_text.append(chars, kept);
        }
        ParseLine(out, m_text.c_str());
        return at;
    }

    void Add(CObjParsed& out, CObjKind kind, size_t first, size_t count)
    {
        out.items.push_back({kind, static_cast<uint32_t>(m_lines), static_cast<uint32_t>(first),
                             static_cast<uint32_t>(count)});
    }

    void ParseLine(CObjParsed& out, const char* p)
    {
        const char* keyword = p;
        while (*p && !IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const size_t length = static_cast<size_t>(p - keyword);
        while (IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const char* args = p;

        if (length >= 1 && keyword[0] == 'g') {
            ParseGroup(out, args);
        } else if (length >= 2 && keyword[0] == 'v' && keyword[1] == 'n') {
            // Normals are not read; their presence asks for smooth shading.
            Add(out, CObjKind::kSmooth, 0, 0);
        } else if (length == 1 && keyword[0] == 'v') {
            // vt and vp lines are not positions and must not take vertex numbers.
            ParseVertex(out, args);
        } else if ((length == 1 && keyword[0] == 'f') || (length >= 2 && keyword[0] == 'f' && keyword[1] == 'o')) {
            ParseFace(out, args);
        } else if (length == 1 && keyword[0] == 'o') {
            ParseGroup(out, args, CObjKind::kObject);
        } else if (length == 6 && std::strncmp(keyword, "usemtl", 6) == 0) {
            ParseText(out, args, CObjKind::kMaterial);
        } else if (length == 6 && std::strncmp(keyword, "mtllib", 6) == 0) {
            ParseText(out, args, CObjKind::kLibraries);
        }
    }

    void ParseGroup(CObjParsed& out, const char* args, CObjKind kind = CObjKind::kGroup)
    {
        const size_t first = out.names.size();
        objmaterials::AppendGroupName(out.names, args);
        Add(out, kind, first, out.names.size() - first);
    }

    // Material and library names are looked up as written.
    void ParseText(CObjParsed& out, const char* args, CObjKind kind)
    {
        const size_t first = out.names.size();
        out.names += TrimmedName(args);
        Add(out, kind, first, out.names.size() - first);
    }

    void ParseVertex(CObjParsed& out, const char* args)
    {
        float c[3];
        const char* s = args;
        for (float& value : c) {
            while (IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            const char* end = nullptr;
            double d = *s ? textinput::ParseDouble(s, &end) : 0.0;
            if (!*s || end == s) {
                Add(out, CObjKind::kBadVertex, 0, 0);
                return;
            }
            value = textinput::ToFloat(d);
            if (!std::isfinite(value)) {
                Add(out, CObjKind::kBadVertex, 0, 0);
                return;
            }
            // A w component or vertex colours may follow; only three are read.
            s = end;
            while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                ++s;
        }
        Add(out, CObjKind::kVertex, out.coordinates.size(), 3);
        out.coordinates.insert(out.coordinates.end(), c, c + 3);
    }

    void ParseFace(CObjParsed& out, const char* args)
    {
        const size_t first = out.corners.size();
        for (const char* s = args; *s;) {
            while (IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            if (!*s)
                break;
            // The vertex number leads a v/vt/vn token; tokens without one
            // (comments, stray words) do not name a corner.
            const bool negative = *s == '-';
            const char* digits = s + (*s == '-' || *s == '+');
            if (!IsDigit(*digits)) {
                while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                    ++s;
                continue;
            }
            // Read in the one pass over the token. Every number beyond the
            // vertex count is as bad as another, so the digits stop counting
            // long before they could overflow.
            constexpr int64_t kBeyond = int64_t{1} << 40;
            int64_t magnitude = 0;
            for (s = digits; IsDigit(*s); ++s)
                magnitude = magnitude < kBeyond ? magnitude * 10 + (*s - '0') : kBeyond;
            while (*s && !IsSpace(static_cast<unsigned char>(*s)))
                ++s;
            // "-0" names no vertex, as "0" does not.
            out.corners.push_back(negative ? -magnitude : magnitude);
        }
        Add(out, CObjKind::kFace, first, out.corners.size() - first);
    }

    textinput::CTextStream m_in;
    std::string m_text;
    std::string m_more;  // a continuing line
    long m_lines = 0;
};

// A piece of the file that ends with a line feed, parsed on its own (see
// CPipeline): lines are read alike wherever they start.
struct CObjPiece : CPieceText
{
    CObjParsed content;
    long lines = 0;

    void Forget()
    {
        content.Clear();
        lines = 0;
    }

    void Parse()
    {
        if (rest)
            return;
        CObjParser parser;
        parser.FillInPlace(text, first, content);
        lines = parser.Lines();
    }
};

// Pieces end after the last line feed of what was read that ends a
// statement: none that follows a backslash, be it a comment's.
struct CObjCut
{
    void Start(const std::vector<unsigned char>&) {}
    size_t operator()(const std::vector<unsigned char>& text, size_t from) const
    {
        for (size_t i = text.size(); i > from; --i)
            if (text[i - 1] == '\n' &&
                ContinuedAt(reinterpret_cast<const char*>(text.data()), i - 1) == std::string::npos)
                return i;
        return 0;
    }
};

using CObjPieces = CFilePieces<CObjPiece, CObjCut>;


class CObjReader
{
public:
    // With `pieceBytes` 0 the file is read as one stream. Material files are
    // read from `folder`, or none without one.
    CObjReader(CModel& model, FILE* fp, size_t pieceBytes, const char* folder)
        : m_model(model), m_fp(fp), m_pieceBytes(pieceBytes), m_materials(folder ? folder : "", folder != nullptr)
    {
    }

    int Read()
    {
        m_model.BeginWait();
        m_model.Clear(true);
        try {
            // Objects are the groups of files that name no groups.
            m_objectsAsGroups = !objmaterials::HasGroupLines(m_fp);
            if (!Build())
                return Fail();
            m_materials.Finish(m_model);
        } catch (const std::bad_alloc&) {
            m_model.ErrorMessage("Out of memory, Line# %ld", m_line);
            return Fail();
        } catch (const CReadError&) {
            readerframe::ReadErrorMessage(m_model, "OBJ");
            return Fail();
        }
        // Vertices were stored unmerged; their merge index is of no further use.
        m_model.ClearVertexHash();
        m_model.EndWait();
        m_model.FinishLoad();
        return 1;
    }

private:
    // The file parsed in pieces on both processors while the model is built
    // from them in order (see CPipeline). False when a line failed the read;
    // the model has said why.
    bool Build()
    {
        if (!m_pieceBytes)
            return BuildFromStream(CObjParser({}, m_fp, true), 0);
        // A line much longer than a piece ends the cutting.
        CObjPieces pieces(m_fp, m_pieceBytes, 256 * m_pieceBytes, m_model.MayUseHelperThread());
        // The pieces' room, taken here once rather than by whichever thread
        // fills a piece first: memory the other thread takes stays with it
        // (the allocator keeps it for that thread) and would add to the
        // load's peak.
        const size_t room = std::min<size_t>(m_pieceBytes, 1u << 20);
        for (unsigned i = 0; i < CObjPieces::kPieces; ++i) {
            CObjParsed& content = pieces.GetPiece(i).content;
            pieces.GetPiece(i).text.reserve(room + room / 2);
            content.items.reserve(room / 16);
            content.coordinates.reserve(room / 8);
            content.corners.reserve(room / 8);
        }
        pieces.Carry().reserve(2 * room);
        long linesBefore = 0;
        for (;;) {
            CObjPiece* piece = pieces.Take();
            if (!piece)
                return true;
            if (piece->rest)
                return BuildFromStream(CObjParser(piece->text, piece->rest, piece->first), linesBefore);
            if (!BuildItems(piece->content, linesBefore))
                return false;
            linesBefore += piece->lines;
            StatusUpTo(linesBefore);
            if (piece->last)
                return true;
        }
    }

    // Builds from the lines the parser reads from its stream, a batch at a
    // time, as the model takes them; they come after `linesBefore` lines.
    bool BuildFromStream(CObjParser&& parser, long linesBefore)
    {
        CObjParsed batch;
        for (bool more = true; more;) {
            more = parser.Fill(batch, 1024);
            if (!BuildItems(batch, linesBefore))
                return false;
        }
        StatusUpTo(linesBefore + parser.Lines());
        return true;
    }

    // The status texts of the lines up to `line`, every hundredth.
    void StatusUpTo(long line)
    {
        for (long next = (m_statusLine / 100 + 1) * 100; next <= line; next += 100)
            m_model.StatusMessage("Reading Line# %ld", next);
        if (line > m_statusLine)
            m_statusLine = line;
    }

    // False when an item failed the read.
    bool BuildItems(const CObjParsed& content, long linesBefore)
    {
        for (const CObjItem& item : content.items) {
            m_line = linesBefore + static_cast<long>(item.line);
            // A line's status text follows the warning that it was cut.
            StatusUpTo(m_line - 1);
            if (item.kind == CObjKind::kCut) {
                m_model.WarningMessage("Line %ld is longer than %zu MiB; only its start was read", m_line,
                                       textinput::CTextStream::kMaxLine >> 20);
                continue;
            }
            StatusUpTo(m_line);
            // A vertex, face or group the model could not store fails the
            // read; the model has said why.
            if (!BuildItem(content, item) || m_model.OutOfMemory())
                return false;
        }
        return true;
    }

    bool BuildItem(const CObjParsed& content, const CObjItem& item)
    {
        switch (item.kind) {
        case CObjKind::kVertex: {
            const float* c = content.coordinates.data() + item.first;
            if (m_model.AddUnmergedVertex(CVector(c[0], c[1], c[2])) < 0) {
                m_model.ErrorMessage("m_vertices.Add( point ), failed");
                return false;
            }
            return true;
        }
        case CObjKind::kBadVertex:
            m_model.ErrorMessage("Syntax error line %ld", m_line);
            return false;
        case CObjKind::kFace:
            return BuildFace(content.corners.data() + item.first, item.count);
        case CObjKind::kObject:
            if (!m_objectsAsGroups)
                return true;
            [[fallthrough]];
        case CObjKind::kGroup: {
            const std::string name = content.names.substr(item.first, item.count);
            m_model.SetGroup(name.c_str(), FindColor("Red"), FindTexture("Shiny"));
            m_materials.GroupSelected(m_model);
            return true;
        }
        case CObjKind::kMaterial:
            m_materials.Use(content.names.substr(item.first, item.count));
            return true;
        case CObjKind::kLibraries:
            m_materials.ReadLibraries(m_model, content.names.substr(item.first, item.count));
            return true;
        case CObjKind::kSmooth:
            m_model.SmoothCurrentGroup();
            return true;
        case CObjKind::kCut:
            break;
        }
        return true;
    }

    bool BuildFace(const int64_t* numbers, size_t count)
    {
        const int64_t vertexCount = m_model.GetVertexCount();
        bool bad = false;
        m_corners.clear();
        for (size_t k = 0; k < count; ++k) {
            // Negative numbers count back from the last vertex read so far.
            int64_t number = numbers[k] < 0 ? vertexCount + 1 + numbers[k] : numbers[k];
            if (number < 1 || number > vertexCount) {
                bad = true;
                number = 0;
            }
            m_corners.push_back(static_cast<int32_t>(number));
        }
        if (!m_model.m_currentGroup) {
            readerframe::SelectDefaultGroup(m_model);
            m_materials.DefaultGroup(m_model.m_currentGroup);
        }
        if (bad) {
            m_model.ErrorMessage("Bad face value, line %d", textinput::ToInt(m_line));
            return false;
        }
        AddFaceOfMaterial();
        return true;
    }

    // Adds m_corners to the group of the current group and material; the
    // current group stays the one the group lines chose.
    void AddFaceOfMaterial()
    {
        CGroup* base = m_model.m_currentGroup;
        m_model.m_currentGroup = m_materials.FaceGroup(m_model, base);
        if (m_corners.size() == 4)
            m_model.AddFace(4, m_corners.data());
        else
            polygonsplit::AddPolygon(m_model, m_corners, &m_splitBudget);
        m_model.m_currentGroup = base;
    }

    int Fail()
    {
        m_model.Clear(true);
        m_model.EndWait();
        return -1;
    }

    CModel& m_model;
    FILE* m_fp;
    const size_t m_pieceBytes;
    std::vector<int32_t> m_corners;
    polygonsplit::CSplitBudget m_splitBudget;  // ear clipping for the whole file
    long m_line = 0;        // the line of the item being built
    long m_statusLine = 0;  // the status texts are said up to this line
    objmaterials::CObjMaterials m_materials;
    bool m_objectsAsGroups = false;
};

}  // namespace

int ReadObj(CModel& model, FILE* fp)
{
    return ReadObjPieces(model, fp, size_t{1} << 15);
}

int ReadObjPieces(CModel& model, FILE* fp, size_t pieceBytes)
{
    CObjReader reader(model, fp, pieceBytes, nullptr);
    return reader.Read();
}

int ReadObjFile(CModel& model, const char* path)
{
    FILE* fp = std::fopen(path, "r");
    if (!fp) {
        model.ErrorMessage("Couldn't open file %s", path);
        return -1;
    }
    const char* slash = std::strrchr(path, '/');
    const std::string folder = slash ? std::string(path, static_cast<size_t>(slash - path)) : std::string(".");
    int result = -1;
    {
        CObjReader reader(model, fp, size_t{1} << 15, folder.empty() ? "/" : folder.c_str());
        result = reader.Read();
    }
    std::fclose(fp);
    return result;
}
