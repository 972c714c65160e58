#include "MtlReader.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "Colors.h"
#include "Finishes.h"
#include "TextInput.h"

using textinput::IsSpace;

namespace {

// Up to `most` numbers from `s`, each a token of its own. -1 when a token
// that should be a number is not one, or is not finite.
int ReadNumbers(const char* s, float* out, int most)
{
    int count = 0;
    while (count < most) {
        while (IsSpace(static_cast<unsigned char>(*s)))
            ++s;
        if (!*s || *s == '#')
            break;
        const char* end = nullptr;
        const double value = textinput::ParseDouble(s, &end);
        if (end == s || (*end && !IsSpace(static_cast<unsigned char>(*end))) || !std::isfinite(value))
            return -1;
        out[count++] = static_cast<float>(value);
        s = end;
    }
    return count;
}

bool StartsWithWord(const char* s, const char* word)
{
    const size_t n = std::strlen(word);
    return std::strncmp(s, word, n) == 0 && (s[n] == '\0' || IsSpace(static_cast<unsigned char>(s[n])));
}

// What one material's lines say, before it is mapped to a colour and finish.
struct CMaterialText
{
    std::string name;
    float diffuse[3] = {1.0f, 0.0f, 0.0f};
    bool hasDiffuse = false;
    float opacity = 1.0f;  // d
    bool hasOpacity = false;
    float transparency = 0.0f;  // Tr, the complement of d
    bool hasTransparency = false;
    bool emissive = false;
    float metallic = 0.0f;
    float roughness = FinishLooks[5].roughness;  // a plain material looks Shiny

    CObjMaterial Look() const
    {
        float alpha = hasOpacity ? opacity : hasTransparency ? 1.0f - transparency : 1.0f;
        CObjMaterial look;
        look.colorIndex = hasDiffuse ? NearestColor(diffuse[0], diffuse[1], diffuse[2]) : FindColor("Red");
        look.textureIndex = NearestFinish(metallic, roughness, alpha, emissive);
        return look;
    }
};

// False when the attribute line is damaged.
bool ReadAttribute(CMaterialText& material, const char* keyword, size_t length, const char* args)
{
    auto is = [&](const char* name) { return std::strlen(name) == length && std::strncmp(keyword, name, length) == 0; };
    float v[3];
    if (is("Kd")) {
        // "Kd spectral file" and "Kd xyz x y z" describe colours another way.
        if (StartsWithWord(args, "spectral") || StartsWithWord(args, "xyz"))
            return true;
        const int n = ReadNumbers(args, v, 3);
        if (n != 1 && n != 3)
            return false;
        // One number is a grey.
        for (int i = 0; i < 3; ++i)
            material.diffuse[i] = v[n == 1 ? 0 : i];
        material.hasDiffuse = true;
    } else if (is("d")) {
        while (IsSpace(static_cast<unsigned char>(*args)))
            ++args;
        if (StartsWithWord(args, "-halo"))
            args += 5;
        if (ReadNumbers(args, v, 1) != 1)
            return false;
        material.opacity = v[0];
        material.hasOpacity = true;
    } else if (is("Tr")) {
        if (ReadNumbers(args, v, 1) != 1)
            return false;
        material.transparency = v[0];
        material.hasTransparency = true;
    } else if (is("Ke")) {
        const int n = ReadNumbers(args, v, 3);
        if (n < 1)
            return false;
        for (int i = 0; i < n; ++i)
            material.emissive = material.emissive || v[i] > 0.0f;
    } else if (is("Pm") || is("Pr")) {
        if (ReadNumbers(args, v, 1) != 1)
            return false;
        (is("Pm") ? material.metallic : material.roughness) = v[0];
    }
    return true;
}

}  // namespace

std::string TrimmedName(const char* text)
{
    while (IsSpace(static_cast<unsigned char>(*text)))
        ++text;
    size_t length = std::strlen(text);
    while (length > 0 && IsSpace(static_cast<unsigned char>(text[length - 1])))
        --length;
    return std::string(text, length);
}

bool CMaterialLibrary::Read(FILE* fp, long& badLine)
{
    textinput::CTextStream in(fp);
    std::vector<CMaterialText> found;
    std::string line;
    long number = 0;
    while (in.ReadLine(line)) {
        ++number;
        const char* p = line.c_str();
        // Attribute lines are often indented under their material.
        while (IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const char* keyword = p;
        while (*p && !IsSpace(static_cast<unsigned char>(*p)))
            ++p;
        const size_t length = static_cast<size_t>(p - keyword);
        if (length == 6 && std::strncmp(keyword, "newmtl", 6) == 0) {
            found.emplace_back();
            found.back().name = TrimmedName(p);
        } else if (!found.empty() && !ReadAttribute(found.back(), keyword, length, p)) {
            badLine = number;
            return false;
        }
    }
    for (const CMaterialText& material : found)
        m_materials[material.name] = material.Look();
    return true;
}

const CObjMaterial* CMaterialLibrary::Find(const std::string& name) const
{
    auto hit = m_materials.find(name);
    return hit == m_materials.end() ? nullptr : &hit->second;
}
