// Every model of the shared corpus that converts, saved as .glb and .gltf and
// handed to independent readers: the Khronos glTF Validator must find no
// error and no warning and count our triangles, and assimp must read the
// same meshes and triangles. Each check skips, saying so, where its program
// is absent.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Formats.h"
#include "TestFiles.h"
#include "writers/GltfOutput.h"

namespace fs = std::filesystem;

namespace {

class CQuietModel : public CModel
{
public:
    void ShowStatus(const char*) override {}
    void ShowError(const char* text) override { errors += std::string(text) + "\n"; }
    void ShowInfo(const char*) override {}
    void ShowWarning(const char*) override {}
    void ShowNotice(const char*) override {}
    std::string errors;
};

struct COutput
{
    std::string source;  // the corpus file, relative to the corpus
    fs::path path;       // our .glb or .gltf
    long meshes = 0;
    long triangles = 0;
};

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The number after `key` in assimp's report, or -1.
long AssimpField(const std::string& text, const std::string& key)
{
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + key.size());
}

class GltfCorpus : public testing::Test
{
protected:
    // Converting the corpus once serves every check.
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / ("trivex-gltf-" + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        const fs::path corpus = testfiles::CorpusDir("");
        if (!fs::is_directory(corpus))
            return;
        int n = 0;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
            if (!entry.is_regular_file())
                continue;
            CQuietModel model;
            // Files of no model format, and those our readers refuse, do not convert.
            if (!OpenByName(model, entry.path().string()) || model.GetPolygonCount() == 0)
                continue;
            const std::string source = fs::relative(entry.path(), corpus).string();
            for (const char* ext : {"glb", "gltf"}) {
                COutput out;
                out.source = source;
                out.path = s_dir / (std::to_string(n) + "." + ext);
                if (!WriteModelFile(model, *FindFormat(ext), out.path.string())) {
                    ADD_FAILURE() << source << " -> " << ext << ": " << model.errors;
                    continue;
                }
                const std::string bytes = testfiles::ReadAll(out.path);
                const gltfoutput::json doc = ext[2] == 'b' ? gltfoutput::ParseGlb(bytes).doc
                                                           : gltfoutput::json::parse(bytes, nullptr, false);
                if (!doc.is_object()) {
                    ADD_FAILURE() << source << " -> " << ext << " cannot be taken apart";
                    continue;
                }
                out.meshes = static_cast<long>(doc.value("meshes", gltfoutput::json::array()).size());
                out.triangles = gltfoutput::TriangleCount(doc);
                s_outputs.push_back(out);
            }
            ++n;
        }
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(s_dir, ignored);
        s_outputs.clear();
    }

    void SetUp() override { TRIVEX_REQUIRE_CORPUS(""); }

    static fs::path s_dir;
    static std::vector<COutput> s_outputs;
};

fs::path GltfCorpus::s_dir;
std::vector<COutput> GltfCorpus::s_outputs;

TEST_F(GltfCorpus, ValidatorFindsNoErrorsOrWarnings)
{
    if (!testfiles::HaveTool("node"))
        GTEST_SKIP() << "node not installed";
    const fs::path top = fs::path(TRIVEX_TEST_DATA).parent_path().parent_path();
    const fs::path modules = top / ".tools" / "node_modules";
    if (!fs::exists(modules / "gltf-validator"))
        GTEST_SKIP() << "gltf-validator not installed in " << modules.string() << " (scripts/setup.sh installs it)";
    ASSERT_GT(s_outputs.size(), 20u);

    std::string command = "NODE_PATH=" + Quote(modules.string()) + " node " +
                          Quote((top / "tests" / "writers" / "gltf_validate.js").string());
    for (const COutput& out : s_outputs)
        command += " " + Quote(out.path.string());
    std::string report;
    ASSERT_EQ(0, testfiles::RunCommand(command, &report)) << report;

    // "FILE errors=N warnings=N infos=N triangles=N draws=N", then the
    // messages of that file, indented.
    std::map<std::string, std::string> blocks;
    std::istringstream lines(report);
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != ' ')
            current = line.substr(0, line.find(' '));
        blocks[current] += line + "\n";
    }
    for (const COutput& out : s_outputs) {
        const std::string& block = blocks[out.path.string()];
        SCOPED_TRACE(out.source + " as " + out.path.extension().string());
        ASSERT_FALSE(block.empty()) << "no report";
        EXPECT_NE(std::string::npos, block.find(" errors=0 warnings=0 ")) << block;
        EXPECT_EQ(out.triangles, AssimpField(block, "triangles=")) << block;
        EXPECT_EQ(out.meshes, AssimpField(block, "draws=")) << block;
    }
    std::printf("validator: %zu files of ours\n", s_outputs.size());
}

TEST_F(GltfCorpus, AssimpReadsTheSameMeshesAndTriangles)
{
    if (!testfiles::HaveTool("assimp"))
        GTEST_SKIP() << "assimp not installed (Debian assimp-utils)";
    ASSERT_GT(s_outputs.size(), 20u);
    for (const COutput& out : s_outputs) {
        SCOPED_TRACE(out.source + " as " + out.path.extension().string());
        std::string text;
        ASSERT_EQ(0, testfiles::RunCommand("assimp info " + Quote(out.path.string()), &text)) << text;
        EXPECT_EQ(out.meshes, AssimpField(text, "Meshes:")) << text;
        EXPECT_EQ(out.triangles, AssimpField(text, "Faces:")) << text;
    }
    std::printf("assimp: %zu files of ours\n", s_outputs.size());
}

}  // namespace
