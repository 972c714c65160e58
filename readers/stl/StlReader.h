#pragma once

#include <cstdio>

#include "Model.h"

// STL, binary or ASCII: which one is decided by the binary size rule (84
// bytes of header and count, then 50 bytes a facet), not by the word
// "solid", which many binary headers begin with. Each ASCII solid becomes a
// group named after it; a binary file, or a solid without a name, gives a
// group named after `fileName` (its folder and extension left out). Facet
// normals and attribute bytes are not read: the load works out its own
// normals. Corners merge as the other triangle readers merge them.
//
// Clears the model and ends with the load epilogue; returns 1, or 0 after a
// reported failure, with the model empty. The caller closes the stream.
int ReadStl(CModel& model, FILE* fp, const char* fileName);

// ReadStl on the file at `path`, which it opens and closes itself.
int ReadStlFile(CModel& model, const char* path);
