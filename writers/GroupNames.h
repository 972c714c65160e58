#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "Model.h"

// Group names come from whatever file was read: RAW and NFF files give names
// with blanks and punctuation ("left arm"), DXF layers are often plain
// numbers. Formats that take a name as an identifier refuse those, so each
// such writer names its groups through its own `fix`, which must return a
// name the format accepts and leave a valid name as it is.

// The names of the groups `written` accepts, indexed like the model's groups;
// other entries are empty. `fix` is called with a group's name and
// position. Valid names keep their name; when a fixed name would repeat one
// already given, it gains "_2", "_3" ..., cut to fit `maxLength` (0 for no
// limit).
template <typename Written, typename Fix>
std::vector<std::string> FormatGroupNames(const CModel& model, Written&& written, Fix&& fix, size_t maxLength = 0)
{
    const int count = model.GetGroupCount();
    std::vector<std::string> names(static_cast<size_t>(count));
    std::vector<bool> fixed(static_cast<size_t>(count), false);
    std::set<std::string> taken;
    // Valid names first, so that a fixed name never takes one from a group
    // that had it from the start, whatever their order.
    for (int g = 0; g < count; ++g) {
        const CGroup* group = model.GetGroup(g);
        if (!written(group))
            continue;
        names[g] = fix(group->name, g);
        fixed[g] = names[g] != group->name;
        if (!fixed[g] && !taken.insert(names[g]).second)
            fixed[g] = true;
    }
    for (int g = 0; g < count; ++g) {
        if (!fixed[g])
            continue;
        const std::string base = names[g];
        for (int n = 2; !taken.insert(names[g]).second; ++n) {
            std::string suffix = std::to_string(n);
            suffix.insert(suffix.begin(), '_');
            std::string stem = base;
            if (maxLength && stem.size() + suffix.size() > maxLength)
                stem.resize(maxLength > suffix.size() ? maxLength - suffix.size() : 0);
            names[g] = stem + suffix;
        }
    }
    return names;
}

// Every character outside `allowed(c)` becomes '_'.
template <typename Allowed>
std::string ReplaceDisallowed(const std::string& name, Allowed&& allowed)
{
    std::string result = name;
    for (char& ch : result)
        if (!allowed(static_cast<unsigned char>(ch)))
            ch = '_';
    return result;
}
