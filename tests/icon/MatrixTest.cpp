#include "icon/Matrix.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Row = std::array<float, 4>;

TEST(MatrixTest, CameraOfTheIconPane)
{
    const Matrix view = MatrixLookAtLH({0.0f, 2.25f, 7.5f}, {0.0f, 2.25f, 0.0f}, {0.0f, 1.0f, 0.0f});
    const Row expected[4] = {{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, -2.25f, 7.5f, 1}};
    for (size_t row = 0; row < 4; ++row) {
        for (size_t column = 0; column < 4; ++column) {
            EXPECT_EQ(view.m[row][column], expected[row][column]) << row << "," << column;
        }
    }

    const Matrix projection = MatrixPerspectiveFovLH(0.785398185f, 1.0f, 1.0f, 100.0f);
    Matrix expectedProjection;
    expectedProjection.m[0][0] = expectedProjection.m[1][1] = 2.4142134f;
    expectedProjection.m[2][2] = 1.0101010f;
    expectedProjection.m[2][3] = 1.0f;
    expectedProjection.m[3][2] = -1.0101010f;
    for (size_t row = 0; row < 4; ++row) {
        for (size_t column = 0; column < 4; ++column) {
            EXPECT_FLOAT_EQ(projection.m[row][column], expectedProjection.m[row][column]) << row << "," << column;
        }
    }
    // The aspect divides only the horizontal scale.
    const Matrix wide = MatrixPerspectiveFovLH(0.785398185f, 2.0f, 1.0f, 100.0f);
    EXPECT_FLOAT_EQ(wide.m[0][0], 2.4142134f / 2);
    EXPECT_FLOAT_EQ(wide.m[1][1], 2.4142134f);
}

TEST(MatrixTest, RotationAndProduct)
{
    // A quarter turn takes +x to -z (a point is a row vector on the left).
    const Matrix quarter = MatrixRotationY(1.57079637f);
    EXPECT_NEAR(quarter.m[0][0], 0.0f, 1e-7f);
    EXPECT_EQ(quarter.m[0][2], -1.0f);
    EXPECT_EQ(quarter.m[2][0], 1.0f);
    EXPECT_EQ(quarter.m[1][1], 1.0f);
    EXPECT_EQ(quarter.m[3][3], 1.0f);

    // Rows times columns, in that order: a rotation followed by a translation
    // moves the rotated point, not the other way round.
    Matrix translate = Matrix::Identity();
    translate.m[3] = {5.0f, 0.0f, 0.0f, 1.0f};
    const Matrix both = quarter * translate;
    EXPECT_FLOAT_EQ(both.m[3][0], 5.0f);
    EXPECT_FLOAT_EQ(both.m[0][2], -1.0f);
    const Matrix reversed = translate * quarter;
    EXPECT_NEAR(reversed.m[3][0], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(reversed.m[3][2], -5.0f);

    const Matrix half = MatrixRotationY(0.785398185f) * MatrixRotationY(0.785398185f);
    for (size_t row = 0; row < 4; ++row) {
        for (size_t column = 0; column < 4; ++column) {
            EXPECT_NEAR(half.m[row][column], quarter.m[row][column], 1e-6f);
        }
    }
    EXPECT_EQ((Matrix::Identity() * quarter).m, quarter.m);
}

}  // namespace
