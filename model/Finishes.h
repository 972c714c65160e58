#pragma once

#include "Colors.h"

// How each finish looks in a physically based (metallic/roughness) material,
// as today's formats describe surfaces. Writers take a group's finish from
// here and readers map a material back to the finish it is nearest to, so
// that a model saved and read again keeps its finishes.
struct FinishLook
{
    float metallic;   // 0 dielectric .. 1 metal
    float roughness;  // 0 mirror-smooth .. 1 matte
    float alpha;      // below 1: see-through
    bool emissive;    // gives off its own light
};

// Indexed like TextureNames.
inline constexpr FinishLook FinishLooks[kTextureCount] = {
    {0.0f, 0.9f, 1.0f, false},  // Dull
    {0.0f, 0.05f, 0.3f, false}, // GlassFinish
    {0.0f, 0.5f, 1.0f, true},   // Luminous
    {1.0f, 0.35f, 1.0f, false}, // Metal
    {1.0f, 0.0f, 1.0f, false},  // Mirror
    {0.0f, 0.2f, 1.0f, false},  // Shiny
};

inline constexpr int kGlassFinish = 1;

// The finish a material looks most like: see-through wins first, then light
// of its own, then the nearest metallic/roughness pair.
inline int NearestFinish(float metallic, float roughness, float alpha, bool emissive)
{
    if (alpha < 1.0f)
        return kGlassFinish;
    int best = -1;
    float bestDistance = 0;
    for (int i = 0; i < kTextureCount; ++i) {
        const FinishLook& look = FinishLooks[i];
        if (look.alpha < 1.0f || look.emissive != emissive)
            continue;
        const float dm = look.metallic - metallic;
        const float dr = look.roughness - roughness;
        const float distance = dm * dm + dr * dr;
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}
