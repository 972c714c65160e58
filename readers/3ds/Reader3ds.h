#pragma once

#include <cstdio>

#include "Model.h"

// Imports a binary 3D Studio scene from the open stream: every visible
// triangle mesh becomes a group named after its object and coloured after the
// material of its first face. Clears the model first and ends with the load
// epilogue whatever happened; damage is reported through ErrorMessage and the
// model keeps what could be read. Returns 0 when the stream does not hold a
// 3D Studio file (the model is then empty), otherwise 1. The caller closes the
// stream.
int Read3ds(CModel& model, FILE* fp);
