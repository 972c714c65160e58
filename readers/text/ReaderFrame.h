#pragma once

#include "Model.h"

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

}  // namespace readerframe
