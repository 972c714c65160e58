#include "FileCommands.h"

#include <QStringList>
#include <cstring>

const CFileCommand kOpenCommands[kOpenCommandCount] = {
    {32805, "3D Studio (*.3ds)", "3D Studio (*.3ds)|*.3ds||", "3ds", "rb"},
    {32808, "AOFF (*.geo)", "AOFF (*.geo)|*.geo||", "geo", "r"},
    {32803, "AutoCad DXF (*.dxf)", "AutoCad DXF (*.dxf)|*.dxf||", "dxf", nullptr},
    {32806, "Neutral File Format (*.nff)", "Neutral File Fmt (*.nff)|*.nff||", "nff", "r"},
    {32804, "RAW (*.raw)", "RAW 3D File (*.raw)|*.raw||", "raw", "r"},
    {32807, "TPOLY (*.tpo)", "TPOLY (*.tpo)|*.tpo||", "tpo", "r"},
    {32802, "Wavefront (*.obj)", "Wavefront (*.obj)|*.obj||", "obj", "r"},
    {32821, "True Type Font (*.ttf)", "True Type Font (*.ttf)|*.ttf||", "ttf", nullptr},
    {32825, "World Toolkit (*.nff)", "World Toolkit (*.nff)|*.nff||", "wtk", "r"},
    {32842, "glTF 2.0 Binary (*.glb)", "glTF 2.0 Binary (*.glb)|*.glb||", "glb", nullptr},
    {32843, "glTF 2.0 (*.gltf)", "glTF 2.0 (*.gltf)|*.gltf||", "gltf", nullptr},
    {32835, "STL (*.stl)", "STL (*.stl)|*.stl||", "stl", nullptr},
};

const CFileCommand kSaveCommands[kSaveCommandCount] = {
    {32810, "AutoCad DXF (*.dxf)", "AutoCad DXF (*.dxf)|*.dxf||", "dxf", nullptr},
    {32812, "Povray V2.2 (*.pov)", "Povray V2.2 (*.pov)|*.pov||", "pov", nullptr},
    {32813, "Povray V2.2 Include (*.inc)", "Povray V2.2 Include (*.inc)|*.inc||", "inc", nullptr},
    {32814, "Raw (*.raw)", "RAW 3D (*.raw)|*.raw||", "raw", nullptr},
    {32815, "TPOLY (*.tpo)", "TPOLY (*.tpo)|*.tpo||", "tpo", nullptr},
    {32811, "Wavefront (*.obj)", "Wavefront (*.obj)|*.obj||", "obj", nullptr},
    {32818, "Neutral File Format (*.nff)", "Neutral File Format (*.nff)|*.nff||", "nff", nullptr},
    {32819, "3D Studio (*.asc)", "3D Studio (*.asc)|*.asc||", "asc", nullptr},
    {32822, "VRML V1.0 (*.wrl)", "VRML V1.0 (*.wrl)|*.wrl||", "wrl", nullptr},
    {32824, "TrueSpace (*.cob)", "TrueSpace V2.0 (*.cob)|*.cob||", "cob", nullptr},
    {32826, "World Toolkit (*.nff)", "World Toolkit (*.nff)|*.nff||", "wtk", nullptr},
    {32840, "glTF 2.0 Binary (*.glb)", "glTF 2.0 Binary (*.glb)|*.glb||", "glb", nullptr},
    {32841, "glTF 2.0 (*.gltf)", "glTF 2.0 (*.gltf)|*.gltf||", "gltf", nullptr},
    {32836, "STL (*.stl)", "STL (*.stl)|*.stl||", "stl", nullptr},
};

const char* const kGenericOpenFilter =
    "3D Studio (*.3ds)|*.3ds|Wavefront 3d (*.obj)|*.obj|Raw 3d (*.raw)|*.raw|DXF 3d  (*.dxf)|*.dxf|"
    "AOFF 3d (*geo)|*.geo|TPoly (*.tpo)|*.tpo|True Type Font (*.ttf)|*.ttf|Neutral File Format (*.nff)|*.nff|"
    "glTF (*.glb)|*.glb|glTF (*.gltf)|*.gltf|STL (*.stl)|*.stl||";

// Only what saving by extension writes: a filter for OBJ or VRML here would
// lead to a name that cannot be saved this way.
const char* const kGenericSaveFilter =
    "Povray(*.pov)|*.pov|Povray Include (*.inc)|*.inc|Autocad DXF (*.dxf)|*.dxf|Raw 3d Triangles (*.raw)|*.raw|"
    "TPoly (*.tpo)|*.tpo|Neutral File Format (*.nff)|*.nff|TrueSpace (*.cob)|*.cob|"
    "glTF 2.0 Binary (*.glb)|*.glb|glTF 2.0 (*.gltf)|*.gltf|STL (*.stl)|*.stl||";

const CFileCommand* FindFileCommand(const char* format, bool save)
{
    const CFileCommand* table = save ? kSaveCommands : kOpenCommands;
    int count = save ? kSaveCommandCount : kOpenCommandCount;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].format, format) == 0)
            return &table[i];
    return nullptr;
}

QString DialogFilter(const char* filter)
{
    QStringList parts = QString::fromLatin1(filter).split('|', Qt::SkipEmptyParts);
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString& pattern = parts[i + 1];
        // The dialog matches the patterns in the last parentheses; a description
        // whose own parentheses say something else gets the real ones added.
        if (!description.endsWith("(" + pattern + ")"))
            description += " (" + pattern + ")";
        out << description;
    }
    return out.join(";;");
}
