#include <cstddef>
#include <cstdint>

#include "Model.h"
#include "TextBuilder.h"

namespace {

// Notifications go nowhere, so that fuzzing spends its time in the engine.
class CQuietModel : public CModel
{
public:
    void StatusMessage(const char*, ...) override {}
    void ErrorMessage(const char*, ...) override {}
    void InfoMessage(const char*, ...) override {}
    void NoticeMessage(const char*, ...) override {}
};

}  // namespace

// The bytes are a font; when it reads, a few characters are built from it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TrueTypeFont font(data, size, 3, 1, 0x0409);
    if (font.Status() != kFontOk)
        return 0;
    TextOptions options;
    options.codes = {'A', 'O', 'C', 'g', ' ', '8', 0x416};
    CQuietModel model;
    model.SetGroup("TTFont", 0, 0);
    BuildText(font, options, &model);
    return 0;
}
