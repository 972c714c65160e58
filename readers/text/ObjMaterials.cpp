#include "ObjMaterials.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "ReadError.h"
#include "TextInput.h"

using textinput::IsSpace;

namespace objmaterials {

void AppendGroupName(std::string& out, const char* text)
{
    for (const char* s = text; *s;) {
        unsigned char c = static_cast<unsigned char>(*s++);
        if (c == '\n' || c == '\r')
            continue;
        if (IsSpace(c)) {
            out += '_';
            while (IsSpace(static_cast<unsigned char>(*s)))
                ++s;
        } else {
            out += std::isalnum(c) ? static_cast<char>(c) : '_';
        }
    }
}

bool HasGroupLines(FILE* fp)
{
    const long start = std::ftell(fp);
    if (start < 0)
        return true;
    // 'g' is rare in OBJ text, so looking for it alone scans about as fast as
    // the file can be read.
    std::unique_ptr<char[]> block(new char[1 << 16]);
    bool lineStart = true;
    bool found = false;
    bool fileStart = start == 0;
    size_t n;
    while (!found && (n = std::fread(block.get(), 1, 1 << 16, fp)) > 0) {
        const char* from = block.get();
        const char* end = from + n;
        if (fileStart && n >= 3 && std::memcmp(from, "\xEF\xBB\xBF", 3) == 0)
            from += 3;
        fileStart = false;
        for (const char* g = from; g < end && !found; ++g) {
            g = static_cast<const char*>(std::memchr(g, 'g', static_cast<size_t>(end - g)));
            if (!g)
                break;
            found = g == from ? lineStart : g[-1] == '\n';
        }
        lineStart = end[-1] == '\n';
    }
    const bool failed = std::ferror(fp) != 0;
    std::clearerr(fp);
    if (failed || std::fseek(fp, start, SEEK_SET) != 0)
        throw CReadError();
    return found;
}

void CObjMaterials::ReadLibraries(CModel& model, const std::string& names)
{
    if (!m_readLibraries)
        return;
    // "mtllib a.mtl b.mtl", but also one name with blanks in it, and a
    // comment after the names.
    std::string text = names;
    for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + 1))
        if (at == 0 || IsSpace(static_cast<unsigned char>(text[at - 1]))) {
            text.resize(at);
            break;
        }
    text = TrimmedName(text.c_str());
    if (text.empty())
        return;
    struct stat st;
    if (text.find_first_of(" \t") != std::string::npos &&
        ::stat((m_folder + "/" + text).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ReadLibrary(model, text);
        return;
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() && !IsSpace(static_cast<unsigned char>(text[end])))
            ++end;
        ReadLibrary(model, text.substr(at, end - at));
        at = end;
        while (at < text.size() && IsSpace(static_cast<unsigned char>(text[at])))
            ++at;
    }
}

void CObjMaterials::ReadLibrary(CModel& model, const std::string& written)
{
    if (!m_librariesSeen.insert(written).second)
        return;
    // Files written on Windows name folders with backslashes.
    std::string name = written;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    // Only files in the model's folder or below it: an OBJ must not make the
    // program open whatever it names.
    bool refused = name[0] == '/' || (name.size() >= 2 && name[1] == ':');
    for (size_t at = 0; at < name.size() && !refused;) {
        size_t end = name.find('/', at);
        if (end == std::string::npos)
            end = name.size();
        refused = name.compare(at, end - at, "..") == 0;
        at = end + 1;
    }
    if (refused) {
        model.WarningMessage("Material file %s refused: only files beside the model are read", written.c_str());
        m_libraryFailed = true;
        return;
    }
    const std::string path = m_folder + "/" + name;
    struct stat st;
    FILE* fp = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::fopen(path.c_str(), "r") : nullptr;
    if (!fp) {
        model.WarningMessage("Material file %s not found; its colours are left out", written.c_str());
        m_libraryFailed = true;
        return;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(fp, std::fclose);
    long badLine = 0;
    bool read = false;
    try {
        read = m_library.Read(fp, badLine);
    } catch (const CReadError&) {
        model.WarningMessage("Read error in the material file %s; its colours are left out", written.c_str());
        m_libraryFailed = true;
        return;
    }
    if (!read) {
        model.WarningMessage("Material file %s, line %ld cannot be read; its colours are left out", written.c_str(),
                             badLine);
        m_libraryFailed = true;
    }
}

void CObjMaterials::Use(const std::string& name)
{
    if (name.empty()) {
        m_current = kNone;
        return;
    }
    auto hit = m_usedByName.find(name);
    if (hit != m_usedByName.end()) {
        m_current = hit->second;
        return;
    }
    m_used.push_back({name});
    m_current = static_cast<int>(m_used.size()) - 1;
    m_usedByName.emplace(name, m_current);
}

void CObjMaterials::GroupSelected(const CModel& model)
{
    if (model.m_currentGroup && model.m_currentGroup == m_default)
        m_defaultNamed = true;
}

// A library may follow the first usemtl of a material, so a material is
// looked up when a face first needs it.
const CObjMaterials::CUsed& CObjMaterials::Look(int material)
{
    CUsed& used = m_used[static_cast<size_t>(material)];
    if (!used.looked) {
        used.looked = true;
        const CObjMaterial* found = m_library.Find(used.name);
        used.defined = found != nullptr;
        used.look = found ? *found : CObjMaterial{FindColor("Red"), FindTexture("Shiny")};
    }
    return used;
}

CGroup* CObjMaterials::FaceGroup(CModel& model, CGroup* base)
{
    if (m_current == kNone && m_records.empty())
        return base;  // a file without materials reads as it always did
    if (base == m_lastBase && m_current == m_lastMaterial && m_lastTarget)
        return m_lastTarget;
    CRecord& record = m_records[base];
    CGroup* target = base;
    if (record.first == kUndecided) {
        // Faces the base took before any material was in use had none.
        record.first = base->polygons.GetCount() > 0 ? kNone : m_current;
        if (record.first != kNone) {
            const CUsed& used = Look(record.first);
            base->colorIndex = used.look.colorIndex;
            base->textureIndex = used.look.textureIndex;
        }
    }
    if (record.first != m_current) {
        target = nullptr;
        for (const auto& part : record.parts)
            if (part.first == m_current)
                target = part.second;
        if (!target) {
            // A name no group line can give ("\x1f" is never kept in one),
            // until Finish gives the part its own.
            const std::string internal = base->name + '\x1f' + std::to_string(m_current);
            const CObjMaterial look =
                m_current == kNone ? CObjMaterial{FindColor("Red"), FindTexture("Shiny")} : Look(m_current).look;
            model.SetGroup(internal.c_str(), look.colorIndex, look.textureIndex);
            if (model.m_currentGroup == base || !model.m_currentGroup)
                return base;  // out of memory: the model has said so
            target = model.m_currentGroup;
            record.parts.emplace_back(m_current, target);
        }
    }
    m_lastBase = base;
    m_lastMaterial = m_current;
    m_lastTarget = target;
    return target;
}

std::string CObjMaterials::PartName(const CGroup* base, int material) const
{
    // Faces before any group line have no group name of their own.
    const bool unnamed = base == m_default && !m_defaultNamed;
    if (material == kNone)
        return base->name;
    std::string name = unnamed ? std::string() : base->name + "_";
    AppendGroupName(name, m_used[static_cast<size_t>(material)].name.c_str());
    return name;
}

void CObjMaterials::Finish(CModel& model)
{
    std::vector<std::pair<CGroup*, std::string>> renames;
    for (int g = 0; g < model.GetGroupCount(); ++g) {
        CGroup* base = model.GetGroup(g);
        auto hit = m_records.find(base);
        if (hit == m_records.end())
            continue;
        const CRecord& record = hit->second;
        const bool unnamed = base == m_default && !m_defaultNamed;
        if (!record.parts.empty() || (unnamed && record.first >= 0))
            renames.emplace_back(base, PartName(base, record.first));
        for (const auto& part : record.parts) {
            renames.emplace_back(part.second, PartName(base, part.first));
            // A normal line asks for the group as its group line named it.
            if (base->smooth)
                part.second->smooth = 1;
        }
    }
    // A split name may be one the file gave another group already (one
    // without faces does not count: the load drops it).
    std::unordered_set<std::string> taken;
    std::unordered_set<const CGroup*> renamed;
    for (const auto& rename : renames)
        renamed.insert(rename.first);
    for (int g = 0; g < model.GetGroupCount(); ++g)
        if (const CGroup* group = model.GetGroup(g); group && group->polygons.GetCount() > 0 && !renamed.count(group))
            taken.insert(group->name);
    for (auto& rename : renames) {
        std::string name = rename.second;
        for (int n = 2; taken.count(name); ++n)
            name = rename.second + "_" + std::to_string(n);
        taken.insert(name);
        model.RenameGroup(rename.first, std::move(name));
    }

    if (!m_readLibraries || m_libraryFailed)
        return;  // a missing library has been reported already
    const CUsed* undefined = nullptr;
    int more = 0;
    for (const CUsed& used : m_used) {
        if (!used.looked || used.defined)
            continue;
        if (undefined)
            ++more;
        else
            undefined = &used;
    }
    if (undefined && more)
        model.WarningMessage("Material %s and %d more are not defined; their faces keep the colour Red",
                             undefined->name.c_str(), more);
    else if (undefined)
        model.WarningMessage("Material %s is not defined; its faces keep the colour Red", undefined->name.c_str());
}

}  // namespace objmaterials
