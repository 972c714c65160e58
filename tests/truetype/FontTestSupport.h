#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Outline.h"
#include "TextBuilder.h"

// The fonts the engine is checked on, read in place where Debian installs them.
struct CInstalledFont
{
    const char* file;
    const char* package;
};
inline constexpr CInstalledFont kInstalledFonts[] = {
    {"DejaVuSans.ttf", "fonts-dejavu-core"},
    {"LiberationSans-Regular.ttf", "fonts-liberation"},
    {"FreeSans.ttf", "fonts-freefont-ttf"},
};

// The path of an installed font, or "" when it is not installed.
inline std::string FindInstalledFont(const std::string& file)
{
    for (const char* dir : {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/liberation",
                            "/usr/share/fonts/truetype/freefont", "/usr/share/fonts/TTF", "/usr/local/share/fonts"}) {
        std::filesystem::path path = std::filesystem::path(dir) / file;
        if (std::filesystem::exists(path))
            return path.string();
    }
    return "";
}

// A FreeType face with its (3, 1) character map selected.
class CFreeTypeFace
{
public:
    explicit CFreeTypeFace(const std::string& path) { Open([&] { return FT_New_Face(m_library, path.c_str(), 0, &m_face); }); }
    explicit CFreeTypeFace(const std::string* bytes)
    {
        Open([&] {
            return FT_New_Memory_Face(m_library, reinterpret_cast<const FT_Byte*>(bytes->data()),
                                      static_cast<FT_Long>(bytes->size()), 0, &m_face);
        });
    }
    ~CFreeTypeFace()
    {
        if (m_face)
            FT_Done_Face(m_face);
        if (m_library)
            FT_Done_FreeType(m_library);
    }
    CFreeTypeFace(const CFreeTypeFace&) = delete;
    CFreeTypeFace& operator=(const CFreeTypeFace&) = delete;

    FT_Face Face() const { return m_face; }

private:
    template <typename F>
    void Open(F open)
    {
        if (FT_Init_FreeType(&m_library) || open()) {
            m_face = nullptr;
            return;
        }
        for (int i = 0; i < m_face->num_charmaps; ++i)
            if (m_face->charmaps[i]->platform_id == 3 && m_face->charmaps[i]->encoding_id == 1)
                FT_Set_Charmap(m_face, m_face->charmaps[i]);
    }

    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
};

inline double CrossFt(const FT_Vector& a, const FT_Vector& b)
{
    return static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x;
}

// The signed area (positive counter-clockwise) of each contour of a FreeType
// outline, exact for its lines and quadratic arcs.
inline std::vector<double> OutlineAreas(FT_Outline* outline)
{
    struct CState
    {
        std::vector<double> areas;
        FT_Vector at{};
    } state;
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector* to, void* user) {
        auto* s = static_cast<CState*>(user);
        s->areas.push_back(0.0);
        s->at = *to;
        return 0;
    };
    funcs.line_to = [](const FT_Vector* to, void* user) {
        auto* s = static_cast<CState*>(user);
        s->areas.back() += CrossFt(s->at, *to) / 2;
        s->at = *to;
        return 0;
    };
    funcs.conic_to = [](const FT_Vector* control, const FT_Vector* to, void* user) {
        auto* s = static_cast<CState*>(user);
        s->areas.back() += (2 * CrossFt(s->at, *control) + 2 * CrossFt(*control, *to) + CrossFt(s->at, *to)) / 6;
        s->at = *to;
        return 0;
    };
    funcs.cubic_to = [](const FT_Vector*, const FT_Vector*, const FT_Vector*, void*) { return 1; };
    // FreeType rounds the midpoints between two control points to whole
    // units; doubling the outline first keeps them exact.
    FT_Matrix twice{2 << 16, 0, 0, 2 << 16}, half{1 << 15, 0, 0, 1 << 15};
    FT_Outline_Transform(outline, &twice);
    int error = FT_Outline_Decompose(outline, &funcs, &state);
    FT_Outline_Transform(outline, &half);
    if (error)
        return {};
    for (double& area : state.areas)
        area /= 4;
    return state.areas;
}

inline double SignedArea(const std::vector<Vec3d>& v)
{
    double a = 0.0;
    for (size_t i = 0; i < v.size(); ++i) {
        const Vec3d& p = v[i];
        const Vec3d& q = v[(i + 1) % v.size()];
        a += p.x * q.y - p.y * q.x;
    }
    return a / 2;
}

inline double SignedArea(const Triangle3d& t)
{
    return SignedArea(std::vector<Vec3d>{t.corner[0], t.corner[1], t.corner[2]});
}

// Area of the points that the outlines wind around at least once (non-zero
// rule), integrated over many horizontal scanlines.
inline double NonZeroArea(const std::vector<OutlinePolygon>& outlines)
{
    double yMin = 1e30, yMax = -1e30;
    for (const OutlinePolygon& o : outlines)
        for (const Vec3d& v : o.vertices)
            yMin = std::min(yMin, v.y), yMax = std::max(yMax, v.y);
    if (yMin >= yMax)
        return 0.0;
    const int lines = 4000;
    const double h = (yMax - yMin) / lines;
    double area = 0.0;
    std::vector<std::pair<double, int>> crossings;
    for (int k = 0; k < lines; ++k) {
        double y = yMin + (k + 0.5) * h;
        crossings.clear();
        for (const OutlinePolygon& o : outlines) {
            const std::vector<Vec3d>& v = o.vertices;
            for (size_t i = 0; i < v.size(); ++i) {
                const Vec3d& a = v[i];
                const Vec3d& b = v[(i + 1) % v.size()];
                if ((a.y <= y) != (b.y <= y))
                    crossings.emplace_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y), b.y > a.y ? 1 : -1);
            }
        }
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += crossings[i].second;
            if (winding != 0)
                area += (crossings[i + 1].first - crossings[i].first) * h;
        }
    }
    return area;
}

// Directed edges of triangles; a closed, consistently wound surface uses each
// edge as often in one direction as in the other.
inline int UnpairedEdges(const std::vector<const TriangleList*>& lists)
{
    std::map<std::array<double, 6>, int> edges;
    for (const TriangleList* list : lists)
        for (const Triangle3d& t : list->Triangles())
            for (int k = 0; k < 3; ++k) {
                const Vec3d& a = t.corner[k];
                const Vec3d& b = t.corner[(k + 1) % 3];
                if (a == b)
                    continue;
                std::array<double, 6> forward{a.x, a.y, a.z, b.x, b.y, b.z};
                std::array<double, 6> backward{b.x, b.y, b.z, a.x, a.y, a.z};
                if (forward < backward)
                    ++edges[forward];
                else
                    --edges[backward];
            }
    int unpaired = 0;
    for (const auto& [edge, balance] : edges)
        unpaired += std::abs(balance);
    return unpaired;
}
