#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Result of each step of reading a font; the text entry turns it into a message.
enum FontStatus : uint16_t
{
    kFontOk = 0,
    kFontOutOfMemory = 1,
    kFontTableMissing = 2,
    kFontNoEncoding = 3,       // no 'cmap' subtable for the wanted platform and encoding
    kFontBadEncoding = 4,      // the chosen subtable is neither format 0 nor 4
    kFontNoCharacterMap = 5,   // a glyph lookup without a character map
    kFontOpenFailed = 6,
    kFontBadKerning = 7,       // the first 'kern' subtable is of a kind we do not read
    kFontDamaged = 8,          // an offset, length or count points outside the file
};

enum GlyphPointType : uint8_t
{
    kOffCurve = 1,  // quadratic control point
    kOnCurve = 2,
};

struct GlyphPoint
{
    int16_t x = 0;
    int16_t y = 0;
    uint8_t type = kOnCurve;
};

struct GlyphContour
{
    std::vector<GlyphPoint> points;
};

// Why a composite glyph could not be put together from its parts; such a
// glyph is left without contours, and the text build names its character.
enum GlyphFault : uint8_t
{
    kGlyphWhole = 0,
    kGlyphCycle = 1,          // a part contains the glyph itself
    kGlyphTooDeep = 2,        // parts nested more than kMaxComponentDepth levels
    kGlyphTooLarge = 3,       // too many points or contours, or coordinates past 16 bits
    kGlyphBadPoint = 4,       // a part placed by point numbers that do not exist
    kGlyphBadComponent = 5,   // a part that is not a glyph of the font
};

// Levels of parts within parts that a composite glyph may have; real fonts
// use one to three.
constexpr int kMaxComponentDepth = 16;

struct TrueTypeGlyph
{
    // For a composite glyph: the contours of all its parts, in order.
    int16_t numberOfContours = 0;
    int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::vector<GlyphContour> contours;
    uint16_t advanceWidth = 0;
    int16_t leftSideBearing = 0;
    int16_t rightSideBearing = 0;
    bool composite = false;
    uint8_t fault = kGlyphWhole;
};

struct KerningPair
{
    uint16_t left = 0;
    uint16_t right = 0;
    int16_t value = 0;
};

// One TrueType font read completely into memory. Every value stays in font
// units. Construction never throws: it stops at the first step that fails and
// leaves the reason in Status(). The file is untrusted: every offset, length
// and count is checked against it, and anything that points outside gives
// kFontDamaged.
class TrueTypeFont
{
public:
    TrueTypeFont(const std::string& path, uint16_t platform, uint16_t encoding, uint16_t language);
    // Reads a font image already in memory (the bytes are not kept).
    TrueTypeFont(const uint8_t* data, size_t size, uint16_t platform, uint16_t encoding, uint16_t language);

    uint16_t Status() const { return m_status; }

    // Glyph index of a character code through the chosen character map, 0 for
    // the missing glyph. Codes beyond the 16-bit range are never mapped.
    uint16_t GlyphIndex(uint32_t code);
    const TrueTypeGlyph& GlyphForCode(uint32_t code);
    // The glyph at an index; an index at or beyond NumGlyphs gives an empty glyph.
    const TrueTypeGlyph& Glyph(uint32_t index) const;
    // Kerning between two glyphs in font units, 0 when the pair is not listed.
    int16_t Kerning(uint16_t left, uint16_t right) const;

    uint16_t UnitsPerEm() const { return m_unitsPerEm; }
    uint16_t NumGlyphs() const { return m_numGlyphs; }
    int16_t FontXMin() const { return m_fontXMin; }
    int16_t FontYMin() const { return m_fontYMin; }
    int16_t FontXMax() const { return m_fontXMax; }
    int16_t FontYMax() const { return m_fontYMax; }
    int16_t Ascender() const { return m_ascender; }
    int16_t Descender() const { return m_descender; }
    int16_t LineGap() const { return m_lineGap; }
    const std::vector<KerningPair>& KerningPairs() const { return m_kerningPairs; }
    // Name records 0 to 5 (copyright, family, style, identifier, full name,
    // version); empty when the font has none for the wanted ids.
    const std::string& NameString(int id) const;
    bool HasNameString(int id) const { return id >= 0 && id < kNameCount && m_hasName[id]; }

private:
    class CImage;
    struct CTable;

    void Load(const uint8_t* data, size_t size);
    uint16_t FindTable(const CImage& image, const char* tag, CTable& table) const;
    uint16_t ReadHead(const CImage& image);
    uint16_t ReadMaxp(const CImage& image);
    uint16_t ReadName(const CImage& image);
    uint16_t ReadLoca(const CImage& image);
    uint16_t ReadCmap(const CImage& image);
    uint16_t ReadGlyf(const CImage& image);
    uint16_t ReadSimpleGlyph(const CImage& data, int16_t contours, TrueTypeGlyph& glyph);
    uint16_t ReadHhea(const CImage& image);
    uint16_t ReadHmtx(const CImage& image);
    uint16_t ReadKern(const CImage& image);

    static constexpr int kNameCount = 6;

    uint16_t m_numTables = 0;
    uint16_t m_status = kFontOk;
    uint16_t m_wantedPlatform, m_wantedEncoding, m_wantedLanguage;
    uint16_t m_unitsPerEm = 0;
    int16_t m_fontXMin = 0, m_fontYMin = 0, m_fontXMax = 0, m_fontYMax = 0;
    int16_t m_indexToLocFormat = 0;
    uint16_t m_numGlyphs = 0;
    int16_t m_ascender = 0, m_descender = 0, m_lineGap = 0;
    uint16_t m_numberOfHMetrics = 0;
    std::string m_names[kNameCount];
    bool m_hasName[kNameCount] = {};
    std::vector<uint32_t> m_glyphOffsets;
    uint16_t m_cmapFormat = 0;
    std::vector<uint8_t> m_cmapSubtable;
    bool m_hasCmap = false;
    std::vector<TrueTypeGlyph> m_glyphs;
    std::vector<KerningPair> m_kerningPairs;
    TrueTypeGlyph m_emptyGlyph;
    std::string m_noName;
};
