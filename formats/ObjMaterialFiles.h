#pragma once

#include <string>

#include "Model.h"

class CTemporaryFiles;

// The name of the material file that goes with the OBJ at `objPath`: the
// same name with the extension ".mtl", in the same folder.
std::string ObjLibraryPath(const std::string& objPath);

// Saves the model as OBJ at `path` together with its material file beside
// it. Both are written to temporary files first; the material file is moved
// into place before the OBJ that names it, and neither replaces anything
// unless both were written whole.
bool WriteObjWithLibrary(CModel& model, const std::string& path, CTemporaryFiles* track);
