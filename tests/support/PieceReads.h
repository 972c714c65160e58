#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ModelDump.h"
#include "RecordingModel.h"
#include "TestFiles.h"

// Adds the corpus files of `sub` below a megabyte, where the corpus lies
// beside the clone.
inline void AddCorpusTexts(std::vector<std::string>& texts, const std::string& sub)
{
    if (!std::filesystem::is_directory(testfiles::CorpusDir(sub)))
        return;
    for (const auto& entry : std::filesystem::directory_iterator(testfiles::CorpusDir(sub)))
        if (entry.is_regular_file() && entry.file_size() < (1u << 20))
            texts.push_back(testfiles::ReadAll(entry.path()));
}

// Reads each text with read(model, fp, pieceBytes) in pieces of several
// sizes, down to one byte, and expects each read to give what a read with
// `whole` gives: the result, every notification and the model. The
// smallest pieces only for smaller texts, which they read slowly.
template <typename Read>
void ExpectPiecesReadAsOne(Read read, const std::vector<std::string>& texts, size_t whole)
{
    auto outcome = [&read](const std::string& text, size_t pieceBytes) {
        CRecordingModel model;
        FILE* fp = testfiles::OpenText(text);
        const int result = read(model, fp, pieceBytes);
        std::fclose(fp);
        std::string out = "result " + std::to_string(result) + "\n";
        for (const std::string& e : model.events)
            out += e + "\n";
        for (const std::string& i : model.infos)
            out += "info " + i + "\n";
        return out + DumpModel(model);
    };
    for (const std::string& text : texts) {
        const std::string expected = outcome(text, whole);
        for (size_t pieceBytes : {size_t{1}, size_t{7}, size_t{100}, size_t{4096}}) {
            if (pieceBytes >= 100 || text.size() < 50000) {
                EXPECT_EQ(outcome(text, pieceBytes), expected) << "pieces of " << pieceBytes << " bytes:\n"
                                                               << text.substr(0, 200);
            }
        }
    }
}
