#include "FuzzModel.h"

// Read in one stream and in small pieces (cut wherever a polygon starts a
// line), a file must give the same model and messages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t pieceBytes = 1 + size % 64;
    return FuzzBothWays([](CModel& model, FILE* fp) { return ReadNff(model, fp); },
                        [pieceBytes](CModel& model, FILE* fp) { return ReadNffPieces(model, fp, pieceBytes); }, data,
                        size);
}
