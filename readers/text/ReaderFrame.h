#pragma once

#include <new>

#include "Model.h"
#include "TextInput.h"

namespace readerframe {

inline void SelectDefaultGroup(CModel& model)
{
    model.SetGroup("Red", FindColor("Red"), FindTexture("Shiny"));
}

// The start shared by the RAW, TPOLY, AOFF and NFF readers: the wait bracket
// opens, the model is emptied and the default group "Red" receives faces until
// the file names groups of its own.
inline void BeginRead(CModel& model)
{
    model.BeginWait();
    model.Clear(true);
    SelectDefaultGroup(model);
}

// Tells the user when the line just read was too long to be read whole: its
// start was used and the rest skipped.
inline void WarnIfCut(CModel& model, const textinput::CTextStream& in, long line)
{
    if (in.LineCut())
        model.WarningMessage("Line %ld is longer than %zu MiB; only its start was read", line,
                             textinput::CTextStream::kMaxLine >> 20);
}

// Says that reading the file failed (CReadError); `format` names the file
// as the user knows it.
inline void ReadErrorMessage(CModel& model, const char* format)
{
    model.ErrorMessage("Read error in the %s file", format);
}

// The whole frame of the readers that merge corners as they read (RAW, TPOLY,
// NFF): parse, release the merge index, then the load epilogue. Running out of
// memory or a failed read empties the model and gives 0; the parse stops once
// the model has run out (OutOfMemory), which has said so itself.
template <typename Parse>
int ReadMerging(CModel& model, const char* format, Parse&& parse)
{
    BeginRead(model);
    bool failed = false;
    try {
        parse();
    } catch (const std::bad_alloc&) {
        model.ErrorMessage("Out of Memory\n");
        failed = true;
    } catch (const CReadError&) {
        ReadErrorMessage(model, format);
        failed = true;
    }
    if (failed || model.OutOfMemory()) {
        model.EndWait();
        model.Clear(true);
        return 0;
    }
    model.ClearVertexHash();
    model.EndWait();
    model.FinishLoad();
    return 1;
}

}  // namespace readerframe
