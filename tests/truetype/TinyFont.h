#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TrueTypeFont.h"

// Builds small TrueType fonts in memory, so that tests and fuzz seeds can
// reach cases no installed font shows. Coordinates are written as 16-bit
// deltas and every point gets its own flag byte.
// A part of a composite glyph. The writer sets the bits for word arguments
// (when an argument needs them), for the scale by how many factors there
// are, and for more parts; `flags` holds the rest.
struct CTinyComponent
{
    static constexpr uint16_t kWords = 0x0001, kXYValues = 0x0002, kRound = 0x0004, kUseMyMetrics = 0x0200;

    CTinyComponent(uint16_t glyph, int32_t arg1, int32_t arg2, uint16_t flags = kXYValues,
                   std::vector<int16_t> scale = {})
        : glyph(glyph), arg1(arg1), arg2(arg2), flags(flags), scale(std::move(scale))
    {
    }

    uint16_t glyph;
    int32_t arg1, arg2;
    uint16_t flags;
    std::vector<int16_t> scale;  // none, one, x and y, or a 2x2 matrix (F2Dot14)
};

struct CTinyGlyph
{
    std::vector<std::vector<GlyphPoint>> contours;
    std::vector<CTinyComponent> components;  // a composite glyph when not empty
    uint16_t instructions = 0;               // bytes of instructions after the parts
    uint16_t advance = 600;
    int16_t lsb = 0;
};

struct CTinyFont
{
    std::vector<CTinyGlyph> glyphs;
    std::map<uint16_t, uint16_t> map;  // character code -> glyph index
    uint16_t cmapFormat = 4;           // 0, 4, or another number to write a bare header of that format
    uint16_t cmapPlatform = 3;
    uint16_t hMetrics = 0;             // 0: one record per glyph
    std::vector<KerningPair> kerning;  // written in the order given
    uint16_t kernCoverage = 0x0001;
    std::string omit;                  // a table to leave out
    uint16_t unitsPerEm = 1000;

    std::string Build() const
    {
        std::map<std::string, std::string> t;
        std::string head(54, '\0');
        Put16(head, 18, unitsPerEm);
        Put16(head, 50, 1);  // long 'loca' offsets
        t["head"] = head;
        std::string maxp(32, '\0');
        Put16(maxp, 0, 1);
        Put16(maxp, 4, static_cast<uint16_t>(glyphs.size()));
        t["maxp"] = maxp;

        std::string name;
        std::string family = Utf16("Tiny");
        Add16(name, 0), Add16(name, 1), Add16(name, 18);
        Add16(name, 3), Add16(name, 1), Add16(name, 0x409), Add16(name, 1);
        Add16(name, static_cast<uint16_t>(family.size())), Add16(name, 0);
        t["name"] = name + family;

        std::string glyf, loca;
        for (const CTinyGlyph& g : glyphs) {
            Add32(loca, static_cast<uint32_t>(glyf.size()));
            glyf += Glyph(g);
            while (glyf.size() % 4)
                glyf += '\0';
        }
        Add32(loca, static_cast<uint32_t>(glyf.size()));
        t["glyf"] = glyf;
        t["loca"] = loca;
        t["cmap"] = Cmap();

        uint16_t records = hMetrics ? hMetrics : static_cast<uint16_t>(glyphs.size());
        std::string hhea(36, '\0');
        Put16(hhea, 0, 1);
        Put16(hhea, 34, records);
        t["hhea"] = hhea;
        std::string hmtx;
        for (size_t i = 0; i < glyphs.size(); ++i) {
            if (i < records)
                Add16(hmtx, glyphs[i].advance);
            Add16(hmtx, static_cast<uint16_t>(glyphs[i].lsb));
        }
        t["hmtx"] = hmtx;
        if (!kerning.empty()) {
            std::string kern;
            Add16(kern, 0), Add16(kern, 1);
            Add16(kern, 0), Add16(kern, static_cast<uint16_t>(14 + 6 * kerning.size())), Add16(kern, kernCoverage);
            Add16(kern, static_cast<uint16_t>(kerning.size())), Add16(kern, 0), Add16(kern, 0), Add16(kern, 0);
            for (const KerningPair& k : kerning)
                Add16(kern, k.left), Add16(kern, k.right), Add16(kern, static_cast<uint16_t>(k.value));
            t["kern"] = kern;
        }
        t.erase(omit);

        std::string file;
        Add32(file, 0x00010000), Add16(file, static_cast<uint16_t>(t.size())), Add16(file, 0), Add16(file, 0),
            Add16(file, 0);
        size_t offset = 12 + 16 * t.size();
        std::string body;
        for (const auto& [tag, bytes] : t) {
            file += tag;
            Add32(file, 0), Add32(file, static_cast<uint32_t>(offset + body.size())),
                Add32(file, static_cast<uint32_t>(bytes.size()));
            body += bytes;
            while (body.size() % 4)
                body += '\0';
        }
        return file + body;
    }

    static void Add16(std::string& s, uint16_t v)
    {
        s += static_cast<char>(v >> 8);
        s += static_cast<char>(v & 0xFF);
    }
    static void Add32(std::string& s, uint32_t v)
    {
        Add16(s, static_cast<uint16_t>(v >> 16));
        Add16(s, static_cast<uint16_t>(v));
    }
    static void Put16(std::string& s, size_t at, uint16_t v)
    {
        s[at] = static_cast<char>(v >> 8);
        s[at + 1] = static_cast<char>(v & 0xFF);
    }

private:
    static std::string Utf16(const char* text)
    {
        std::string s;
        for (; *text; ++text)
            Add16(s, static_cast<uint8_t>(*text));
        return s;
    }

    static std::string Glyph(const CTinyGlyph& g)
    {
        std::string s;
        if (!g.components.empty()) {
            Add16(s, 0xFFFF), Add16(s, 0), Add16(s, 0), Add16(s, 100), Add16(s, 100);
            for (size_t i = 0; i < g.components.size(); ++i) {
                const CTinyComponent& c = g.components[i];
                // Offsets are signed bytes, point numbers unsigned ones.
                bool xy = c.flags & CTinyComponent::kXYValues;
                auto fits = [xy](int32_t v) { return xy ? v >= -128 && v <= 127 : v >= 0 && v <= 255; };
                bool words = (c.flags & CTinyComponent::kWords) || !fits(c.arg1) || !fits(c.arg2);
                uint16_t flags = c.flags | (words ? CTinyComponent::kWords : 0);
                flags |= c.scale.size() == 1 ? 0x0008 : c.scale.size() == 2 ? 0x0040 : c.scale.size() == 4 ? 0x0080 : 0;
                if (i + 1 < g.components.size())
                    flags |= 0x0020;
                else if (g.instructions)
                    flags |= 0x0100;
                Add16(s, flags), Add16(s, c.glyph);
                if (words) {
                    Add16(s, static_cast<uint16_t>(c.arg1)), Add16(s, static_cast<uint16_t>(c.arg2));
                } else {
                    s += static_cast<char>(c.arg1);
                    s += static_cast<char>(c.arg2);
                }
                for (int16_t f : c.scale)
                    Add16(s, static_cast<uint16_t>(f));
            }
            if (g.instructions) {
                Add16(s, g.instructions);
                s += std::string(g.instructions, '\0');  // never run: both readers skip them
            }
            return s;
        }
        if (g.contours.empty())
            return s;
        int16_t x0 = 32767, y0 = 32767, x1 = -32768, y1 = -32768;
        for (const auto& c : g.contours)
            for (const GlyphPoint& p : c) {
                x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
                x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
            }
        Add16(s, static_cast<uint16_t>(g.contours.size()));
        Add16(s, static_cast<uint16_t>(x0)), Add16(s, static_cast<uint16_t>(y0));
        Add16(s, static_cast<uint16_t>(x1)), Add16(s, static_cast<uint16_t>(y1));
        int end = -1;
        for (const auto& c : g.contours)
            Add16(s, static_cast<uint16_t>(end += static_cast<int>(c.size())));
        Add16(s, 0);  // no instructions
        for (const auto& c : g.contours)
            for (const GlyphPoint& p : c)
                s += static_cast<char>(p.type == kOnCurve ? 1 : 0);
        for (int axis = 0; axis < 2; ++axis) {
            int16_t last = 0;
            for (const auto& c : g.contours)
                for (const GlyphPoint& p : c) {
                    int16_t v = axis == 0 ? p.x : p.y;
                    Add16(s, static_cast<uint16_t>(v - last));
                    last = v;
                }
        }
        return s;
    }

    std::string Cmap() const
    {
        std::string sub;
        if (cmapFormat == 0) {
            Add16(sub, 0), Add16(sub, 262), Add16(sub, 0);
            std::string ids(256, '\0');
            for (const auto& [code, glyph] : map)
                if (code < 256)
                    ids[code] = static_cast<char>(glyph);
            sub += ids;
        } else if (cmapFormat == 4) {
            std::vector<std::pair<uint16_t, uint16_t>> segments(map.begin(), map.end());
            segments.emplace_back(0xFFFF, 0);
            uint16_t n = static_cast<uint16_t>(segments.size());
            Add16(sub, 4), Add16(sub, static_cast<uint16_t>(16 + 8 * n)), Add16(sub, 0);
            Add16(sub, static_cast<uint16_t>(2 * n)), Add16(sub, 0), Add16(sub, 0), Add16(sub, 0);
            for (const auto& s : segments)
                Add16(sub, s.first);
            Add16(sub, 0);
            for (const auto& s : segments)
                Add16(sub, s.first);
            for (const auto& s : segments)
                Add16(sub, static_cast<uint16_t>(s.first == 0xFFFF ? 1 : s.second - s.first));
            for (size_t i = 0; i < n; ++i)
                Add16(sub, 0);
        } else {
            Add16(sub, cmapFormat), Add16(sub, 4);
        }
        std::string cmap;
        Add16(cmap, 0), Add16(cmap, 1), Add16(cmap, cmapPlatform), Add16(cmap, 1), Add32(cmap, 12);
        return cmap + sub;
    }
};

// A font with the letters A (a square with a square hole), O (contours that
// start off the curve) and on 'C' a composite glyph placed by point numbers
// that do not exist.
inline CTinyFont SampleTinyFont()
{
    auto on = [](int x, int y) { return GlyphPoint{static_cast<int16_t>(x), static_cast<int16_t>(y), kOnCurve}; };
    auto off = [](int x, int y) { return GlyphPoint{static_cast<int16_t>(x), static_cast<int16_t>(y), kOffCurve}; };
    CTinyFont font;
    font.glyphs.resize(4);
    font.glyphs[1].contours = {{on(0, 0), on(0, 700), on(500, 700), on(500, 0)},
                               {on(100, 100), on(400, 100), on(400, 600), on(100, 600)}};
    // Outer: every point off the curve; inner: starts off, ends on.
    font.glyphs[2].contours = {{off(0, 0), off(0, 700), off(600, 700), off(600, 0)},
                               {off(150, 150), on(300, 150), off(450, 150), on(450, 350), off(450, 550), on(300, 550),
                                off(150, 550), on(150, 350)}};
    font.glyphs[3].components = {{1, 0, 0, 0}};
    font.map = {{'A', 1}, {'O', 2}, {'C', 3}, {0x416, 1}};
    font.kerning = {{1, 2, -40}, {2, 1, -30}};
    return font;
}

// The sample font with composite glyphs of every kind from glyph 4 on: word
// and byte offsets, the three kinds of scale, parts placed by point numbers,
// instructions, parts that are composites themselves, and glyphs that cannot
// be built: a cycle (10 and 11), a part that is no glyph (12), a point
// number past the points (13), and a chain of parts within parts (from 14,
// each one level deeper than the one before it).
constexpr uint16_t kTinyChainStart = 14;
constexpr int kTinyChainLength = kMaxComponentDepth + 2;

inline CTinyFont CompositeTinyFont()
{
    using C = CTinyComponent;
    CTinyFont font = SampleTinyFont();
    font.glyphs.resize(kTinyChainStart + kTinyChainLength);
    font.glyphs[4].components = {{1, 700, -50}};
    font.glyphs[5].components = {{2, 0, 0, C::kXYValues, {8192}}, {1, -100, 20, C::kXYValues | C::kRound}};
    font.glyphs[5].instructions = 5;
    font.glyphs[6].components = {{1, -300, 21, C::kXYValues, {20480, -12287}}};
    font.glyphs[7].components = {{2, 11, 13, C::kXYValues, {14189, 8191, -8193, 14189}},
                                 {5, 0, 0, C::kXYValues, {-16384, 3, 5, 16384}}};
    // The second A's point 2 on the first A's point 0, then an O by word
    // point numbers: its point 3 on point 6 of the glyph so far.
    font.glyphs[8].components = {{1, 0, 0}, {1, 0, 2, 0}, {2, 6, 3, C::kWords}};
    font.glyphs[9].components = {{8, 0, 0, C::kXYValues | C::kUseMyMetrics}, {5, 1200, 0}};
    font.glyphs[9].lsb = 40;
    font.glyphs[10].components = {{1, 0, 0}, {11, 10, 0}};
    font.glyphs[11].components = {{10, 10, 0}};
    font.glyphs[12].components = {{1, 0, 0}, {999, 0, 0}};
    font.glyphs[13].components = {{1, 0, 0}, {1, 50, 0, 0}};
    font.glyphs[kTinyChainStart].components = {{1, 3, 0}};
    for (int k = 1; k < kTinyChainLength; ++k)
        font.glyphs[kTinyChainStart + k].components = {{static_cast<uint16_t>(kTinyChainStart + k - 1), 3, 0}};
    font.map['D'] = 9;
    font.map['Y'] = 10;
    font.map['Z'] = kTinyChainStart + kTinyChainLength - 1;
    return font;
}
