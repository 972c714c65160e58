#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "SampleModels.h"
#include "TestFiles.h"

// Models and helpers for the exporters that write each group as its own mesh
// (NFF, World Toolkit NFF, 3D Studio ASCII, VRML, trueSpace).
namespace meshsamples {

// Groups by position:
//   0 "Wheel"          Orange, one triangle and a sliver whose first two
//                      corners are distinct vertices at the same place;
//   1 "Skipped"        ignored;
//   2 "LeftFrontWheel" Gray50, a quadrilateral sharing corner (1, 0, 0) with
//                      Wheel; its name is too long for ten-character formats;
//   3 "Sliver"         only the sliver, so no drawable triangle;
//   4 "Dome"           smooth, but the model has no vertex normals.
inline void Parts(CModel& model)
{
    model.Clear(false);
    model.SetGroup("Wheel", FindColor("Orange"), FindTexture("Dull"));
    model.AddTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0});
    const int32_t sliver[3] = {model.AddVertex({2, 0, 0}, false) + 1, model.AddVertex({2, 0, 0}, false) + 1,
                               model.AddVertex({2, 1, 0}, false) + 1};
    model.AddFace(3, sliver);

    model.SetGroup("Skipped", FindColor("Yellow"), FindTexture("Dull"));
    model.AddTriangle({5, 5, 5}, {6, 5, 5}, {5, 6, 5});
    model.m_currentGroup->active = 0;

    model.SetGroup("LeftFrontWheel", FindColor("Gray50"), FindTexture("Metal"));
    const int32_t quad[4] = {model.AddVertex({1, 0, 0}, true) + 1, model.AddVertex({1, 0, 1}, true) + 1,
                             model.AddVertex({1, 1, 1}, true) + 1, model.AddVertex({1, 1, 0}, true) + 1};
    model.AddFace(4, quad);

    model.SetGroup("Sliver", FindColor("Red"), FindTexture("Shiny"));
    model.AddFace(3, sliver);

    model.SetGroup("Dome", FindColor("White"), FindTexture("Shiny"));
    model.SmoothCurrentGroup();
    model.AddTriangle({0, 0, 3}, {1, 0, 3}, {0, 1, 3});
}

// A file in the temporary directory, removed when the object goes. Names
// carry the process id: ctest runs tests of one binary in parallel.
class CTempFile
{
public:
    explicit CTempFile(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("trivex-" + std::to_string(static_cast<long>(getpid())) + "-" + name))
    {
    }
    ~CTempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Quoted() const { return "'" + m_path.string() + "'"; }

private:
    std::filesystem::path m_path;
};

// What `assimp info` made of a file.
struct CAssimpInfo
{
    int exitCode = -1;
    long meshes = -1;
    long faces = -1;
    std::string output;
};

// The number after the first line starting with `label`, or -1.
inline long NumberAfter(const std::string& text, const std::string& label)
{
    size_t at = text.find("\n" + label);
    if (at == std::string::npos)
        return -1;
    return std::strtol(text.c_str() + at + 1 + label.size(), nullptr, 10);
}

inline CAssimpInfo AssimpInfo(const std::string& bytes, const std::string& fileName)
{
    CTempFile file(fileName);
    testfiles::WriteAll(file.Path(), bytes);
    CAssimpInfo info;
    info.exitCode = testfiles::RunCommand("assimp info " + file.Quoted(), &info.output);
    info.meshes = NumberAfter(info.output, "Meshes:");
    info.faces = NumberAfter(info.output, "Faces:");
    return info;
}

#define TRIVEX_REQUIRE_TOOL(tool)                                                              \
    do {                                                                                       \
        if (!testfiles::HaveTool(tool))                                                        \
            GTEST_SKIP() << tool << " is not installed; scripts/setup.sh installs it";         \
    } while (0)

// Counts the lines of `text` that equal `line` exactly.
inline int CountLines(const std::string& text, const std::string& line)
{
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, end - start, line) == 0)
            ++count;
        start = end + 1;
    }
    return count;
}

}  // namespace meshsamples
