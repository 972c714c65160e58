#include "Verify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "GroupMesh.h"
#include "WriteCheck.h"

namespace {

// How the format keeps the model's groups apart.
enum class EGrouping {
    ByName,      // a group per name, merged where names repeat
    ByPosition,  // an object per written group
    ByColor,     // a group per colour the reader makes of the stored one
    Whole,       // no groups: the whole model is one
};

// How the format stores a group's colour.
enum class EColors { None, Exact, Nibble, DxfPalette };

// What the format keeps of a model, by the rules its writer follows.
struct CRules
{
    EGrouping grouping = EGrouping::Whole;
    EColors colors = EColors::None;
    // The coordinates' printed precision in the file's units: half the last
    // printed digit of fixed decimals, or of six significant digits for %g.
    double absolute = 0;
    double relative = 0;
    // The reader turns what it reads by 180 degrees about Z.
    bool turnsAboutZ = false;
};

// Formats not listed here are compared as a whole model without colours,
// which every format with a reader can be held to; a format that keeps
// more earns a line of its own.
CRules RulesFor(const CFormat& format, const CModel& model)
{
    const std::string name = format.name;
    if (name == "obj")
        return {EGrouping::ByName, model.m_objMaterials ? EColors::Exact : EColors::None, 5e-6, 0};
    // One node per written group, in order, its colour as 32-bit floats.
    if (name == "glb" || name == "gltf")
        return {EGrouping::ByPosition, EColors::Exact, 0, 1e-6};
    // ASCII STL keeps the groups as solids of their names; both keep floats
    // exactly.
    if (name == "stl")
        return {model.m_stlAscii ? EGrouping::ByName : EGrouping::Whole, EColors::None, 0, 1e-6};
    if (name == "raw")
        return {model.m_rawGroups ? EGrouping::ByName : EGrouping::Whole, EColors::None, 0, 5e-6};
    if (name == "tpo")
        return {EGrouping::Whole, EColors::None, 5e-7, 0};
    if (name == "nff")
        return {EGrouping::ByColor, EColors::Exact, 5e-7, 0};
    if (name == "wtk")
        return {EGrouping::ByPosition, EColors::Nibble, 5e-7, 0, true};
    if (name == "dxf")
        return {EGrouping::ByColor, EColors::DxfPalette, 5e-7, 0};
    // Six decimals, as "%f" prints, or 32-bit floats of about seven
    // significant digits, whichever the format holds.
    return {EGrouping::Whole, EColors::None, 5e-7, 1e-6};
}

// The colour index the reader makes of what the writer stores for the
// group, or -1 where the format keeps none. The writers' own roundings.
int StoredColor(const CRules& rules, const CGroup& group)
{
    const ColorEntry& color = GroupColor(group);
    switch (rules.colors) {
    case EColors::None:
        return -1;
    case EColors::Exact: {
        // Six decimals, as written.
        auto printed = [](float c) { return static_cast<float>(std::round(static_cast<double>(c) * 1e6) / 1e6); };
        return NearestColor(printed(color.red), printed(color.green), printed(color.blue));
    }
    case EColors::Nibble: {
        // A hexadecimal digit of c × 15 rounded, read back as sixteenths.
        auto nibble = [](float c) {
            double digit = std::trunc(static_cast<double>(c) * 15 + 0.5);
            return static_cast<float>(std::clamp(digit, 0.0, 15.0) * 0.0625);
        };
        return NearestColor(nibble(color.red), nibble(color.green), nibble(color.blue));
    }
    case EColors::DxfPalette: {
        const unsigned char* rgb = DxfPalette[NearestDxfColor(color.red, color.green, color.blue)];
        const double unit = 1.0 / 63;
        return NearestColor(static_cast<float>(rgb[0] * unit), static_cast<float>(rgb[1] * unit),
                            static_cast<float>(rgb[2] * unit));
    }
    }
    return -1;
}

const char* ColorName(int index)
{
    return index >= 0 && index < kColorCount ? ColorTable[index].name : "?";
}

// Two table entries of the same red, green and blue are the same colour.
bool SameColor(int a, int b)
{
    if (a == b)
        return true;
    if (a < 0 || b < 0 || a >= kColorCount || b >= kColorCount)
        return false;
    return ColorTable[a].red == ColorTable[b].red && ColorTable[a].green == ColorTable[b].green &&
           ColorTable[a].blue == ColorTable[b].blue;
}

struct CBox
{
    double min[3] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
    double max[3] = {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()};
    void Add(const double* p)
    {
        for (int i = 0; i < 3; ++i) {
            min[i] = std::min(min[i], p[i]);
            max[i] = std::max(max[i], p[i]);
        }
    }
    void Add(const CBox& b)
    {
        Add(b.min);
        Add(b.max);
    }
    bool Empty() const { return !(min[0] <= max[0]); }
};

// What one side holds of one row.
struct CSide
{
    long triangles = 0;
    long nearlyFlat = 0;  // triangles with two corners within the reader's merging
    double area = 0;
    double perimeter = 0;
    CBox box;
};

// Adds the fan triangles of the group's faces, in the file's units.
void AddTriangles(CSide& side, const CGroup& group, double scale, double mergeDistance, bool turnBack = false)
{
    // Turning back by 180 degrees about Z negates x and y.
    const double sx = turnBack ? -scale : scale;
    for (int p = 0; p < group.polygons.GetCount(); ++p) {
        const CPolygon* polygon = group.polygons.GetAt(p);
        if (!polygon)
            continue;
        ForEachFanTriangle(*polygon, [&](const CVector& a, const CVector& b, const CVector& c, int, int, int) {
            const double pa[3] = {a.x * sx, a.y * sx, a.z * scale};
            const double pb[3] = {b.x * sx, b.y * sx, b.z * scale};
            const double pc[3] = {c.x * sx, c.y * sx, c.z * scale};
            double u[3], v[3], w[3];
            for (int i = 0; i < 3; ++i) {
                u[i] = pb[i] - pa[i];
                v[i] = pc[i] - pa[i];
                w[i] = pc[i] - pb[i];
            }
            const double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2], cz = u[0] * v[1] - u[1] * v[0];
            side.area += 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
            auto length = [](const double* d) { return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]); };
            side.perimeter += length(u) + length(v) + length(w);
            auto near = [&](const double* d) {
                return std::fabs(d[0]) <= mergeDistance && std::fabs(d[1]) <= mergeDistance &&
                       std::fabs(d[2]) <= mergeDistance;
            };
            // Such a triangle may vanish on either side, and may reach far
            // (a sliver along a line): it has no say in the box.
            if (near(u) || near(v) || near(w)) {
                ++side.nearlyFlat;
                return;
            }
            side.box.Add(pa);
            side.box.Add(pb);
            side.box.Add(pc);
        });
    }
    side.triangles += FanTriangleCount(group);
}

struct CRow
{
    std::vector<const CGroup*> groups;
    int color = -1;  // as the reader will make it
    long dropped = 0;
    CSide in;
};

// A model that reads the file back without a word to the user; it keeps
// the first complaint for the report.
class CReadBackModel : public CModel
{
public:
    explicit CReadBackModel(bool helperThread) : m_helperThread(helperThread) {}
    void ShowStatus(const char*) override {}
    bool ShowsStatus() const override { return false; }
    bool MayUseHelperThread() const override { return m_helperThread; }
    bool WantsNormals() const override { return false; }
    void ShowError(const char* text) override { Keep(text); }
    void ShowWarning(const char* text) override { Keep(text); }
    void ShowInfo(const char*) override {}
    void ShowNotice(const char*) override {}
    const std::string& Complaint() const { return m_complaint; }

private:
    void Keep(const char* text)
    {
        if (m_complaint.empty())
            m_complaint = text;
    }
    bool m_helperThread;
    std::string m_complaint;
};

std::string Format(const char* format, double a, double b)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Triangles(long n)
{
    return GroupedNumber(n) + (n == 1 ? " triangle" : " triangles");
}

std::string Quoted(const std::string& name)
{
    return "group \"" + name + "\"";
}

}  // namespace

std::string GroupedNumber(long n)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

bool CanVerify(const CFormat& format)
{
    return format.CanRead() && format.CanWrite();
}

CVerifyReport VerifyWrittenFile(const CModel& written, const CFormat& format, const std::string& path,
                                const CWriteTally& tally)
{
    CVerifyReport report;
    if (!CanVerify(format)) {
        report.verdict = EVerdict::NotVerifiable;
        report.verdictLine = std::string("not verifiable: no reader for ") + format.description;
        return report;
    }
    const CRules rules = RulesFor(format, written);
    const double scale = written.m_scale;

    // The tolerance of a coordinate: what printing loses, and what 32-bit
    // floats lose on both sides on the way (reading, centring, scaling).
    double largest = 0;
    for (int i = 0; i < written.GetVertexCount(); ++i)
        if (const CVector* v = written.m_vertices.GetAt(i))
            largest = std::max({largest, std::fabs(v->x * scale), std::fabs(v->y * scale), std::fabs(v->z * scale)});
    const double tolerance = rules.absolute + (rules.relative + 2e-6) * largest;
    // Readers merge corners within 1e-6 of each other; writers that merge do
    // so before scaling. A triangle with two corners that close may collapse.
    const double mergeDistance = std::max(1e-6 + 2 * tolerance, 1.0001e-6 * scale);

    // The rows the format keeps, in the order the reader meets them.
    std::vector<CRow> rows;
    std::map<std::string, size_t> byKey;
    for (int g = 0; g < written.GetGroupCount(); ++g) {
        const CGroup* group = written.GetGroup(g);
        if (!IsWritten(group))
            continue;
        const int color = StoredColor(rules, *group);
        std::string key;
        switch (rules.grouping) {
        case EGrouping::ByName:
            key = "name " + group->name;
            break;
        case EGrouping::ByPosition:
            key = "position " + std::to_string(g);
            break;
        case EGrouping::ByColor:
            key = "colour " + std::to_string(color);
            break;
        case EGrouping::Whole:
            key = "whole";
            break;
        }
        auto [at, added] = byKey.emplace(key, rows.size());
        if (added) {
            rows.emplace_back();
            rows.back().color = color;
        }
        CRow& row = rows[at->second];
        row.groups.push_back(group);
        auto dropped = tally.dropped.find(group);
        row.dropped += dropped != tally.dropped.end() ? dropped->second : 0;
        AddTriangles(row.in, *group, scale, mergeDistance);
    }

    CReadBackModel back(written.MayUseHelperThread());
    back.CopySettings(written);
    // Centring works in the units of the scale in force: the file's own
    // units are those of a fresh model.
    back.m_scale = 1.0f;
    // Which way the faces wind does not count here; a fixed order spares
    // the load the search for the outward one.
    back.m_normalOrderSetting = 0;
    const bool read = ReadModelFile(back, format, path);
    back.RemoveEmptyGroups();
    if (!read || back.OutOfMemory()) {
        report.verdict = EVerdict::Differs;
        report.differences.push_back("the output could not be read back" +
                                     (back.Complaint().empty() ? std::string() : ": " + back.Complaint()));
    } else if (!back.Complaint().empty()) {
        report.differences.push_back("reading the output back: " + back.Complaint());
    }

    std::vector<CSide> out;
    const double backScale = back.m_scale;
    for (int g = 0; read && g < back.GetGroupCount(); ++g) {
        CSide side;
        AddTriangles(side, *back.GetGroup(g), backScale, mergeDistance, rules.turnsAboutZ);
        out.push_back(side);
    }

    // Both sides are compared from the corner of their whole box: the read
    // centres the model, so only positions within it are the file's.
    CBox wholeIn, wholeOut;
    for (const CRow& row : rows)
        if (!row.in.box.Empty() && row.in.triangles > row.dropped)
            wholeIn.Add(row.in.box);
    for (const CSide& side : out)
        if (!side.box.Empty())
            wholeOut.Add(side.box);

    long totalOut = 0, totalDropped = 0, totalCollapsed = 0;
    // Groups come back in the order the reader meets them, except where
    // colour is all that tells them apart: a reader may make those in an
    // order of its own, so they are found by colour.
    std::vector<bool> matched(out.size(), false);
    size_t next = 0;
    auto match = [&](const CRow& row) -> long {
        if (rules.grouping == EGrouping::ByColor) {
            for (size_t i = 0; i < out.size(); ++i)
                if (!matched[i] && SameColor(row.color, back.GetGroup(static_cast<int>(i))->colorIndex))
                    return static_cast<long>(i);
            return -1;
        }
        while (next < out.size() && matched[next])
            ++next;
        return next < out.size() ? static_cast<long>(next) : -1;
    };
    for (const CRow& row : rows) {
        CVerifyRow& shown = report.rows.emplace_back();
        shown.nameIn = row.groups.front()->name;
        if (row.groups.size() > 1)
            shown.nameIn += " +" + std::to_string(row.groups.size() - 1);
        shown.trianglesIn = row.in.triangles;
        shown.dropped = row.dropped;
        shown.areaIn = row.in.area;
        if (rules.colors != EColors::None)
            shown.colorIn = GroupColor(*row.groups.front()).name;
        totalDropped += row.dropped;
        const long expected = row.in.triangles - row.dropped;
        if (expected <= 0)
            continue;  // nothing of it went out, and nothing should come back
        auto differ = [&](const std::string& what) {
            shown.differs = true;
            report.differences.push_back(Quoted(shown.nameIn) + ": " + what);
        };
        const long found = match(row);
        if (found < 0) {
            if (read)
                differ(rules.grouping == EGrouping::ByColor
                           ? "nothing read back in its colour " + std::string(ColorName(row.color)) + " (" +
                                 Triangles(expected) + " written)"
                           : "not read back (" + Triangles(expected) + " written)");
            continue;
        }
        matched[static_cast<size_t>(found)] = true;
        const CSide& side = out[static_cast<size_t>(found)];
        const CGroup* backGroup = back.GetGroup(static_cast<int>(found));
        shown.nameOut = backGroup->name;
        shown.trianglesOut = side.triangles;
        shown.areaOut = side.area;
        totalOut += side.triangles;
        // Triangles that two corners within the reader's merging distance
        // may lose on the way in are the file's precision, not a loss.
        const long fewest = row.in.triangles - std::max(row.dropped, row.in.nearlyFlat);
        if (side.triangles > expected)
            differ(Triangles(side.triangles - expected) + " more read back than written (" +
                   GroupedNumber(expected) + " written, " + GroupedNumber(side.triangles) + " read)");
        else if (side.triangles < fewest)
            differ(Triangles(expected - side.triangles) + " lost (" + GroupedNumber(expected) +
                   " written, " + GroupedNumber(side.triangles) + " read)");
        else
            totalCollapsed += expected - side.triangles;
        const double areaTolerance = 2 * tolerance * (row.in.perimeter + side.perimeter) + 1e-5 * row.in.area;
        if (std::fabs(side.area - row.in.area) > areaTolerance)
            differ("area " + Format("%.6g written, %.6g read", row.in.area, side.area));
        if (!row.in.box.Empty() && !side.box.Empty()) {
            double moved = 0;
            for (int i = 0; i < 3; ++i) {
                const double lowIn = row.in.box.min[i] - wholeIn.min[i], highIn = row.in.box.max[i] - wholeIn.min[i];
                const double lowOut = side.box.min[i] - wholeOut.min[i], highOut = side.box.max[i] - wholeOut.min[i];
                moved = std::max({moved, std::fabs(lowOut - lowIn), std::fabs(highOut - highIn)});
            }
            if (moved > 4 * tolerance)
                differ("bounding box " + Format("off by %.6g (precision %.2g)", moved, 4 * tolerance));
        }
        if (rules.colors != EColors::None) {
            shown.colorOut = ColorName(backGroup->colorIndex);
            if (!SameColor(row.color, backGroup->colorIndex))
                differ("colour " + shown.colorIn + " should read back as " + ColorName(row.color) + ", read as " +
                       shown.colorOut);
        }
    }
    for (next = 0; read && next < out.size(); ++next) {
        if (matched[next])
            continue;
        CVerifyRow& shown = report.rows.emplace_back();
        shown.nameOut = back.GetGroup(static_cast<int>(next))->name;
        shown.trianglesOut = out[next].triangles;
        shown.areaOut = out[next].area;
        shown.differs = true;
        totalOut += out[next].triangles;
        report.differences.push_back(Quoted(shown.nameOut) + ": read back but never written (" +
                                     Triangles(out[next].triangles) + ")");
    }

    // Our own output must read without a complaint: a reader that stopped
    // early has lost what followed.
    report.verdict = report.differences.empty() ? EVerdict::Verified : EVerdict::Differs;
    if (report.verdict == EVerdict::Verified) {
        report.verdictLine = "verified: " + GroupedNumber(static_cast<long>(out.size())) +
                             (out.size() == 1 ? " group, " : " groups, ") + GroupedNumber(totalOut) + " triangles, ";
        if (totalDropped == 0 && totalCollapsed == 0)
            report.verdictLine += "nothing lost";
        else {
            std::string left;
            if (totalDropped > 0)
                left = GroupedNumber(totalDropped) + " left out as the format requires";
            if (totalCollapsed > 0)
                left += (left.empty() ? "" : ", ") + GroupedNumber(totalCollapsed) +
                        " collapsed at the file's precision";
            report.verdictLine += left + ", nothing else lost";
        }
    } else {
        report.verdictLine = "differs: " + report.differences.front();
        if (report.differences.size() > 1)
            report.verdictLine += " (and " + std::to_string(report.differences.size() - 1) + " more)";
    }
    return report;
}

std::string CVerifyReport::Table() const
{
    if (rows.empty())
        return verdictLine + "\n";
    size_t width = 5;
    auto name = [](const CVerifyRow& row) {
        if (row.nameIn.empty())
            return "(" + row.nameOut + ")";
        if (row.nameOut.empty() || row.nameOut == row.nameIn)
            return row.nameIn;
        return row.nameIn + " as " + row.nameOut;
    };
    for (const CVerifyRow& row : rows)
        width = std::max(width, std::min<size_t>(name(row).size(), 40));
    bool colors = false;
    for (const CVerifyRow& row : rows)
        colors = colors || !row.colorIn.empty() || !row.colorOut.empty();
    std::string text;
    char line[512];
    std::snprintf(line, sizeof line, "  %-*s %10s %8s %10s %12s %12s", static_cast<int>(width), "group", "triangles",
                  "dropped", "read back", "area", "read back");
    text += line;
    if (colors) {
        std::snprintf(line, sizeof line, " %-16s %s", "colour", "read back");
        text += line;
    }
    text += "\n";
    for (const CVerifyRow& row : rows) {
        const bool back = !row.nameOut.empty();
        std::snprintf(line, sizeof line, "%c %-*.*s %10s %8s %10s %12.6g %12s", row.differs ? '!' : ' ',
                      static_cast<int>(width), static_cast<int>(width), name(row).c_str(),
                      GroupedNumber(row.trianglesIn).c_str(), GroupedNumber(row.dropped).c_str(),
                      back ? GroupedNumber(row.trianglesOut).c_str() : "-", row.areaIn,
                      back ? Format("%.6g", row.areaOut, 0).c_str() : "-");
        text += line;
        if (colors) {
            std::snprintf(line, sizeof line, " %-16s %s", row.colorIn.c_str(), back ? row.colorOut.c_str() : "-");
            text += line;
        }
        text += "\n";
    }
    for (const std::string& difference : differences)
        text += "  " + difference + "\n";
    return text + verdictLine + "\n";
}
