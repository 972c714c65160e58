#include "Formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "DxfReader.h"
#include "GltfReader.h"
#include "ObjMaterialFiles.h"
#include "Reader3ds.h"
#include "SafeOutput.h"
#include "StlReader.h"
#include "TextBuilder.h"
#include "TextReaders.h"
#include "Writers.h"
#include "WtkNff.h"

namespace {

// Opening a font without saying what to write builds the text the string
// dialog starts with.
int ReadTrueTypeDefault(CModel& model, const char* path)
{
    return ReadTrueTypeText(model, path, "Test") ? 1 : 0;
}

// Formats that are only read or only written have no entry point for the
// other direction; dispatch says so by name.
const CFormat kFormats[] = {
    {"pov", "POV-Ray 2.2 scene", "pov", nullptr, nullptr, nullptr, "w", WritePovScene},
    {"inc", "POV-Ray 2.2 include", "inc", nullptr, nullptr, nullptr, "w", WritePovObject},
    {"obj", "Wavefront OBJ", "obj", "r", nullptr, ReadObjFile, "w", WriteObj},
    {"raw", "RAW triangles", "raw", "r", ReadRaw, nullptr, "w", WriteRaw},
    {"tpo", "TPOLY", "tpo", "r", ReadTpoly, nullptr, "w", WriteTpoly},
    {"geo", "AOFF", "geo", "r", ReadAoff, nullptr, nullptr, nullptr},
    {"nff", "Neutral File Format", "nff", "r", ReadNff, nullptr, "w", WriteNff},
    {"wtk", "World Toolkit NFF", "nff", nullptr, nullptr, ReadWtkNffFile, "w", WriteWtkNff},
    {"dxf", "AutoCAD DXF", "dxf", nullptr, nullptr, ReadDxf, "w", WriteDxf},
    {"3ds", "3D Studio", "3ds", "rb", Read3ds, nullptr, nullptr, nullptr},
    {"ttf", "TrueType font (3D text)", "ttf", nullptr, nullptr, ReadTrueTypeDefault, nullptr, nullptr},
    {"asc", "3D Studio ASCII", "asc", nullptr, nullptr, nullptr, "w", WriteAsc},
    {"wrl", "VRML 1.0", "wrl", nullptr, nullptr, nullptr, "w", WriteVrml},
    {"cob", "trueSpace", "cob", nullptr, nullptr, nullptr, "wb", WriteCob},
    {"glb", "glTF 2.0 binary", "glb", nullptr, nullptr, ReadGltf, "wb", WriteGlb},
    {"gltf", "glTF 2.0", "gltf", nullptr, nullptr, ReadGltf, "wb", WriteGltf},
    {"stl", "STL", "stl", nullptr, nullptr, ReadStlFile, "wb", WriteStl},
};
constexpr int kFormatCount = sizeof kFormats / sizeof kFormats[0];

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Reads an open stream or hands the path to a reader that opens it itself.
int RunReader(CModel& model, const CFormat& format, FILE* fp, const std::string& path)
{
    if (format.read)
        return format.read(model, fp);
    return format.readPath(model, path.c_str());
}

bool HasActivePolygons(const CModel& model)
{
    for (int i = 0; i < model.GetGroupCount(); ++i)
        if (const CGroup* group = model.GetGroup(i); group && group->active && group->polygons.GetCount() > 0)
            return true;
    return false;
}

}  // namespace

const char* const SkyNames[kSkyCount] = {"No Sky", "Blue Sky", "Lightning Sky", "Star Field"};
const char* const FloorNames[kFloorCount] = {"No Floor", "BW Checker", "Jade", "White Marble",
                                             "Wood",     "Water",      "Specled"};

int FormatCount()
{
    return kFormatCount;
}

const CFormat& FormatAt(int i)
{
    return kFormats[i];
}

const CFormat* FindFormat(const std::string& name)
{
    for (const CFormat& format : kFormats)
        if (EqualNoCase(name, format.name))
            return &format;
    return nullptr;
}

const CFormat* FormatForExtension(const std::string& extension, bool forWriting)
{
    // ".nff" is both Neutral File Format and World Toolkit; the plain one comes
    // first in the table and is the one an extension stands for.
    for (const CFormat& format : kFormats) {
        if (forWriting && EqualNoCase(extension, "inc"))
            return FindFormat("inc");
        if (EqualNoCase(extension, format.extension) && std::strcmp(format.name, "wtk") != 0)
            return &format;
    }
    return nullptr;
}

std::string ExtensionOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return path.substr(dot + 1);
}

namespace {

// The per-format open; `opened` tells whether the file could be opened, so
// that the generic open knows whether a reader ran.
bool ReadOpened(CModel& model, const CFormat& format, const std::string& path, bool& opened)
{
    opened = false;
    if (!format.CanRead()) {
        model.ErrorMessage("Reading %s files is not supported", format.description);
        return false;
    }
    if (!format.read) {
        // Readers that open the file themselves say nothing when that fails.
        if (FILE* probe = std::fopen(path.c_str(), "rb"))
            std::fclose(probe);
        else {
            model.ErrorMessage("Couldn't open file %s", path.c_str());
            return false;
        }
        opened = true;
        return RunReader(model, format, nullptr, path) > 0;
    }
    FILE* fp = std::fopen(path.c_str(), format.readMode);
    if (!fp) {
        model.ErrorMessage("Couldn't open file %s", path.c_str());
        return false;
    }
    opened = true;
    int result = RunReader(model, format, fp, path);
    std::fclose(fp);
    return result > 0;
}

}  // namespace

bool ReadModelFile(CModel& model, const CFormat& format, const std::string& path)
{
    bool opened;
    return ReadOpened(model, format, path, opened);
}

bool LooksLikeWorldToolkit(const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "r");
    if (!fp)
        return false;
    bool wtk = IsWtkNff(fp);
    std::fclose(fp);
    return wtk;
}

bool WriteModelFile(CModel& model, const CFormat& format, const std::string& path, CTemporaryFiles* track)
{
    if (!format.CanWrite()) {
        model.ErrorMessage("Writing %s files is not supported", format.description);
        return false;
    }
    // A model with nothing to write would replace a file with an empty one.
    if (!HasActivePolygons(model)) {
        model.ErrorMessage("no polygons found");
        return false;
    }
    if (format.write == WriteObj && model.m_objMaterials)
        return WriteObjWithLibrary(model, path, track);
    CSafeOutput out(track);
    if (!out.Open(path, format.writeMode)) {
        model.ErrorMessage("Couldn't open file %s", path.c_str());
        return false;
    }
    int result = format.write(model, out.Stream(), model.m_scale);
    if (result <= 0)
        return false;  // the writer has said why; the old file stays
    if (!out.Commit()) {
        // Buffered output can fail only when it reaches the disk.
        model.ErrorMessage("Write Error: Out of Disk Space?");
        return false;
    }
    return true;
}

bool ReadTrueTypeText(CModel& model, const std::string& fontPath, const std::string& utf8Text)
{
    model.BeginWait();
    model.Clear(true);
    model.StatusMessage("Reading True Type Font");
    model.SetGroup("TTFont", FindColor("Red"), FindTexture("Shiny"));
    bool built = MakeTrueTypeText(model, fontPath, DecodeUtf8(utf8Text));
    model.EndWait();
    model.FinishLoad();
    return built;
}

bool OpenByName(CModel& model, const std::string& path)
{
    static constexpr const char* kOrder[] = {"ttf", "obj", "dxf", "raw", "tpo", "nff", "geo", "3ds", "glb", "stl"};
    std::string last = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    const CFormat* format = nullptr;
    for (const char* ext : kOrder)
        if (EqualNoCase(last, ext))
            format = FindFormat(ext);
    // The one extension of four letters.
    if (!format && EqualNoCase(ExtensionOf(path), "gltf"))
        format = FindFormat("gltf");
    if (!format) {
        char c[3] = {' ', ' ', ' '};
        for (size_t i = 0; i < last.size() && i < 3; ++i)
            c[3 - last.size() + i] = last[i];
        model.ErrorMessage("Unsupported file type of %c%c%c", c[0], c[1], c[2]);
        return false;
    }
    // ".nff" is the name of two formats; the file's first word tells them
    // apart, as the converter does.
    if (std::strcmp(format->name, "nff") == 0 && LooksLikeWorldToolkit(path))
        format = FindFormat("wtk");
    // A file that cannot be opened leaves the model as it was.
    bool opened;
    bool ok = ReadOpened(model, *format, path, opened);
    if (opened)
        model.RemoveEmptyGroups();
    return ok;
}

ESaveResult SaveByName(CModel& model, const std::string& path)
{
    static constexpr const char* kHandled[] = {"pov", "inc", "dxf", "raw", "tpo", "nff", "cob", "glb", "gltf", "stl"};
    // The extension is what follows a dot among the last three characters;
    // without one, the last three characters stand for it.
    std::string extension;
    size_t n = path.size();
    size_t from = n >= 4 ? n - 4 : 0;
    size_t dot = path.find('.', from);
    if (dot != std::string::npos)
        extension = path.substr(dot + 1);
    else
        extension = n >= 3 ? path.substr(n - 3) : path;
    if (extension.find('.') != std::string::npos)
        extension = extension.substr(extension.rfind('.') + 1);
    // The one extension of four letters.
    if (EqualNoCase(ExtensionOf(path), "gltf"))
        extension = "gltf";
    for (const char* handled : kHandled)
        if (EqualNoCase(extension, handled))
            return WriteModelFile(model, *FormatForExtension(handled, true), path) ? ESaveResult::Saved
                                                                                   : ESaveResult::Failed;
    return ESaveResult::Unhandled;
}

EVertexNormals VertexNormalsNeeded(const CFormat& format, const CModel& model)
{
    const std::string name = format.name;
    if (name == "obj")
        return EVertexNormals::All;
    if (name != "nff" && name != "pov" && name != "inc" && name != "glb" && name != "gltf")
        return EVertexNormals::None;
    for (int g = 0; g < model.GetGroupCount(); ++g)
        if (const CGroup* group = model.GetGroup(g); group && group->active && group->smooth)
            return EVertexNormals::SmoothGroups;
    return EVertexNormals::None;
}

void ShowModelInfo(CModel& model)
{
    model.ComputeRange();
    const double s = model.m_scale;
    model.InfoMessage(
        "vertices   = %-6.0f\npolygons = %-6.0f\ngroups     = %-6.0f\nxmin = %-6.2f, xmax = %-6.2f\n"
        "ymin = %-6.2f, ymax = %-6.2f\nzmin = %-6.2f, zmax = %-6.2f",
        static_cast<double>(model.GetVertexCount()), static_cast<double>(model.GetPolygonCount()),
        static_cast<double>(model.GetGroupCount()), model.m_min[0] * s, model.m_max[0] * s, model.m_min[1] * s,
        model.m_max[1] * s, model.m_min[2] * s, model.m_max[2] * s);
}
