#pragma once

#include <cstdio>
#include <string>
#include <unordered_map>

// How a material of an OBJ material library shows in the model: the named
// colour nearest to its diffuse colour and the finish it looks most like.
struct CObjMaterial
{
    int colorIndex;
    int textureIndex;
};

// The materials of the libraries an OBJ file names, by name. A later
// definition of a name replaces an earlier one.
class CMaterialLibrary
{
public:
    // Adds the materials of one library file. A line that names a colour or
    // an amount it does not hold as finite numbers makes the whole file
    // unusable: false, with `badLine` its line, and nothing of it is kept.
    // May throw std::bad_alloc.
    bool Read(FILE* fp, long& badLine);
    const CObjMaterial* Find(const std::string& name) const;
    size_t Count() const { return m_materials.size(); }

private:
    std::unordered_map<std::string, CObjMaterial> m_materials;
};

// `text` without the white space around it.
std::string TrimmedName(const char* text);
