#pragma once

#include <cmath>

// Degrees/radians use pi as 3.14159 so that rotations match the files the
// program has always written.
constexpr double kDegToRad = 0.017453277777777776;
constexpr double kRadToDeg = 57.295827908797776;

struct CVector
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr CVector() = default;
    constexpr CVector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    CVector operator+(float s) const { return {x + s, y + s, z + s}; }
    CVector operator-(float s) const { return {x - s, y - s, z - s}; }
    CVector operator*(float s) const { return {x * s, y * s, z * s}; }
    CVector operator/(float s) const { return {x / s, y / s, z / s}; }
    CVector operator+(const CVector& b) const { return {x + b.x, y + b.y, z + b.z}; }
    CVector operator-(const CVector& b) const { return {x - b.x, y - b.y, z - b.z}; }
    CVector operator*(const CVector& b) const { return {x * b.x, y * b.y, z * b.z}; }
    CVector operator/(const CVector& b) const { return {x / b.x, y / b.y, z / b.z}; }
    CVector& operator+=(const CVector& b) { x += b.x; y += b.y; z += b.z; return *this; }
    CVector& operator-=(const CVector& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }

    // Within 1e-6 on every axis; NaN is never near. Not an equality: a may be
    // near b and b near c while a is not near c. The test runs in double: the
    // float nearest 1e-6 lies just below it and is a difference that still
    // counts as near.
    bool IsNear(const CVector& b) const
    {
        return Near(x, b.x) && Near(y, b.y) && Near(z, b.z);
    }
    // The same coordinates, exactly.
    bool operator==(const CVector&) const = default;

    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    CVector Normalize() const
    {
        float len = Length();
        return len > 0.0f ? *this / len : *this;
    }
    float Dot(const CVector& b) const { return x * b.x + y * b.y + z * b.z; }
    CVector Cross(const CVector& b) const
    {
        return {y * b.z - b.y * z, z * b.x - b.z * x, x * b.y - y * b.x};
    }
    CVector Min(const CVector& b) const
    {
        return {x < b.x ? x : b.x, y < b.y ? y : b.y, z < b.z ? z : b.z};
    }
    CVector Max(const CVector& b) const
    {
        return {x > b.x ? x : b.x, y > b.y ? y : b.y, z > b.z ? z : b.z};
    }
    double AngleTo(const CVector& b) const;
    CVector RotateX(double degrees) const;
    CVector RotateY(double degrees) const;
    CVector RotateZ(double degrees) const;

private:
    static bool Near(float a, float b) { return std::fabs(static_cast<double>(a) - b) < 1e-6; }
};
