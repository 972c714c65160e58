#pragma once

#include <string>

#include "Model.h"

// Draws the model's wireframe as the window would show it in a client area of
// width x height pixels and saves it as a PNG. Reports through the model's
// ErrorMessage when the image cannot be written or the preview module, which
// lies beside the converter, cannot be loaded.
bool WritePreview(CModel& model, const std::string& path, int width, int height);

// The module's entry point and the name it is looked up by.
using WritePreviewEntry = bool (*)(CModel& model, const char* path, int width, int height);
constexpr const char kPreviewModule[] = "trivex_preview.so";
constexpr const char kPreviewEntry[] = "TrivexWritePreview";
