#include "StlReader.h"

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "ReaderFrame.h"
#include "TextInput.h"

namespace {

constexpr size_t kHeaderBytes = 80;
constexpr size_t kPrefixBytes = kHeaderBytes + 4;  // the header and the facet count
constexpr uint64_t kFacetBytes = 50;               // normal, three corners, attribute bytes
// Group names keep at most this many characters, as RAW names do.
constexpr size_t kMaxGroupName = 79;
// Bytes a stream that is not a regular file is read in at a time, so that
// what is held never runs ahead of what the stream really gave.
constexpr size_t kStreamChunk = 1u << 20;

uint32_t LittleEndian32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

float LittleEndianFloat(const unsigned char* p)
{
    float value;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, p, sizeof value);
    } else {
        const uint32_t bits = LittleEndian32(p);
        std::memcpy(&value, &bits, sizeof value);
    }
    return value;
}

bool IsAlphanumeric(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || textinput::IsDigit(c);
}

// A name as the OBJ reader makes group names: letters and digits stay, a run
// of white space becomes one "_", any other character "_".
std::string ValidName(const char* text, size_t length)
{
    while (length > 0 && textinput::IsSpace(static_cast<unsigned char>(*text))) {
        ++text;
        --length;
    }
    while (length > 0 && textinput::IsSpace(static_cast<unsigned char>(text[length - 1])))
        --length;
    std::string name;
    for (size_t i = 0; i < length && name.size() < kMaxGroupName; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (textinput::IsSpace(c)) {
            while (i + 1 < length && textinput::IsSpace(static_cast<unsigned char>(text[i + 1])))
                ++i;
            name += '_';
        } else {
            name += IsAlphanumeric(c) ? static_cast<char>(c) : '_';
        }
    }
    return name;
}

// The group name a file gives: its name without folder and extension.
std::string FileGroupName(const char* fileName)
{
    if (!fileName)
        return {};
    std::string base = fileName;
    const size_t slash = base.find_last_of('/');
    if (slash != std::string::npos)
        base.erase(0, slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    return ValidName(base.data(), base.size());
}

// `keyword` in lower case; the literals' lengths are known when compiling.
bool EqualsNoCase(const std::string& word, std::string_view keyword)
{
    const size_t n = keyword.size();
    if (word.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != keyword[i])
            return false;
    }
    return true;
}

// ASCII files start with "solid" (after blanks or a byte-order mark), and
// hold no zero byte: binary headers that begin with the word are padded
// with zeros more often than not.
bool LooksLikeAscii(const std::vector<unsigned char>& prefix)
{
    if (std::memchr(prefix.data(), 0, prefix.size()))
        return false;
    size_t i = 0;
    if (prefix.size() >= 3 && prefix[0] == 0xEF && prefix[1] == 0xBB && prefix[2] == 0xBF)
        i = 3;
    while (i < prefix.size() && textinput::IsSpace(prefix[i]))
        ++i;
    if (prefix.size() - i < 5)
        return false;
    const std::string word(reinterpret_cast<const char*>(prefix.data() + i), 5);
    return EqualsNoCase(word, "solid");
}

// Reads up to `want` more bytes onto the end of `bytes`, a chunk at a time;
// false when the stream ended first.
bool ReadMore(FILE* fp, std::vector<unsigned char>& bytes, uint64_t want)
{
    while (want > 0) {
        const size_t chunk = want < kStreamChunk ? static_cast<size_t>(want) : kStreamChunk;
        const size_t old = bytes.size();
        bytes.resize(old + chunk);
        const size_t got = ReadOrThrow(bytes.data() + old, chunk, fp);
        bytes.resize(old + got);
        if (got < chunk)
            return false;
        want -= got;
    }
    return true;
}

class CStlReader
{
public:
    CStlReader(CModel& model, FILE* fp, const char* fileName) : m_model(model), m_fp(fp), m_fileName(fileName) {}

    int Read()
    {
        readerframe::BeginRead(m_model);
        bool ok = false;
        try {
            ok = Parse();
        } catch (const std::bad_alloc&) {
            m_model.ErrorMessage("Out of Memory\n");
        } catch (const CReadError&) {
            readerframe::ReadErrorMessage(m_model, "STL");
        }
        if (!ok || m_model.OutOfMemory()) {
            m_model.EndWait();
            m_model.Clear(true);
            return 0;
        }
        m_model.ClearVertexHash();
        m_model.EndWait();
        m_model.FinishLoad();
        return 1;
    }

private:
    bool Parse()
    {
        m_fileGroup = FileGroupName(m_fileName);
        std::vector<unsigned char> prefix;
        ReadMore(m_fp, prefix, kPrefixBytes);
        const bool ascii = LooksLikeAscii(prefix);
        if (prefix.size() < kPrefixBytes) {
            if (ascii)
                return ReadAscii(prefix);
            m_model.ErrorMessage("The file is not STL: %zu bytes, too short for a binary STL file, and it does not "
                                 "start with \"solid\"",
                                 prefix.size());
            return false;
        }
        const uint32_t count = LittleEndian32(prefix.data() + kHeaderBytes);
        const uint64_t facetBytes = count * kFacetBytes;
        // The bytes after the count: known up front for a regular file;
        // a pipe is read as far as the count asks and one byte more.
        std::vector<unsigned char> body;
        uint64_t after;
        struct stat status;
        const int fd = fileno(m_fp);
        const long position = fd >= 0 ? std::ftell(m_fp) : -1;
        if (fd >= 0 && position >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            static_cast<uint64_t>(status.st_size) >= static_cast<uint64_t>(position)) {
            after = static_cast<uint64_t>(status.st_size) - static_cast<uint64_t>(position);
            if (after == facetBytes || (!ascii && after > facetBytes)) {
                // The whole file in one read: it is small beside the model it makes.
                body.resize(static_cast<size_t>(facetBytes));
                if (ReadOrThrow(body.data(), body.size(), m_fp) < body.size())
                    return CutShort(count, body.size());  // the file shrank meanwhile
            }
        } else {
            ReadMore(m_fp, body, facetBytes + 1);
            after = body.size();
        }
        if (after == facetBytes)
            return ReadBinary(count, body);
        if (ascii) {
            prefix.insert(prefix.end(), body.begin(), body.end());
            body = std::vector<unsigned char>();
            return ReadAscii(prefix);
        }
        if (after < facetBytes)
            return CutShort(count, after);
        m_model.WarningMessage("The binary STL file holds more than its %lu facets; the rest of it was not read",
                               static_cast<unsigned long>(count));
        body.resize(static_cast<size_t>(facetBytes));
        return ReadBinary(count, body);
    }

    bool CutShort(uint32_t count, uint64_t after)
    {
        m_model.ErrorMessage("The binary STL file is cut short: its header counts %lu facets, %llu bytes, but "
                             "only %llu bytes follow",
                             static_cast<unsigned long>(count), static_cast<unsigned long long>(count * kFacetBytes),
                             static_cast<unsigned long long>(after));
        return false;
    }

    void SelectGroup(const std::string& name)
    {
        // A nameless solid of a nameless file stays in the default group.
        if (!name.empty())
            m_model.SetGroup(name.c_str(), FindColor("Red"), FindTexture("Shiny"));
        else if (!m_fileGroup.empty())
            m_model.SetGroup(m_fileGroup.c_str(), FindColor("Red"), FindTexture("Shiny"));
        else
            readerframe::SelectDefaultGroup(m_model);
    }

    bool ReadBinary(uint32_t count, const std::vector<unsigned char>& body)
    {
        SelectGroup({});
        m_model.ReserveVertices(static_cast<int>(count / 2 < 1u << 30 ? count / 2 : 1u << 30));
        for (uint32_t i = 0; i < count && !m_model.OutOfMemory(); ++i) {
            // The normal (12 bytes) and the attribute bytes at the end are skipped.
            const unsigned char* corners = body.data() + i * kFacetBytes + 12;
            float v[9];
            for (int k = 0; k < 9; ++k)
                v[k] = LittleEndianFloat(corners + 4 * k);
            for (float value : v)
                if (!std::isfinite(value)) {
                    m_model.ErrorMessage("Facet %lu of the binary STL file has a corner that is not a finite number",
                                         static_cast<unsigned long>(i) + 1);
                    return false;
                }
            m_model.AddTriangle(CVector(v[0], v[1], v[2]), CVector(v[3], v[4], v[5]), CVector(v[6], v[7], v[8]));
            if ((i + 1) % 100 == 0)
                m_model.StatusMessage("Reading Facet# %lu", static_cast<unsigned long>(i) + 1);
        }
        return true;
    }

    bool ReadAscii(const std::vector<unsigned char>& prefix)
    {
        textinput::CTextStream in(prefix.data(), prefix.size(), m_fp, true);
        CAsciiParser parser(m_model, in, *this);
        return parser.Read();
    }

    // The ASCII grammar: solids, each of facets, each an outer loop of
    // corners. Keywords are read in any case.
    class CAsciiParser
    {
    public:
        CAsciiParser(CModel& model, textinput::CTextStream& in, CStlReader& owner)
            : m_model(model), m_in(in), m_owner(owner)
        {
        }

        bool Read()
        {
            while (NextWord()) {
                if (!EqualsNoCase(m_word, "solid"))
                    return Expected("\"solid\"");
                std::string line;
                m_in.ReadLine(line);
                m_owner.SelectGroup(ValidName(line.data(), line.size()));
                if (!ReadSolid())
                    return false;
            }
            if (m_short > 0)
                m_model.WarningMessage("%ld facets of the STL file have fewer than three corners; they were left out",
                                       m_short);
            return true;
        }

    private:
        bool ReadSolid()
        {
            for (;;) {
                if (!NextWord()) {
                    m_model.WarningMessage("The STL file ends without \"endsolid\"");
                    return true;
                }
                if (EqualsNoCase(m_word, "endsolid")) {
                    m_in.SkipLine();
                    return true;
                }
                if (!EqualsNoCase(m_word, "facet"))
                    return Expected("\"facet\" or \"endsolid\"");
                if (!ReadFacet())
                    return false;
            }
        }

        bool ReadFacet()
        {
            // "normal" and its numbers, which the load works out for itself.
            do {
                if (!NextWord())
                    return EndsInFacet();
                if (EqualsNoCase(m_word, "outer"))
                    break;
                if (IsFacetKeyword())
                    return Expected("\"outer loop\"");
            } while (true);
            if (!NextWord())
                return EndsInFacet();
            if (!EqualsNoCase(m_word, "loop"))
                return Expected("\"loop\"");
            m_corners.clear();
            for (;;) {
                if (!NextWord())
                    return EndsInFacet();
                if (!EqualsNoCase(m_word, "vertex"))
                    break;
                // Numbers that lie whole in the input's buffer are read there
                // in one pass; the rest one by one, which tells what was wrong.
                // A fault is told at the vertex's line: a missing number is
                // only found on the line after it.
                const long line = m_in.Line();
                float v[3];
                for (int k = textinput::ScanFloatsBuffered(m_in, v, 3); k < 3; ++k)
                    if (!ReadCoordinate(v[k], line))
                        return false;
                m_corners.emplace_back(v[0], v[1], v[2]);
            }
            if (!EqualsNoCase(m_word, "endloop"))
                return Expected("\"vertex\" or \"endloop\"");
            if (!NextWord())
                return EndsInFacet();
            if (!EqualsNoCase(m_word, "endfacet"))
                return Expected("\"endfacet\"");
            // Fewer corners than three (some programs write their lines and
            // points so) give nothing, more than three a fan, as polygons
            // do elsewhere.
            if (m_corners.size() < 3)
                ++m_short;
            for (size_t k = 2; k < m_corners.size(); ++k)
                m_model.AddTriangle(m_corners[0], m_corners[k - 1], m_corners[k]);
            if (++m_facets % 100 == 0)
                m_model.StatusMessage("Reading Facet# %ld", m_facets);
            return !m_model.OutOfMemory();
        }

        bool ReadCoordinate(float& value, long line)
        {
            double d;
            if (!m_in.ReadDouble(d)) {
                m_model.ErrorMessage("Line %ld: a vertex of the STL file needs three numbers", line);
                return false;
            }
            value = textinput::ToFloat(d);
            if (!std::isfinite(value)) {
                m_model.ErrorMessage("Line %ld: a vertex of the STL file has a coordinate that is not a finite number",
                                     line);
                return false;
            }
            return true;
        }

        bool IsFacetKeyword() const
        {
            // Numbers, the most words here by far, need no comparing.
            const char first = m_word.empty() ? '\0' : static_cast<char>(m_word[0] | 0x20);
            if (first < 'a' || first > 'z')
                return false;
            for (std::string_view keyword : {"vertex", "endloop", "endfacet", "facet", "endsolid", "solid", "loop"})
                if (EqualsNoCase(m_word, keyword))
                    return true;
            return false;
        }

        bool EndsInFacet()
        {
            m_model.ErrorMessage("The STL file ends in the middle of a facet (line %ld)", m_in.Line());
            return false;
        }

        bool Expected(const char* what)
        {
            m_model.ErrorMessage("Line %ld: %s expected in the STL file, found \"%s\"", m_in.Line(), what,
                                 m_word.c_str());
            return false;
        }

        // The next word; words longer than a keyword are kept cut, and bytes
        // that are no printable text replaced, for the message that names them.
        bool NextWord()
        {
            m_in.SkipSpace();
            m_word.clear();
            // Most words lie whole in the input's buffer and are taken from there.
            const char* start;
            const char* end;
            if (m_in.Contiguous(start, end)) {
                const char* p = start;
                while (p < end && p - start <= kMaxWord && *p > ' ' && *p <= '~')
                    ++p;
                if (p < end && p - start <= kMaxWord && textinput::IsSpace(static_cast<unsigned char>(*p))) {
                    m_word.assign(start, static_cast<size_t>(p - start));
                    m_in.Skip(static_cast<size_t>(p - start));
                    return true;
                }
            }
            int c = m_in.Peek();
            if (c == EOF)
                return false;
            while (c != EOF && !textinput::IsSpace(c)) {
                if (m_word.size() < kMaxWord)
                    m_word += static_cast<char>(c < ' ' || c > '~' ? '?' : c);
                m_in.Get();
                c = m_in.Peek();
            }
            return true;
        }

        static constexpr long kMaxWord = 40;

        CModel& m_model;
        textinput::CTextStream& m_in;
        CStlReader& m_owner;
        std::string m_word;
        std::vector<CVector> m_corners;
        long m_facets = 0;
        long m_short = 0;  // facets of fewer than three corners
    };

    CModel& m_model;
    FILE* m_fp;
    const char* m_fileName;
    std::string m_fileGroup;  // the group of a binary file or a nameless solid
};

}  // namespace

int ReadStl(CModel& model, FILE* fp, const char* fileName)
{
    CStlReader reader(model, fp, fileName);
    return reader.Read();
}

int ReadStlFile(CModel& model, const char* path)
{
    FILE* fp = std::fopen(path, "rb");
    if (!fp) {
        model.ErrorMessage("Couldn't open file %s", path);
        return 0;
    }
    const int result = ReadStl(model, fp, path);
    std::fclose(fp);
    return result;
}
