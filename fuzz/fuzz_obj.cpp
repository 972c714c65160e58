#include "FuzzModel.h"

// Read as one piece and in small pieces, a file must give the same model
// and messages.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t pieceBytes = 1 + size % 64;
    return FuzzBothWays([size](CModel& model, FILE* fp) { return ReadObjPieces(model, fp, size + 1); },
                        [pieceBytes](CModel& model, FILE* fp) { return ReadObjPieces(model, fp, pieceBytes); },
                        data, size);
}
