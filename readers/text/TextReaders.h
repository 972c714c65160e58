#pragma once

#include <cstdio>

#include "Model.h"

// Line-oriented importers. Each clears the model, fills it from the open
// stream and ends with the load epilogue; the caller closes the stream.
// ReadObj returns 1 or -1; ReadRaw, ReadTpoly, ReadAoff return 1 or 0;
// ReadNff returns 1, or 0 only when memory runs out. After a failure the
// model is empty. A file that holds no geometry reads as an empty model.
int ReadObj(CModel& model, FILE* fp);
// ReadObj with the file read in pieces of about `pieceBytes`, which both
// processors parse, or with 0 as one stream on one.
int ReadObjPieces(CModel& model, FILE* fp, size_t pieceBytes);
// ReadObj of the file at `path`, with the material files it names beside it.
int ReadObjFile(CModel& model, const char* path);
int ReadRaw(CModel& model, FILE* fp);
int ReadTpoly(CModel& model, FILE* fp);
int ReadAoff(CModel& model, FILE* fp);
int ReadNff(CModel& model, FILE* fp);
// ReadNff parsing the file in pieces of about `pieceBytes` (more than 0) on
// two processors, as it does where the model shows no status texts.
int ReadNffPieces(CModel& model, FILE* fp, size_t pieceBytes);
