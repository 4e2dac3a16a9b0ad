#pragma once
// 4 x 4 matrices in the row-vector convention of the icon renderer
// (a point is a row vector multiplied from the left: p' = p * M).
#include <array>

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Matrix {
    std::array<std::array<float, 4>, 4> m{};

    static Matrix Identity();
    Matrix operator*(const Matrix& other) const;
};

// Rotation about the y axis by angle radians.
Matrix MatrixRotationY(float angle);
// Left-handed look-at: z = normalise(target - eye), x = normalise(up x z), y = z x x.
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& target, const Vector3& up);
// Left-handed perspective from a vertical field of view.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
