#pragma once

#include <cstddef>
#include <string>

#include "Model.h"

// Imports a glTF 2.0 model, binary (.glb) or JSON (.gltf), told apart by its
// first bytes: the meshes of the default scene (every root node when there is
// none) placed by their nodes, one group per node and primitive, coloured
// after its material. Buffers may be embedded, data: URIs, or files in the
// model's folder. Ends with the load epilogue. Returns 1; 0 after an error
// message when the file cannot be opened, is damaged or needs an extension
// that cannot be read, and the model is then empty.
int ReadGltf(CModel& model, const char* path);
// The same on bytes in memory. External buffer files are looked for in
// `folder`; an empty `folder` refuses them all.
int ReadGltfBytes(CModel& model, const unsigned char* data, size_t size, const std::string& folder);
