#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Model.h"
#include "TextReaders.h"

// A model whose notifications go nowhere, so that fuzzing spends its time in
// the readers rather than on standard output.
class CQuietModel : public CModel
{
public:
    void StatusMessage(const char*, ...) override {}
    void ErrorMessage(const char*, ...) override {}
    void InfoMessage(const char*, ...) override {}
    void WarningMessage(const char*, ...) override {}
    void NoticeMessage(const char*, ...) override {}
};

// Feeds the bytes to a reader through an in-memory stream.
template <typename Reader>
int FuzzReader(Reader reader, const uint8_t* data, size_t size)
{
    // An empty input is worth reading too; fmemopen wants at least one byte.
    static const uint8_t kNothing[1] = {0};
    FILE* fp = fmemopen(const_cast<uint8_t*>(size ? data : kNothing), size ? size : 1, "rb");
    if (!fp)
        return 0;
    if (!size)
        std::fgetc(fp);  // leaves the stream at its end
    CQuietModel model;
    reader(model, fp);
    std::fclose(fp);
    return 0;
}

// Keeps what a read said, besides status texts, for comparing two reads.
class CKeptModel : public CModel
{
public:
    explicit CKeptModel(bool status) : m_status(status) {}
    bool ShowsStatus() const override { return m_status; }
    void ShowStatus(const char*) override {}
    void ShowError(const char* text) override { said += std::string("error ") + text + "\n"; }
    void ShowInfo(const char* text) override { said += std::string("info ") + text + "\n"; }
    void ShowNotice(const char* text) override { said += std::string("notice ") + text + "\n"; }

    std::string said;

private:
    bool m_status;
};

// What the read said and left: every vertex and every face, exactly.
inline std::string Outcome(const CKeptModel& model, int result)
{
    std::string out = std::to_string(result) + "\n" + model.said;
    for (int v = 0; v < model.GetVertexCount(); ++v) {
        const CVector* p = model.m_vertices.GetAt(v);
        out.append(reinterpret_cast<const char*>(p), sizeof *p);
    }
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        const CGroup* group = model.GetGroup(g);
        out += "\n" + group->name + " " + std::to_string(group->colorIndex) + " " + std::to_string(group->smooth);
        for (int p = 0; p < group->polygons.GetCount(); ++p) {
            const CPolygon* polygon = group->polygons.GetAt(p);
            out.append(reinterpret_cast<const char*>(polygon->index), sizeof polygon->index);
        }
    }
    return out;
}

// Reads the bytes twice, `first` into a model that shows status texts and
// `second` into one that does not, and stops the fuzzer where the two
// reads differ: two ways of reading the same file must agree.
template <typename First, typename Second>
int FuzzBothWays(First first, Second second, const uint8_t* data, size_t size)
{
    auto read = [data, size](auto reader, CKeptModel& model) {
        static const uint8_t kNothing[1] = {0};
        FILE* fp = fmemopen(const_cast<uint8_t*>(size ? data : kNothing), size ? size : 1, "rb");
        if (!fp)
            __builtin_trap();
        if (!size)
            std::fgetc(fp);
        const int result = reader(model, fp);
        std::fclose(fp);
        return Outcome(model, result);
    };
    CKeptModel a(true), b(false);
    if (read(first, a) != read(second, b))
        __builtin_trap();
    return 0;
}
