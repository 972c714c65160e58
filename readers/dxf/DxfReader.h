#pragma once

#include <cstdio>

#include "Model.h"

// Imports a text DXF file: 3DFACE entities, polyface and polygon-mesh
// POLYLINEs become triangles, 2D POLYLINE and LWPOLYLINE outlines are
// extruded (ExtrudePolyline2d), blocks are placed where INSERT entities use
// them, and every entity goes into the group of its layer and colour. Ends
// with the load epilogue. Returns 1; 0 after a file that cannot be opened, a
// binary DXF, a broken group code or running out of memory, which leave the
// model empty with a message.
int ReadDxf(CModel& model, const char* path);
// The same on a stream opened for reading; the caller closes it.
int ReadDxfStream(CModel& model, FILE* fp);
// ReadDxfStream with the file read in pieces of about `pieceBytes` (more
// than 0), which both processors parse.
int ReadDxfPieces(CModel& model, FILE* fp, size_t pieceBytes);
