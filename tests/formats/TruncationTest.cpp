// Every real file of the shared corpus, cut short at many places, through its
// reader: whatever the reader makes of it, it must end without a crash, a hang
// or a sanitizer report, and a failed read must say why.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Formats.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

class CQuietModel : public CModel
{
public:
    void ShowStatus(const char*) override {}
    void ShowError(const char*) override { ++errors; }
    void ShowInfo(const char*) override {}
    int errors = 0;
};

struct Folder
{
    const char* folder;
    std::vector<const char*> formats;  // every reader that may meet these files
};

class Truncation : public testing::TestWithParam<Folder>
{
};

TEST_P(Truncation, EveryPrefixOfEveryFileEndsCleanly)
{
    const Folder& param = GetParam();
    fs::path source = testfiles::CorpusDir(param.folder);
    if (!fs::is_directory(source))
        GTEST_SKIP() << "no corpus folder " << source << " beside the clone";
    std::vector<const CFormat*> readers;
    for (const char* name : param.formats)
        if (const CFormat* format = FindFormat(name); format && format->CanRead())
            readers.push_back(format);
    if (readers.empty())
        GTEST_SKIP() << "no reader for the files of " << param.folder << " in this build";

    fs::path dir = fs::temp_directory_path() / ("trivex-cut-" + std::to_string(::getpid()) + "-" + param.folder);
    fs::create_directories(dir);
    int files = 0, reads = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
        if (!entry.is_regular_file())
            continue;
        const std::string bytes = testfiles::ReadAll(entry.path());
        // The first bytes, where headers are, then 32 cuts spread over the rest.
        std::vector<size_t> cuts = {0, 1, 2, 5, 16, 64};
        for (size_t k = 1; k <= 32; ++k)
            cuts.push_back(bytes.size() * k / 33);
        fs::path cut = dir / ("cut" + entry.path().extension().string());
        for (size_t length : cuts) {
            if (length >= bytes.size())
                continue;
            testfiles::WriteAll(cut, bytes.substr(0, length));
            for (const CFormat* format : readers) {
                SCOPED_TRACE(entry.path().filename().string() + " cut at " + std::to_string(length) + " as " +
                             format->name);
                CQuietModel model;
                if (!ReadModelFile(model, *format, cut.string())) {
                    EXPECT_GT(model.errors, 0) << "a failed read without a message";
                }
                ++reads;
            }
        }
        ++files;
    }
    fs::remove_all(dir);
    EXPECT_GT(files, 0);
    std::printf("%s: %d files, %d reads of prefixes\n", param.folder, files, reads);
}

// .nff files are Neutral File Format or World Toolkit; each reader must cope
// with the other's files too.
INSTANTIATE_TEST_SUITE_P(Corpus, Truncation,
                         testing::Values(Folder{"obj", {"obj"}}, Folder{"raw", {"raw"}},
                                         Folder{"nff", {"nff", "wtk"}}, Folder{"wtk", {"wtk", "nff"}},
                                         Folder{"geo", {"geo"}}, Folder{"3ds", {"3ds"}}, Folder{"dxf", {"dxf"}}),
                         [](const testing::TestParamInfo<Folder>& info) { return std::string(info.param.folder); });

}  // namespace
