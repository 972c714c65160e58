#include "FuzzModel.h"
#include "GltfReader.h"

namespace {

// The reader's notice of skipped points and lines would go to standard output.
class CSilentModel : public CQuietModel
{
public:
    void NoticeMessage(const char*, ...) override {}
};

}  // namespace

// JSON and binary files alike: the reader tells them apart by their first
// bytes. Without a folder every buffer file is refused, so the input is all
// the reader sees.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CSilentModel model;
    ReadGltfBytes(model, data, size, "");
    return 0;
}
