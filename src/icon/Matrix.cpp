#include "icon/Matrix.h"

#include <cmath>

// Every step is single-precision float, in the order the fixed-function helper
// library of the original renderer evaluates it, so that the same camera gives
// the same matrices bit for bit.

namespace {

float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vector3 Cross(const Vector3& a, const Vector3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 Subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// A zero vector stays zero rather than becoming NaNs.
Vector3 Normalise(const Vector3& v)
{
    const float length = std::sqrt(Dot(v, v));
    if (length == 0.0f) {
        return {};
    }
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

Matrix Matrix::Identity()
{
    Matrix result;
    for (size_t i = 0; i < 4; ++i) {
        result.m[i][i] = 1.0f;
    }
    return result;
}

Matrix Matrix::operator*(const Matrix& other) const
{
    Matrix result;
    for (size_t row = 0; row < 4; ++row) {
        for (size_t column = 0; column < 4; ++column) {
            result.m[row][column] = m[row][0] * other.m[0][column] + m[row][1] * other.m[1][column] +
                                    m[row][2] * other.m[2][column] + m[row][3] * other.m[3][column];
        }
    }
    return result;
}

Matrix MatrixRotationY(float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    Matrix result = Matrix::Identity();
    result.m[0][0] = c;
    result.m[0][2] = -s;
    result.m[2][0] = s;
    result.m[2][2] = c;
    return result;
}

Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& target, const Vector3& up)
{
    const Vector3 z = Normalise(Subtract(target, eye));
    const Vector3 x = Normalise(Cross(up, z));
    const Vector3 y = Cross(z, x);
    Matrix result;
    result.m[0] = {x.x, y.x, z.x, 0.0f};
    result.m[1] = {x.y, y.y, z.y, 0.0f};
    result.m[2] = {x.z, y.z, z.z, 0.0f};
    result.m[3] = {-Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1.0f};
    return result;
}

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar)
{
    const float half = fovY / 2.0f;
    const float s = std::cos(half) / std::sin(half);
    Matrix result;
    result.m[0][0] = s / aspect;
    result.m[1][1] = s;
    result.m[2][2] = zFar / (zFar - zNear);
    result.m[2][3] = 1.0f;
    result.m[3][2] = -zNear * zFar / (zFar - zNear);
    return result;
}
