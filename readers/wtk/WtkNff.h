#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "Model.h"

// Reads a World Toolkit NFF file into the model: each object's polygons
// become triangle fans, grouped by object and colour; the model ends up
// centred, unit-sized and turned half round the Z axis. A syntax error is
// reported with its line and keeps what came before it. Returns 1, or 0 when
// there is no stream or memory runs out (the model is then empty). The
// caller closes the stream.
// A version 3.0 file may name a material table ("mtable NAME"); this reader
// has no folder to look for it in, so it reports the table as not found and
// gives its materials the default colour.
int ReadWtkNff(CModel& model, FILE* fp);
// The same with the tables opened by `openTable` (given the name as the file
// writes it); null when there is no such table.
int ReadWtkNff(CModel& model, FILE* fp, const std::function<FILE*(const std::string&)>& openTable);
// Reads the file at `path` (opened in text mode), with its material tables
// looked up beside it. Returns 0 as well when the file cannot be opened.
int ReadWtkNffFile(CModel& model, const char* path);

// True when the first token from the stream's current position is the
// header keyword "nff" or "s8", as in every World Toolkit NFF file. Leaves
// the stream wherever the scanner stopped.
bool IsWtkNff(FILE* fp);
