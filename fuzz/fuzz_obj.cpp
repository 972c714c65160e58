#include "FuzzModel.h"

// Read as one stream and in small pieces, a file must give the same model
// and messages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t pieceBytes = 1 + size % 64;
    return FuzzBothWays([](CModel& model, FILE* fp) { return ReadObjPieces(model, fp, 0); },
                        [pieceBytes](CModel& model, FILE* fp) { return ReadObjPieces(model, fp, pieceBytes); },
                        data, size);
}
