#pragma once

#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Model.h"
#include "MtlReader.h"

namespace objmaterials {

// Appends `text` made a group name: line ends dropped, each run of white
// space one "_", letters and digits kept, anything else "_".
void AppendGroupName(std::string& out, const char* text);

// Whether a line of the rest of the file starts a group ("g"), read ahead
// from the stream's place, which it goes back to. A stream that cannot go
// back counts as having groups. Throws CReadError when reading fails.
bool HasGroupLines(FILE* fp);

// The materials of one OBJ read and the groups they give: faces after
// "usemtl NAME" take that material's colour and finish. A group whose faces
// all use one material takes its look; one whose faces use several becomes a
// group per material, GROUP_MATERIAL (faces without a material keep GROUP).
// Faces before any group line that use a material are named after it.
class CObjMaterials
{
public:
    // `folder` is where the OBJ lies, for the material files it names; with
    // `readLibraries` false no file is read (a stream without a name).
    CObjMaterials(std::string folder, bool readLibraries)
        : m_folder(std::move(folder)), m_readLibraries(readLibraries)
    {
    }

    // "mtllib NAME...": reads each library beside the OBJ once. A missing,
    // refused or damaged library is reported as a warning and left out.
    void ReadLibraries(CModel& model, const std::string& names);
    // "usemtl NAME".
    void Use(const std::string& name);
    // A group line selected the model's current group.
    void GroupSelected(const CModel& model);
    // The faces before any group line went to the default group `group`.
    void DefaultGroup(CGroup* group) { m_default = group; }
    // The group the next face of `base` (the current group) belongs to.
    CGroup* FaceGroup(CModel& model, CGroup* base);
    // Gives split groups their names and tells of materials no library
    // defines. Before the load epilogue, which removes empty groups.
    void Finish(CModel& model);

private:
    static constexpr int kNone = -1;        // no usemtl yet
    static constexpr int kUndecided = -2;   // the group has no face yet

    struct CUsed
    {
        std::string name;
        bool defined = false;
        bool looked = false;
        CObjMaterial look{};
    };
    // What faces of one group (its base, as group lines select it) used.
    struct CRecord
    {
        int first = kUndecided;  // the material of the base group's own faces
        std::vector<std::pair<int, CGroup*>> parts;
    };

    const CUsed& Look(int material);
    void ReadLibrary(CModel& model, const std::string& name);
    std::string PartName(const CGroup* base, int material) const;

    std::string m_folder;
    bool m_readLibraries;
    bool m_libraryFailed = false;
    CMaterialLibrary m_library;
    std::unordered_set<std::string> m_librariesSeen;
    std::vector<CUsed> m_used;
    std::unordered_map<std::string, int> m_usedByName;
    int m_current = kNone;
    std::unordered_map<CGroup*, CRecord> m_records;
    CGroup* m_default = nullptr;
    bool m_defaultNamed = false;  // a group line selected the default group too
    // The last answer of FaceGroup: faces come in runs of one group and material.
    CGroup* m_lastBase = nullptr;
    int m_lastMaterial = kNone;
    CGroup* m_lastTarget = nullptr;
};

}  // namespace objmaterials
