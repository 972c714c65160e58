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

    // Equal within 1e-6 on every axis; NaN never compares equal.
    bool operator==(const CVector& b) const
    {
        return std::fabs(x - b.x) < 1e-6f && std::fabs(y - b.y) < 1e-6f && std::fabs(z - b.z) < 1e-6f;
    }
    bool operator!=(const CVector& b) const { return !(*this == b); }

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
};
