#include <cstring>
#include <string>

#include "FuzzModel.h"

namespace {

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

std::string Outcome(const CKeptModel& model, int result)
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

template <typename Reader>
int Read(Reader read, CKeptModel& model, const uint8_t* data, size_t size)
{
    static const uint8_t kNothing[1] = {0};
    FILE* fp = fmemopen(const_cast<uint8_t*>(size ? data : kNothing), size ? size : 1, "rb");
    if (!fp)
        __builtin_trap();
    if (!size)
        std::fgetc(fp);
    const int result = read(model, fp);
    std::fclose(fp);
    return result;
}

}  // namespace

// Read in one stream and in pieces (cut wherever a polygon starts a line,
// when they are small), a file must give the same model and messages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CKeptModel stream(true), pieces(false);
    const int a = Read([](CKeptModel& m, FILE* fp) { return ReadNff(m, fp); }, stream, data, size);
    const size_t pieceBytes = 1 + size % 64;
    const int b =
        Read([pieceBytes](CKeptModel& m, FILE* fp) { return ReadNffPieces(m, fp, pieceBytes); }, pieces, data, size);
    if (Outcome(stream, a) != Outcome(pieces, b))
        __builtin_trap();
    return 0;
}
