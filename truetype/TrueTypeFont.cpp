#include "TrueTypeFont.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// A window onto the font's bytes. Every read is checked against the window;
// a read outside it returns 0 and marks the reader failed, so a step can read
// all it needs and check once at the end.
class TrueTypeFont::CImage
{
public:
    CImage(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Size() const { return m_size; }
    bool Failed() const { return m_failed; }
    void Fail() const { m_failed = true; }
    bool Fits(size_t offset, size_t count) const { return offset <= m_size && count <= m_size - offset; }

    uint8_t U8(size_t offset) const
    {
        if (!Fits(offset, 1))
            return Bad();
        return m_data[offset];
    }
    uint16_t U16(size_t offset) const
    {
        if (!Fits(offset, 2))
            return Bad();
        return static_cast<uint16_t>(m_data[offset] << 8 | m_data[offset + 1]);
    }
    int16_t S16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
    uint32_t U32(size_t offset) const
    {
        if (!Fits(offset, 4))
            return Bad();
        return static_cast<uint32_t>(m_data[offset]) << 24 | static_cast<uint32_t>(m_data[offset + 1]) << 16 |
               static_cast<uint32_t>(m_data[offset + 2]) << 8 | m_data[offset + 3];
    }
    const uint8_t* Bytes(size_t offset, size_t count) const
    {
        if (!Fits(offset, count)) {
            Bad();
            return nullptr;
        }
        return m_data + offset;
    }
    // A window on part of this one; empty and failed when it does not fit.
    CImage Sub(size_t offset, size_t count) const
    {
        if (!Fits(offset, count)) {
            CImage none(nullptr, 0);
            none.m_failed = true;
            return none;
        }
        return CImage(m_data + offset, count);
    }

private:
    uint8_t Bad() const
    {
        m_failed = true;
        return 0;
    }

    const uint8_t* m_data;
    size_t m_size;
    mutable bool m_failed = false;
};

struct TrueTypeFont::CTable
{
    uint32_t checksum = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

namespace {

constexpr size_t kOffsetTableSize = 12;
constexpr size_t kDirectoryEntrySize = 16;

uint32_t Tag(const char* tag)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 8 | static_cast<uint8_t>(tag[3]);
}

struct CFileCloser
{
    void operator()(FILE* fp) const { std::fclose(fp); }
};

// Appends up to `count` bytes of the stream to `bytes`; false on a read error.
bool ReadUpTo(FILE* fp, std::vector<uint8_t>& bytes, size_t count)
{
    constexpr size_t kChunk = 1 << 16;
    while (count > 0) {
        size_t want = std::min(count, kChunk);
        size_t old = bytes.size();
        bytes.resize(old + want);
        size_t got = std::fread(bytes.data() + old, 1, want, fp);
        bytes.resize(old + got);
        if (got < want)
            return !std::ferror(fp);
        count -= got;
    }
    return true;
}

}  // namespace

TrueTypeFont::TrueTypeFont(const std::string& path, uint16_t platform, uint16_t encoding, uint16_t language)
    : m_wantedPlatform(platform), m_wantedEncoding(encoding), m_wantedLanguage(language)
{
    std::unique_ptr<FILE, CFileCloser> fp(std::fopen(path.c_str(), "rb"));
    if (!fp) {
        m_status = kFontOpenFailed;
        return;
    }
    try {
        // The directory says how far the tables reach; nothing past the last
        // table is needed, and the file's own size bounds what is read, so a
        // damaged directory cannot make us allocate more than the file holds.
        std::vector<uint8_t> image;
        if (!ReadUpTo(fp.get(), image, kOffsetTableSize)) {
            m_status = kFontDamaged;
            return;
        }
        CImage head(image.data(), image.size());
        size_t directoryEnd = kOffsetTableSize + kDirectoryEntrySize * head.U16(4);
        if (!ReadUpTo(fp.get(), image, directoryEnd - image.size())) {
            m_status = kFontDamaged;
            return;
        }
        CImage directory(image.data(), image.size());
        size_t end = directoryEnd;
        for (size_t at = kOffsetTableSize; at + kDirectoryEntrySize <= directory.Size(); at += kDirectoryEntrySize)
            end = std::max<size_t>(end, size_t{directory.U32(at + 8)} + directory.U32(at + 12));
        if (end > image.size() && !ReadUpTo(fp.get(), image, end - image.size())) {
            m_status = kFontDamaged;
            return;
        }
        fp.reset();
        Load(image.data(), image.size());
    } catch (const std::bad_alloc&) {
        m_status = kFontOutOfMemory;
    }
}

TrueTypeFont::TrueTypeFont(const uint8_t* data, size_t size, uint16_t platform, uint16_t encoding,
                           uint16_t language)
    : m_wantedPlatform(platform), m_wantedEncoding(encoding), m_wantedLanguage(language)
{
    try {
        Load(data, size);
    } catch (const std::bad_alloc&) {
        m_status = kFontOutOfMemory;
    }
}

void TrueTypeFont::Load(const uint8_t* data, size_t size)
{
    CImage image(data, size);
    m_numTables = image.U16(4);
    if (image.Failed() || !image.Fits(kOffsetTableSize, kDirectoryEntrySize * m_numTables)) {
        m_status = kFontDamaged;
        return;
    }
    uint16_t (TrueTypeFont::*const steps[])(const CImage&) = {
        &TrueTypeFont::ReadHead, &TrueTypeFont::ReadMaxp, &TrueTypeFont::ReadName,
        &TrueTypeFont::ReadLoca, &TrueTypeFont::ReadCmap, &TrueTypeFont::ReadGlyf,
        &TrueTypeFont::ReadHhea, &TrueTypeFont::ReadHmtx,
    };
    for (auto step : steps) {
        m_status = (this->*step)(image);
        if (m_status != kFontOk)
            return;
    }
    // Kerning is optional: a font without it, or with a kind we do not read,
    // is used without kerning. A table that runs outside the file is damage
    // like any other.
    m_status = ReadKern(image);
    if (m_status != kFontDamaged && m_status != kFontOk) {
        m_kerningPairs.clear();
        m_status = kFontOk;
    }
}

uint16_t TrueTypeFont::FindTable(const CImage& image, const char* tag, CTable& table) const
{
    uint32_t wanted = Tag(tag);
    for (size_t i = 0; i < m_numTables; ++i) {
        size_t at = kOffsetTableSize + kDirectoryEntrySize * i;
        if (image.U32(at) != wanted)
            continue;
        table.checksum = image.U32(at + 4);
        table.offset = image.U32(at + 8);
        table.length = image.U32(at + 12);
        return image.Fits(table.offset, table.length) ? kFontOk : kFontDamaged;
    }
    return kFontTableMissing;
}

uint16_t TrueTypeFont::ReadHead(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "head", table))
        return status;
    CImage head = image.Sub(table.offset, table.length);
    m_unitsPerEm = head.U16(18);
    m_fontXMin = head.S16(36);
    m_fontYMin = head.S16(38);
    m_fontXMax = head.S16(40);
    m_fontYMax = head.S16(42);
    m_indexToLocFormat = head.S16(50);
    // Every coordinate is divided by the units per em.
    return head.Failed() || m_unitsPerEm == 0 ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadMaxp(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "maxp", table))
        return status;
    CImage maxp = image.Sub(table.offset, table.length);
    m_numGlyphs = maxp.U16(4);
    return maxp.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadName(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "name", table))
        return status;
    CImage name = image.Sub(table.offset, table.length);
    uint16_t count = name.U16(2);
    uint16_t storage = name.U16(4);
    for (size_t i = 0; i < count && !name.Failed(); ++i) {
        size_t record = 6 + 12 * size_t{i};
        uint16_t platform = name.U16(record);
        uint16_t encoding = name.U16(record + 2);
        uint16_t language = name.U16(record + 4);
        uint16_t id = name.U16(record + 6);
        uint16_t length = name.U16(record + 8);
        uint16_t offset = name.U16(record + 10);
        if (platform != m_wantedPlatform || encoding != m_wantedEncoding || language != m_wantedLanguage ||
            id >= kNameCount)
            continue;
        const uint8_t* bytes = name.Bytes(size_t{storage} + offset, length);
        if (!bytes)
            break;
        std::string text;
        if (platform == 3) {
            // UTF-16 big-endian; the low byte of each unit is the character
            // for the Latin texts these records hold.
            for (size_t k = 1; k < length; k += 2)
                text += static_cast<char>(bytes[k]);
        } else {
            text.assign(reinterpret_cast<const char*>(bytes), length);
        }
        m_names[id] = std::move(text);
        m_hasName[id] = true;
    }
    return name.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadLoca(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "loca", table))
        return status;
    CImage loca = image.Sub(table.offset, table.length);
    size_t count = size_t{m_numGlyphs} + 1;
    if (!loca.Fits(0, count * (m_indexToLocFormat == 0 ? 2 : 4)))
        return kFontDamaged;
    m_glyphOffsets.resize(count);
    for (size_t i = 0; i < count; ++i)
        m_glyphOffsets[i] = m_indexToLocFormat == 0 ? uint32_t{loca.U16(2 * i)} * 2 : loca.U32(4 * i);
    return loca.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadCmap(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "cmap", table))
        return status;
    CImage cmap = image.Sub(table.offset, table.length);
    uint16_t count = cmap.U16(2);
    for (size_t i = 0; i < count; ++i) {
        size_t record = 4 + 8 * i;
        uint16_t platform = cmap.U16(record);
        uint16_t encoding = cmap.U16(record + 2);
        uint32_t offset = cmap.U32(record + 4);
        if (cmap.Failed())
            return kFontDamaged;
        if (platform != m_wantedPlatform || encoding != m_wantedEncoding)
            continue;
        uint16_t format = cmap.U16(offset);
        uint16_t length = cmap.U16(size_t{offset} + 2);
        if (cmap.Failed())
            return kFontDamaged;
        if (format != 0 && format != 4)
            return kFontBadEncoding;
        const uint8_t* bytes = cmap.Bytes(offset, length);
        if (!bytes)
            return kFontDamaged;
        m_cmapFormat = format;
        m_cmapSubtable.assign(bytes, bytes + length);
        m_hasCmap = true;
        return kFontOk;
    }
    return kFontNoEncoding;
}

namespace {

// One part of a composite glyph as the file gives it. The matrix is in
// F2Dot14 (16384 is 1) and maps (x, y) to (a x + c y, b x + d y). Offsets
// are never scaled with the part (the convention of Microsoft's fonts), and
// rounding them to the grid means nothing for outlines kept in font units.
struct CComponent
{
    uint16_t glyph = 0;
    uint16_t flags = 0;
    int32_t arg1 = 0, arg2 = 0;
    int32_t a = 16384, b = 0, c = 0, d = 16384;
};

constexpr uint16_t kArgsAreWords = 0x0001;
constexpr uint16_t kArgsAreXYValues = 0x0002;
constexpr uint16_t kHaveScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kHaveXYScale = 0x0040;
constexpr uint16_t kHaveTwoByTwo = 0x0080;
constexpr uint16_t kAnyScale = kHaveScale | kHaveXYScale | kHaveTwoByTwo;

// A glyph holds at most this many points and contours (its point numbers
// and contour count are 16-bit), and all assembled glyphs of a font together
// at most the budgets: parts can repeat parts, so a small file could
// otherwise describe gigabytes of outline.
constexpr size_t kMaxAssembledPoints = 0xFFFF;
constexpr size_t kMaxAssembledContours = 0x7FFF;
constexpr size_t kCompositePointBudget = size_t{1} << 22;
constexpr size_t kCompositeContourBudget = size_t{1} << 20;

// The parts of a composite glyph after its 10-byte header; false when they
// run past the glyph's data. Instructions after the last part are not needed.
template <typename Image>
bool ReadComponents(const Image& data, std::vector<CComponent>& parts)
{
    size_t at = 10;
    uint16_t flags;
    do {
        CComponent part;
        part.flags = flags = data.U16(at);
        part.glyph = data.U16(at + 2);
        at += 4;
        const bool xy = flags & kArgsAreXYValues;
        if (flags & kArgsAreWords) {
            part.arg1 = xy ? int32_t{data.S16(at)} : int32_t{data.U16(at)};
            part.arg2 = xy ? int32_t{data.S16(at + 2)} : int32_t{data.U16(at + 2)};
            at += 4;
        } else {
            part.arg1 = xy ? int32_t{static_cast<int8_t>(data.U8(at))} : int32_t{data.U8(at)};
            part.arg2 = xy ? int32_t{static_cast<int8_t>(data.U8(at + 1))} : int32_t{data.U8(at + 1)};
            at += 2;
        }
        if (flags & kHaveScale) {
            part.a = part.d = data.S16(at);
            at += 2;
        } else if (flags & kHaveXYScale) {
            part.a = data.S16(at);
            part.d = data.S16(at + 2);
            at += 4;
        } else if (flags & kHaveTwoByTwo) {
            part.a = data.S16(at);
            part.b = data.S16(at + 2);
            part.c = data.S16(at + 4);
            part.d = data.S16(at + 6);
            at += 8;
        }
        if (data.Failed())
            return false;
        parts.push_back(part);
    } while (flags & kMoreComponents);
    return true;
}

// A font unit times an F2Dot14 factor, rounded to a whole unit with halves
// away from zero. Each product is rounded before the sum, as FreeType does
// when it loads outlines unscaled, so that both put a scaled part's points
// on the same units.
int64_t ScaleUnit(int64_t v, int32_t factor)
{
    int64_t product = v * factor;
    int64_t magnitude = (std::abs(product) * 4 + 0x8000) >> 16;
    return product < 0 ? -magnitude : magnitude;
}

// Puts composite glyphs together from their parts, parts first. A part
// already assembled is reused; one that failed for good makes its users fail
// the same way. Depth is the one failure that depends on where a glyph is
// met: a glyph refused as too deep below another is tried again when met
// higher up, which happens at most kMaxComponentDepth times, so the work
// stays proportional to the number of parts.
class CCompositeAssembler
{
public:
    CCompositeAssembler(std::vector<TrueTypeGlyph>& glyphs, const std::vector<std::vector<CComponent>>& parts)
        : m_glyphs(glyphs), m_parts(parts), m_state(glyphs.size(), kPending), m_depth(glyphs.size(), 0),
          m_deniedAt(glyphs.size(), -1)
    {
    }

    void Run()
    {
        for (size_t g = 0; g < m_glyphs.size(); ++g) {
            if (m_parts[g].empty())
                continue;
            uint8_t fault = Assemble(g, kMaxComponentDepth);
            if (fault != kGlyphWhole && m_state[g] != kFailed)
                Fail(g, fault);  // too deep even from the top
        }
    }

private:
    enum : uint8_t { kPending, kBusy, kDone, kFailed };

    struct CPoint
    {
        int64_t x, y;
        uint8_t type;
    };

    uint8_t Fail(size_t g, uint8_t fault)
    {
        m_state[g] = kFailed;
        m_glyphs[g].fault = fault;
        return fault;
    }

    // `allowance`: how many levels of composite parts may still lie below g.
    uint8_t Assemble(size_t g, int allowance)
    {
        if (m_parts[g].empty())
            return kGlyphWhole;
        switch (m_state[g]) {
        case kDone:
            return m_depth[g] <= allowance ? kGlyphWhole : kGlyphTooDeep;
        case kBusy:
            return kGlyphCycle;  // g is a part of itself
        case kFailed:
            return m_glyphs[g].fault;
        default:
            break;
        }
        if (allowance <= m_deniedAt[g]) {
            return kGlyphTooDeep;
        }
        if (allowance == 0) {
            m_deniedAt[g] = 0;
            return kGlyphTooDeep;
        }
        m_state[g] = kBusy;
        int depth = 1;
        for (const CComponent& part : m_parts[g]) {
            if (part.glyph >= m_glyphs.size())
                return Fail(g, kGlyphBadComponent);
            uint8_t fault = Assemble(part.glyph, allowance - 1);
            if (fault == kGlyphTooDeep && m_state[part.glyph] != kFailed) {
                // Maybe not too deep when g is met higher up.
                m_state[g] = kPending;
                m_deniedAt[g] = allowance;
                return fault;
            }
            if (fault != kGlyphWhole)
                return Fail(g, fault);
            depth = std::max(depth, 1 + m_depth[part.glyph]);
        }
        if (uint8_t fault = Build(g))
            return Fail(g, fault);
        m_state[g] = kDone;
        m_depth[g] = depth;
        return kGlyphWhole;
    }

    // Every part's points, moved by its matrix and offset, in part order.
    uint8_t Build(size_t g)
    {
        m_points.clear();
        m_ends.clear();
        for (const CComponent& part : m_parts[g]) {
            const TrueTypeGlyph& source = m_glyphs[part.glyph];
            const size_t base = m_points.size();
            const bool scaled = part.flags & kAnyScale;
            for (const GlyphContour& contour : source.contours) {
                if (m_points.size() + contour.points.size() > kMaxAssembledPoints || m_ends.size() >= kMaxAssembledContours)
                    return kGlyphTooLarge;
                for (const GlyphPoint& p : contour.points) {
                    if (scaled)
                        m_points.push_back({ScaleUnit(p.x, part.a) + ScaleUnit(p.y, part.c),
                                            ScaleUnit(p.x, part.b) + ScaleUnit(p.y, part.d), p.type});
                    else
                        m_points.push_back({p.x, p.y, p.type});
                }
                m_ends.push_back(m_points.size());
            }
            if (m_points.size() == base)
                continue;  // an empty part has nothing to place
            int64_t dx = part.arg1, dy = part.arg2;
            if (!(part.flags & kArgsAreXYValues)) {
                // Point arg2 of this part goes onto point arg1 of the parts before it.
                size_t onto = static_cast<size_t>(part.arg1);
                size_t from = base + static_cast<size_t>(part.arg2);
                if (onto >= base || from >= m_points.size())
                    return kGlyphBadPoint;
                dx = m_points[onto].x - m_points[from].x;
                dy = m_points[onto].y - m_points[from].y;
            }
            for (size_t i = base; i < m_points.size(); ++i) {
                m_points[i].x += dx;
                m_points[i].y += dy;
            }
        }
        if (m_used + m_points.size() > kCompositePointBudget ||
            m_usedContours + m_ends.size() > kCompositeContourBudget)
            return kGlyphTooLarge;
        for (const CPoint& p : m_points)
            if (p.x < INT16_MIN || p.x > INT16_MAX || p.y < INT16_MIN || p.y > INT16_MAX)
                return kGlyphTooLarge;
        m_used += m_points.size();
        m_usedContours += m_ends.size();

        TrueTypeGlyph& glyph = m_glyphs[g];
        glyph.contours.resize(m_ends.size());
        size_t first = 0;
        for (size_t k = 0; k < m_ends.size(); ++k) {
            std::vector<GlyphPoint>& points = glyph.contours[k].points;
            points.reserve(m_ends[k] - first);
            for (size_t i = first; i < m_ends[k]; ++i)
                points.push_back({static_cast<int16_t>(m_points[i].x), static_cast<int16_t>(m_points[i].y),
                                  m_points[i].type});
            first = m_ends[k];
        }
        glyph.numberOfContours = static_cast<int16_t>(m_ends.size());
        return kGlyphWhole;
    }

    std::vector<TrueTypeGlyph>& m_glyphs;
    const std::vector<std::vector<CComponent>>& m_parts;
    std::vector<uint8_t> m_state;
    std::vector<int> m_depth;     // levels of parts below a glyph once done
    std::vector<int> m_deniedAt;  // the largest allowance a glyph was too deep for
    std::vector<CPoint> m_points;
    std::vector<size_t> m_ends;   // one past each contour's last point
    size_t m_used = 0, m_usedContours = 0;
};

}  // namespace

uint16_t TrueTypeFont::ReadGlyf(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "glyf", table))
        return status;
    CImage glyf = image.Sub(table.offset, table.length);
    m_glyphs.resize(m_numGlyphs);
    // Parts are read with their glyph and assembled once every simple glyph
    // is known, since a part may come later in the font than its user.
    std::vector<std::vector<CComponent>> parts(m_numGlyphs);
    bool anyComposite = false;
    for (size_t i = 0; i < m_numGlyphs; ++i) {
        uint32_t start = m_glyphOffsets[i];
        uint32_t end = m_glyphOffsets[i + 1];
        if (start == end)
            continue;
        // A glyph's data lies between its offset and the next one; glyphs
        // never share bytes, which also bounds the memory a file can ask for.
        if (end < start || !glyf.Fits(start, end - start))
            return kFontDamaged;
        CImage data = glyf.Sub(start, end - start);
        TrueTypeGlyph& glyph = m_glyphs[i];
        int16_t contours = data.S16(0);
        glyph.xMin = data.S16(2);
        glyph.yMin = data.S16(4);
        glyph.xMax = data.S16(6);
        glyph.yMax = data.S16(8);
        if (data.Failed())
            return kFontDamaged;
        if (contours < 0) {
            glyph.composite = anyComposite = true;
            if (!ReadComponents(data, parts[i]))
                return kFontDamaged;
        } else if (contours > 0) {
            if (uint16_t status = ReadSimpleGlyph(data, contours, glyph))
                return status;
        }
    }
    if (anyComposite)
        CCompositeAssembler(m_glyphs, parts).Run();
    return kFontOk;
}

uint16_t TrueTypeFont::ReadSimpleGlyph(const CImage& data, int16_t contours, TrueTypeGlyph& glyph)
{
    std::vector<uint16_t> ends(contours);
    int last = -1;
    for (int k = 0; k < contours; ++k) {
        ends[k] = data.U16(10 + 2 * size_t(k));
        if (ends[k] <= last)
            return kFontDamaged;  // end points must rise, or contours overlap
        last = ends[k];
    }
    size_t points = size_t(last) + 1;
    size_t at = 10 + 2 * size_t(contours);
    at += 2 + data.U16(at);  // instructions
    std::vector<uint8_t> flags;
    while (flags.size() < points && !data.Failed()) {
        uint8_t flag = data.U8(at++);
        flags.push_back(flag);
        if (flag & 0x08) {
            uint8_t repeat = data.U8(at++);
            if (repeat > points - flags.size())
                return kFontDamaged;
            flags.insert(flags.end(), repeat, flag);
        }
    }
    if (data.Failed())
        return kFontDamaged;

    std::vector<GlyphPoint> all(points);
    auto decode = [&](uint8_t shortBit, uint8_t sameBit, int16_t GlyphPoint::*coordinate) {
        int value = 0;
        for (size_t p = 0; p < points; ++p) {
            uint8_t flag = flags[p];
            if (flag & shortBit) {
                int delta = data.U8(at++);
                value += (flag & sameBit) ? delta : -delta;
            } else if (!(flag & sameBit)) {
                value += data.S16(at);
                at += 2;
            }
            all[p].*coordinate = static_cast<int16_t>(value);
        }
    };
    decode(0x02, 0x10, &GlyphPoint::x);
    decode(0x04, 0x20, &GlyphPoint::y);
    if (data.Failed())
        return kFontDamaged;
    for (size_t p = 0; p < points; ++p)
        all[p].type = (flags[p] & 0x01) ? kOnCurve : kOffCurve;

    glyph.numberOfContours = contours;
    glyph.contours.resize(contours);
    size_t first = 0;
    for (int k = 0; k < contours; ++k) {
        glyph.contours[k].points.assign(all.begin() + first, all.begin() + ends[k] + 1);
        first = size_t(ends[k]) + 1;
    }
    return kFontOk;
}

uint16_t TrueTypeFont::ReadHhea(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "hhea", table))
        return status;
    CImage hhea = image.Sub(table.offset, table.length);
    m_ascender = hhea.S16(4);
    m_descender = hhea.S16(6);
    m_lineGap = hhea.S16(8);
    m_numberOfHMetrics = hhea.U16(34);
    return hhea.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadHmtx(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "hmtx", table))
        return status;
    CImage hmtx = image.Sub(table.offset, table.length);
    if (m_numGlyphs > 0 && m_numberOfHMetrics == 0)
        return kFontDamaged;  // the later glyphs would have no record to share
    size_t records = std::min(m_numberOfHMetrics, m_numGlyphs);
    uint16_t advance = 0;
    for (size_t i = 0; i < m_numGlyphs; ++i) {
        TrueTypeGlyph& glyph = m_glyphs[i];
        if (i < records) {
            advance = hmtx.U16(4 * i);
            glyph.leftSideBearing = hmtx.S16(4 * i + 2);
        } else {
            glyph.leftSideBearing = hmtx.S16(4 * size_t{m_numberOfHMetrics} + 2 * (i - m_numberOfHMetrics));
        }
        glyph.advanceWidth = advance;
        glyph.rightSideBearing =
            static_cast<int16_t>(glyph.xMin + glyph.advanceWidth - glyph.leftSideBearing - glyph.xMax);
    }
    return hmtx.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::ReadKern(const CImage& image)
{
    CTable table;
    if (uint16_t status = FindTable(image, "kern", table))
        return status;
    CImage kern = image.Sub(table.offset, table.length);
    uint16_t coverage = kern.U16(8);
    if (kern.Failed())
        return kFontDamaged;
    if ((coverage & 0xFF00) != 0 || (coverage & 0x0002) != 0)
        return kFontBadKerning;
    uint16_t pairs = kern.U16(10);
    if (!kern.Fits(18, 6 * size_t{pairs}))
        return kFontDamaged;
    m_kerningPairs.resize(pairs);
    for (size_t i = 0; i < pairs; ++i) {
        size_t at = 18 + 6 * i;
        m_kerningPairs[i] = {kern.U16(at), kern.U16(at + 2), kern.S16(at + 4)};
    }
    return kern.Failed() ? kFontDamaged : kFontOk;
}

uint16_t TrueTypeFont::GlyphIndex(uint32_t code)
{
    m_status = kFontOk;
    if (!m_hasCmap) {
        m_status = kFontNoCharacterMap;
        return 0;
    }
    if (code > 0xFFFF)
        return 0;
    // Reads outside the copied subtable give 0, the missing glyph.
    CImage map(m_cmapSubtable.data(), m_cmapSubtable.size());
    if (m_cmapFormat == 0)
        return code < 256 ? map.U8(6 + code) : 0;

    size_t segCount = map.U16(6) / 2;
    size_t e = 0;
    while (e < segCount && map.U16(14 + 2 * e) < code && !map.Failed())
        ++e;
    if (e == segCount || map.Failed())
        return 0;
    uint16_t start = map.U16(16 + 2 * segCount + 2 * e);
    uint16_t delta = map.U16(16 + 4 * segCount + 2 * e);
    size_t rangeAt = 16 + 6 * segCount + 2 * e;
    uint16_t rangeOffset = map.U16(rangeAt);
    if (map.Failed() || code < start)
        return 0;
    if (rangeOffset == 0)
        return static_cast<uint16_t>(delta + code);
    uint16_t id = map.U16(rangeAt + rangeOffset + 2 * (code - start));
    if (map.Failed() || id == 0)
        return 0;
    return static_cast<uint16_t>(id + delta);
}

const TrueTypeGlyph& TrueTypeFont::GlyphForCode(uint32_t code)
{
    return Glyph(GlyphIndex(code));
}

const TrueTypeGlyph& TrueTypeFont::Glyph(uint32_t index) const
{
    return index < m_glyphs.size() ? m_glyphs[index] : m_emptyGlyph;
}

int16_t TrueTypeFont::Kerning(uint16_t left, uint16_t right) const
{
    if (m_kerningPairs.empty())
        return 0;
    uint32_t key = uint32_t{left} << 16 | right;
    size_t low = 0;
    size_t high = m_kerningPairs.size() - 1;
    while (low <= high) {
        size_t middle = (low + high) / 2;
        const KerningPair& pair = m_kerningPairs[middle];
        uint32_t found = uint32_t{pair.left} << 16 | pair.right;
        if (found == key)
            return pair.value;
        if (found < key)
            low = middle + 1;
        else if (middle == 0)
            break;
        else
            high = middle - 1;
    }
    return 0;
}

const std::string& TrueTypeFont::NameString(int id) const
{
    return HasNameString(id) ? m_names[id] : m_noName;
}
