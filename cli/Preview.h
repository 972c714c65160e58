#pragma once

#include <string>

#include "Model.h"

// Draws the model's wireframe as the window would show it in a client area of
// width x height pixels and saves it as a PNG. Reports through the model's
// ErrorMessage when the image cannot be written.
bool WritePreview(CModel& model, const std::string& path, int width, int height);
