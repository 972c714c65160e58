#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "Model.h"

// One file format the program reads, writes, or both.
struct CFormat
{
    const char* name;         // short name for the command line: "obj", "wtk"
    const char* description;  // "Wavefront OBJ"
    const char* extension;    // the file-name extension it goes by, without the dot
    const char* readMode;     // mode for fopen, or null when the reader opens the path itself
    int (*read)(CModel&, FILE*);
    int (*readPath)(CModel&, const char*);
    const char* writeMode;
    int (*write)(CModel&, FILE*, double);

    bool CanRead() const { return read || readPath; }
    bool CanWrite() const { return write != nullptr; }
};

int FormatCount();
const CFormat& FormatAt(int i);
// By short name ("obj", "pov", "inc", "wtk"), case-insensitive.
const CFormat* FindFormat(const std::string& name);
// The format a file-name extension stands for when reading or writing;
// ".nff" reads and writes Neutral File Format, ".inc" writes the POV-Ray include.
const CFormat* FormatForExtension(const std::string& extension, bool forWriting);
// What follows the last dot of the file name, or "" when there is none.
std::string ExtensionOf(const std::string& path);

// Per-format open: reads `path` with the given format. Reports "Couldn't open
// file %s" when the file cannot be opened. True when the reader succeeded.
bool ReadModelFile(CModel& model, const CFormat& format, const std::string& path);
// True when the file's first token, after blanks and "//" comments, is "nff"
// or "s8": a World Toolkit file rather than a Neutral File Format one.
bool LooksLikeWorldToolkit(const std::string& path);
// Per-format save. The output goes to a temporary file beside the target and
// replaces the target only when the writer succeeded and the file closed
// cleanly, so a failed save never destroys what was there.
// `track`, when given, lists the temporary file while the save is under way.
class CTemporaryFiles;
bool WriteModelFile(CModel& model, const CFormat& format, const std::string& path, CTemporaryFiles* track = nullptr);

// The TrueType text sequence: empties the model, makes "TTFont" (Red, Shiny)
// the current group, builds the UTF-8 text in the font at `fontPath` as
// extruded 3D text into it and ends with the load epilogue. False, after an
// error message, when the font cannot be read or the text cannot be built;
// the model is then left empty.
bool ReadTrueTypeText(CModel& model, const std::string& fontPath, const std::string& utf8Text);

// Open by the last three characters of the name, as File Open does.
bool OpenByName(CModel& model, const std::string& path);

enum class ESaveResult { Saved, Failed, Unhandled };
// Save by extension, as File Save does. Unhandled: the extension is none the
// generic save writes, and the caller should ask for another name.
ESaveResult SaveByName(CModel& model, const std::string& path);

// The vertex normals that writing the model in `format` needs: every
// vertex's for OBJ, those of the smooth groups' vertices for the formats with
// smooth triangles when a written group is smooth, else none.
enum class EVertexNormals { None, SmoothGroups, All };
EVertexNormals VertexNormalsNeeded(const CFormat& format, const CModel& model);

// The model information report: ComputeRange, then InfoMessage with counts and ranges.
void ShowModelInfo(CModel& model);

// Names of the sky and floor choices, by m_skyType and m_floorType.
constexpr int kSkyCount = 4;
constexpr int kFloorCount = 7;
extern const char* const SkyNames[kSkyCount];
extern const char* const FloorNames[kFloorCount];
