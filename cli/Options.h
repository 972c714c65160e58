#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Everything the command line can ask of one conversion.
struct COptions
{
    std::vector<std::string> inputs;
    std::string output;        // single conversion
    std::string outputDir;     // batch
    std::string from, to;      // format names, empty: by extension
    int jobs = 0;              // 0: one per core
    bool info = false;
    bool check = false;        // read each output back and compare
    bool verbose = false;
    bool quiet = false;

    std::optional<float> scale;
    std::optional<float> smoothAngle;
    std::optional<int> normalOrder;  // 1, 0 or kNormalOrderAuto
    std::optional<int> rawGroups;
    bool stlAscii = false;     // STL as text, one solid per group
    bool objMaterials = false;  // OBJ output with a material file beside it
    std::optional<int> sky;
    std::optional<int> floor;
    std::optional<float> floorOffset;
    std::optional<int> extrude2D;
    std::optional<float> extrusion;
    bool noInstances = false;  // 3DS: every mesh in the editor's pose, no keyframer copies
    bool zUp = false;          // the model stands on Z: turn +Z up first
    float rotate[3] = {0, 0, 0};
    std::string mirror;        // any of "xyz"
    std::vector<std::pair<std::string, int>> colors;    // group, colour index
    std::vector<std::pair<std::string, int>> textures;  // group, texture index
    std::vector<std::string> smooth;
    bool smoothAll = false;
    std::vector<std::string> ignore;
    std::string text = "Test";
    std::string preview;       // PNG of the wireframe, empty: none
    int previewWidth = 640;
    int previewHeight = 480;
};

enum class EParse { Run, Help, Version, Formats, Colors, Error };

// Parses argv; on Error, `message` says what was wrong, on Help it is the help text.
EParse ParseOptions(int argc, char** argv, COptions& options, std::string& message);
