#pragma once

#include <cstdint>

struct ColorEntry
{
    const char* name;  // null in the end marker
    float red;
    float green;
    float blue;
};

constexpr int kColorCount = 121;
constexpr int kTextureCount = 6;
constexpr int kDxfPaletteSize = 256;

// 121 named colours followed by an end marker whose name is null. The order is
// fixed: groups store indices into it.
extern const ColorEntry ColorTable[kColorCount + 1];
// Six finish names followed by a null end marker.
extern const char* const TextureNames[kTextureCount + 1];
// DXF colour numbers 0..255, components 0..63.
extern const unsigned char DxfPalette[kDxfPaletteSize][3];

// Index of the first entry named exactly `name` (case-sensitive), or -1.
int FindColor(const char* name);
int FindTexture(const char* name);
// Entry nearest to (r, g, b); ties go to the lower index.
int16_t NearestColor(float red, float green, float blue);
// DXF colour number 0..63 nearest to (r, g, b); ties go to the lower number.
int16_t NearestDxfColor(float red, float green, float blue);
