// A point or a direction in millimetres.
#pragma once

#include <cmath>

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Point3 operator+(const Point3& a, const Point3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Point3 operator-(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3 operator*(double s, const Point3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3 cross(const Point3& a, const Point3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double squared_distance(const Point3& a, const Point3& b)
{
    const Point3 d = a - b;
    return dot(d, d);
}

// All three coordinates are finite.
inline bool is_finite(const Point3& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
