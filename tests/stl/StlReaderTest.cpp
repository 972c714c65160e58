// The STL reader on the fuzz target's regression files, each read from the
// regular file (sized up front, read in one go) and from a stream that can
// only be read through (fmemopen): both must give the same.

#include <gtest/gtest.h>

#include "StlFiles.h"

namespace {

struct CCase
{
    const char* file;
    int result;
    std::vector<std::string> groups;
    long triangles, vertices;
    const char* message;  // part of the warning of a good read, of the error of a failed one
};

const CCase kCases[] = {
    {"cube-binary.stl", 1, {"cube_binary"}, 12, 8, ""},
    // The size rule decides, not the first word of the header.
    {"solid-header.stl", 1, {"solid_header"}, 12, 8, ""},
    {"two-solids.stl", 1, {"left_half", "right_half_1"}, 12, 8, ""},
    {"nameless.stl", 1, {"nameless"}, 2, 4, ""},
    {"ascii-upper-quad.stl", 1, {"quad"}, 2, 4, ""},
    {"sliver.stl", 1, {"sliver"}, 12, 8, ""},  // coincident corners: dropped
    {"ascii-no-endsolid.stl", 1, {"cube"}, 12, 8, "ends without \"endsolid\""},
    {"trailing-bytes.stl", 1, {"trailing_bytes"}, 12, 8, "holds more than its 12 facets"},
    {"cut-short.stl", 0, {}, 0, 0, "header counts 12 facets, 600 bytes, but only 570 bytes follow"},
    {"huge-count.stl", 0, {}, 0, 0, "header counts 4294967295 facets"},
    {"non-finite.stl", 0, {}, 0, 0, "Facet 1 of the binary STL file has a corner that is not a finite number"},
    {"ascii-nan.stl", 0, {}, 0, 0, "Line 20: a vertex of the STL file has a coordinate that is not a finite number"},
    {"ascii-cut-mid-facet.stl", 0, {}, 0, 0, "ends in the middle of a facet"},
    {"short-vertex.stl", 0, {}, 0, 0, "Line 4: a vertex of the STL file needs three numbers"},
    {"two-corners.stl", 1, {}, 0, 0, "1 facets of the STL file have fewer than three corners"},
    {"no-outer-loop.stl", 0, {}, 0, 0, "Line 3: \"outer loop\" expected in the STL file, found \"vertex\""},
    {"empty.stl", 0, {}, 0, 0, "0 bytes, too short for a binary STL file"},
    {"not-stl.stl", 0, {}, 0, 0, "does not start with \"solid\""},
};

std::string Outcome(FILE* fp, const std::string& path)
{
    CRecordingModel model;
    std::string out = std::to_string(ReadStl(model, fp, path.c_str()));
    std::fclose(fp);
    for (const std::string& name : testfiles::GroupNames(model))
        out += " group " + name;
    out += " triangles " + std::to_string(stlfiles::Triangles(model)) + " vertices " +
           std::to_string(model.GetVertexCount());
    for (const auto& texts : {model.errors, model.infos})
        for (const std::string& text : texts)
            out += "\n" + text;
    return out;
}

TEST(StlReader, RegularFilesAndStreamsAlike)
{
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.file);
        const std::string path = std::string(TRIVEX_STL_FILES) + "/" + c.file;
        std::string bytes = testfiles::ReadAll(path);
        // fmemopen wants a byte even for an empty file: the string's final zero, read past.
        FILE* stream = fmemopen(bytes.data(), std::max<size_t>(bytes.size(), 1), "rb");
        if (bytes.empty())
            std::fgetc(stream);
        const std::string fromFile = Outcome(std::fopen(path.c_str(), "rb"), path);
        EXPECT_EQ(Outcome(stream, path), fromFile);

        std::string expected = std::to_string(c.result);
        for (const std::string& name : c.groups)
            expected += " group " + name;
        expected += " triangles " + std::to_string(c.triangles) + " vertices " + std::to_string(c.vertices);
        EXPECT_EQ(fromFile.substr(0, fromFile.find('\n')), expected);
        EXPECT_NE(fromFile.find(c.message), std::string::npos) << fromFile;
        EXPECT_EQ(fromFile.find('\n') != std::string::npos, *c.message != '\0') << fromFile;
    }
}

}  // namespace
