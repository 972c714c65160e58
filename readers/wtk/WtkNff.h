#pragma once

#include <cstdio>

#include "Model.h"

// Reads a World Toolkit NFF file into the model: each object's polygons
// become triangle fans, grouped by object and colour; the model ends up
// centred, unit-sized and turned half round the Z axis. A syntax error is
// reported with its line and keeps what came before it. Returns 1, or 0 when
// there is no stream or memory runs out (the model is then empty). The
// caller closes the stream.
int ReadWtkNff(CModel& model, FILE* fp);

// True when the first token from the stream's current position is the
// header keyword "nff" or "s8", as in every World Toolkit NFF file. Leaves
// the stream wherever the scanner stopped.
bool IsWtkNff(FILE* fp);
