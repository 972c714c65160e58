// Every corpus model that converts, saved as .glb and .gltf and read by
// independent programs: the Khronos glTF Validator must find no error and no
// warning and count our triangles and draws, and assimp must read the same
// meshes and triangles. Each check skips, saying so, where its program is
// absent.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    void ShowError(const char*) override {}
    void ShowInfo(const char*) override {}
    void ShowWarning(const char*) override {}
};

struct COutput
{
    std::string source;  // the corpus file
    std::string path;    // our .glb or .gltf, named by number in a folder of ours: no quoting needed
    long meshes = 0;
    long triangles = 0;
};

// The number after `key` in a report, or -1.
long Field(const std::string& text, const std::string& key)
{
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + key.size());
}

class GltfCorpus : public testing::Test
{
protected:
    // The corpus is converted once for both checks.
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / ("trivex-gltf-" + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        if (!fs::is_directory(testfiles::CorpusDir("")))
            return;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(testfiles::CorpusDir(""))) {
            CQuietModel model;
            // Files of no model format, and those our readers refuse, do not convert.
            if (!entry.is_regular_file() || !OpenByName(model, entry.path().string()) || !model.GetPolygonCount())
                continue;
            for (const char* ext : {"glb", "gltf"}) {
                COutput out{entry.path().string(), (s_dir / (std::to_string(s_outputs.size()) + "." + ext)).string()};
                EXPECT_TRUE(WriteModelFile(model, *FindFormat(ext), out.path)) << out.source << " as " << ext;
                const std::string bytes = testfiles::ReadAll(out.path);
                const gltfoutput::json doc = ext[2] == 'b' ? gltfoutput::ParseGlb(bytes).doc
                                                           : gltfoutput::json::parse(bytes, nullptr, false);
                EXPECT_TRUE(doc.is_object()) << out.source << " as " << ext;
                out.meshes = doc.is_object() ? static_cast<long>(doc.value("meshes", gltfoutput::json::array()).size()) : -1;
                out.triangles = doc.is_object() ? gltfoutput::TriangleCount(doc) : -1;
                s_outputs.push_back(out);
            }
        }
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }
    void SetUp() override { TRIVEX_REQUIRE_CORPUS(""); }

    static inline fs::path s_dir;
    static inline std::vector<COutput> s_outputs;
};

TEST_F(GltfCorpus, ValidatorFindsNoErrorsOrWarnings)
{
    const fs::path top = fs::path(TRIVEX_TEST_DATA).parent_path().parent_path();
    const fs::path modules = top / ".tools" / "node_modules";
    if (!testfiles::HaveTool("node") || !fs::exists(modules / "gltf-validator"))
        GTEST_SKIP() << "node or gltf-validator in " << modules.string() << " missing (scripts/setup.sh installs them)";
    ASSERT_GT(s_outputs.size(), 20u);
    std::string command = "NODE_PATH='" + modules.string() + "' node '" + (top / "tests/writers/gltf_validate.js").string() + "'";
    for (const COutput& out : s_outputs)
        command += " '" + out.path + "'";
    std::string report;
    ASSERT_EQ(0, testfiles::RunCommand(command, &report)) << report;
    for (const COutput& out : s_outputs) {
        // "FILE errors=N warnings=N triangles=N draws=N", then that file's problems, indented
        const size_t at = report.find(out.path + " errors=");
        ASSERT_NE(std::string::npos, at) << out.source << " not in the report:\n" << report;
        const std::string block = report.substr(at, report.find("\n/", at) - at);
        EXPECT_EQ(0, Field(block, "errors=")) << out.source << ": " << block;
        EXPECT_EQ(0, Field(block, "warnings=")) << out.source << ": " << block;
        EXPECT_EQ(out.triangles, Field(block, "triangles=")) << out.source;
        EXPECT_EQ(out.meshes, Field(block, "draws=")) << out.source;
    }
    std::printf("validator: %zu files of ours\n", s_outputs.size());
}

TEST_F(GltfCorpus, AssimpReadsTheSameMeshesAndTriangles)
{
    if (!testfiles::HaveTool("assimp"))
        GTEST_SKIP() << "assimp not installed (Debian assimp-utils)";
    ASSERT_GT(s_outputs.size(), 20u);
    for (const COutput& out : s_outputs) {
        std::string text;
        ASSERT_EQ(0, testfiles::RunCommand("assimp info '" + out.path + "'", &text)) << out.source << "\n" << text;
        EXPECT_EQ(out.meshes, Field(text, "Meshes:")) << out.source << " as " << out.path;
        EXPECT_EQ(out.triangles, Field(text, "Faces:")) << out.source << " as " << out.path;
    }
    std::printf("assimp: %zu files of ours\n", s_outputs.size());
}

}  // namespace
