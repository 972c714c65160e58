#pragma once

#include <cmath>

// Double-precision point or direction used while building text; results reach
// the model as float CVectors only at the end.
struct Vec3d
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Vec3d() = default;
    constexpr Vec3d(double ax, double ay, double az) : x(ax), y(ay), z(az) {}

    Vec3d operator+(const Vec3d& b) const { return {x + b.x, y + b.y, z + b.z}; }
    Vec3d operator-(const Vec3d& b) const { return {x - b.x, y - b.y, z - b.z}; }
    Vec3d operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3d operator/(double s) const { return {x / s, y / s, z / s}; }
    Vec3d& operator+=(const Vec3d& b)
    {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    // Exact comparison: outline points are compared for identity, not nearness.
    bool operator==(const Vec3d& b) const { return x == b.x && y == b.y && z == b.z; }
    bool operator!=(const Vec3d& b) const { return !(*this == b); }

    double Dot(const Vec3d& b) const { return x * b.x + y * b.y + z * b.z; }
    Vec3d Cross(const Vec3d& b) const { return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x}; }
    double Length() const { return std::sqrt(x * x + y * y + z * z); }
    // A zero vector stays zero rather than turning into NaNs.
    Vec3d Normalize() const
    {
        double len = Length();
        return len > 0.0 ? *this / len : *this;
    }
    static Vec3d Midpoint(const Vec3d& a, const Vec3d& b) { return (a + b) * 0.5; }
};
