#include "Core/Math/Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

// Expected values below are worked out by hand from the D3DX conventions: row vectors (p · M),
// left-handed rotations (RotationZ(90°) turns +x into +y), translation in row 3, clip z 0..1.

std::ostream& operator<<(std::ostream& os, const Vec3& v) {
    return os << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}
std::ostream& operator<<(std::ostream& os, const Vec4& v) {
    return os << "(" << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ")";
}
std::ostream& operator<<(std::ostream& os, const Quat& q) {
    return os << "(" << q.x << ", " << q.y << ", " << q.z << ", " << q.w << ")";
}

namespace {
constexpr float kTol = 1e-5f;
const float kR = std::sqrt(0.5f); // sin 45° = cos 45°

testing::AssertionResult Near(const Vec3& a, const Vec3& b, float tol = kTol) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << a << " is not " << b;
}

testing::AssertionResult Near(const Vec4& a, const Vec4& b, float tol = kTol) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol &&
        std::fabs(a.w - b.w) <= tol)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << a << " is not " << b;
}

testing::AssertionResult Near(const Quat& a, const Quat& b, float tol = kTol) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol &&
        std::fabs(a.w - b.w) <= tol)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << a << " is not " << b;
}

// q and −q are the same rotation.
testing::AssertionResult SameRotation(const Quat& a, const Quat& b, float tol = kTol) {
    if (Near(a, b, tol) || Near(a, -b, tol)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << a << " is not ±" << b;
}

testing::AssertionResult Near(const Mat4& a, const Mat4& b, float tol = kTol) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(a(r, c) - b(r, c)) <= tol))
                return testing::AssertionFailure()
                       << "element (" << r << ", " << c << ") is " << a(r, c) << ", expected " << b(r, c);
    return testing::AssertionSuccess();
}

Quat HalfAngleQuat(Vec3 unitAxis, float degrees) {
    const float h = ToRadian(degrees) * 0.5f;
    return {unitAxis.x * std::sin(h), unitAxis.y * std::sin(h), unitAxis.z * std::sin(h), std::cos(h)};
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Vectors

TEST(MathVector, NormalizeKeepsZeroAndScalesOthers) {
    EXPECT_TRUE(Normalize(Vec2{}) == Vec2{});
    EXPECT_TRUE(Normalize(Vec3{}) == Vec3{});
    EXPECT_TRUE(Normalize(Vec4{}) == Vec4{});

    EXPECT_TRUE(Near(Normalize(Vec3{3, 0, -4}), {0.6f, 0, -0.8f}));
    const Vec2 n2 = Normalize(Vec2{0, -7});
    EXPECT_FLOAT_EQ(n2.x, 0.0f);
    EXPECT_FLOAT_EQ(n2.y, -1.0f);
    EXPECT_TRUE(Near(Normalize(Vec4{1, 1, 1, 1}), {0.5f, 0.5f, 0.5f, 0.5f}));
}

TEST(MathVector, DotCrossLengthLerp) {
    // Cross follows the ordinary determinant rule, whatever the handedness: x × y = z.
    EXPECT_TRUE(Cross(Vec3{1, 0, 0}, Vec3{0, 1, 0}) == (Vec3{0, 0, 1}));
    EXPECT_TRUE(Cross(Vec3{0, 1, 0}, Vec3{1, 0, 0}) == (Vec3{0, 0, -1}));
    EXPECT_TRUE(Cross(Vec3{1, 2, 3}, Vec3{4, 5, 6}) == (Vec3{-3, 6, -3}));

    EXPECT_FLOAT_EQ(Dot(Vec3{1, 2, 3}, Vec3{4, -5, 6}), 12.0f);
    EXPECT_FLOAT_EQ(Dot(Vec4{1, 2, 3, 4}, Vec4{1, 1, 1, -1}), 2.0f);
    EXPECT_FLOAT_EQ(Length(Vec3{2, 3, 6}), 7.0f);
    EXPECT_FLOAT_EQ(LengthSq(Vec2{3, 4}), 25.0f);

    EXPECT_TRUE(Lerp(Vec3{0, 10, -2}, Vec3{4, 20, 2}, 0.25f) == (Vec3{1, 12.5f, -1}));
    // Extrapolates beyond 0..1 like D3DX.
    EXPECT_TRUE(Lerp(Vec2{0, 0}, Vec2{2, -2}, 1.5f) == (Vec2{3, -3}));
}

// ---------------------------------------------------------------------------------------------
// Rotations: one table checked against every way of building the same rotation.

struct RotationCase {
    Vec3 axis;
    float degrees;
    Vec3 in;
    Vec3 expected;
};

class MathRotation : public testing::TestWithParam<RotationCase> {};

TEST_P(MathRotation, AxisMatrixAndQuaternionAgree) {
    const RotationCase& c = GetParam();
    const float a = ToRadian(c.degrees);

    EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationAxis(c.axis, a)), c.expected)) << "MatRotationAxis";
    EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationQuaternion(QuatRotationAxis(c.axis, a))), c.expected))
        << "MatRotationQuaternion";
    // A rotation moves directions the same way it moves points.
    EXPECT_TRUE(Near(Vec3TransformNormal(c.in, MatRotationAxis(c.axis, a)), c.expected)) << "TransformNormal";

    const Vec3 n = Normalize(c.axis);
    if (n == Vec3{1, 0, 0}) {
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationX(a)), c.expected)) << "MatRotationX";
    }
    if (n == Vec3{0, 1, 0}) {
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationY(a)), c.expected)) << "MatRotationY";
    }
    if (n == Vec3{0, 0, 1}) {
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationZ(a)), c.expected)) << "MatRotationZ";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MathRotation,
    testing::Values(
        // Z: x → y.  X: y → z.  Y: z → x (so x → −z).
        RotationCase{{0, 0, 1}, 90, {1, 0, 0}, {0, 1, 0}}, RotationCase{{0, 0, 1}, 90, {0, 1, 0}, {-1, 0, 0}},
        RotationCase{{0, 0, 1}, -90, {1, 0, 0}, {0, -1, 0}}, RotationCase{{1, 0, 0}, 90, {0, 1, 0}, {0, 0, 1}},
        RotationCase{{1, 0, 0}, 90, {0, 0, 1}, {0, -1, 0}}, RotationCase{{0, 1, 0}, 90, {0, 0, 1}, {1, 0, 0}},
        RotationCase{{0, 1, 0}, 90, {1, 0, 0}, {0, 0, -1}}, RotationCase{{0, 1, 0}, 180, {1, 2, 3}, {-1, 2, -3}},
        RotationCase{{0, 0, 1}, 45, {1, 0, 0}, {0.70710678f, 0.70710678f, 0}},
        // The axis is normalised first.
        RotationCase{{0, 0, 5}, 90, {1, 0, 0}, {0, 1, 0}},
        // A third of a turn about the diagonal cycles the axes x → y → z.
        RotationCase{{1, 1, 1}, 120, {1, 0, 0}, {0, 1, 0}}, RotationCase{{1, 1, 1}, 120, {0, 1, 0}, {0, 0, 1}},
        RotationCase{{2, 2, 2}, 240, {1, 0, 0}, {0, 0, 1}}));

TEST(MathMatrix, MultiplicationOrderIsFirstThenSecond) {
    struct Case {
        Mat4 first, second;
        Vec3 in, expected;
    };
    const Mat4 t = MatTranslation(10, 0, 0);
    const Mat4 rz = MatRotationZ(ToRadian(90));
    const Mat4 s = MatScaling(2, 2, 2);
    const Mat4 u = MatTranslation(1, 2, 3);
    const std::vector<Case> cases = {
        {t, rz, {1, 0, 0}, {0, 11, 0}}, // move to (11,0,0), then turn to (0,11,0)
        {rz, t, {1, 0, 0}, {10, 1, 0}}, // turn to (0,1,0), then move
        {s, u, {1, 1, 1}, {3, 4, 5}},   // scale, then move
        {u, s, {1, 1, 1}, {4, 6, 8}},   // move, then scale
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatMultiply(c.first, c.second)), c.expected));
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, c.first * c.second), c.expected));
    }
    // Translation sits in the fourth row; the transpose moves it to the fourth column.
    EXPECT_EQ(t(3, 0), 10.0f);
    EXPECT_EQ(MatTranspose(t)(0, 3), 10.0f);
    EXPECT_EQ(MatTranspose(t)(3, 0), 0.0f);
}

TEST(MathMatrix, TransformVariantsTreatWDifferently) {
    const Mat4 t = MatTranslation(5, 6, 7);
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 0, 0}, t), {6, 6, 7}));
    EXPECT_TRUE(Near(Vec3TransformNormal({1, 0, 0}, t), {1, 0, 0}));
    EXPECT_TRUE(Near(Vec3Transform({1, 0, 0}, t), {6, 6, 7, 1}));
    EXPECT_TRUE(Near(Vec4Transform({1, 0, 0, 0}, t), {1, 0, 0, 0}));
    EXPECT_TRUE(Near(Vec4Transform({1, 0, 0, 2}, t), {11, 12, 14, 2}));

    // A matrix whose last column is not (0,0,0,1): TransformCoord divides by the w it produces.
    Mat4 m = MatIdentity();
    m(0, 3) = 1; // w = x + 1
    EXPECT_TRUE(Near(Vec3Transform({3, 4, 8}, m), {3, 4, 8, 4}));
    EXPECT_TRUE(Near(Vec3TransformCoord({3, 4, 8}, m), {0.75f, 1, 2}));
}

// ---------------------------------------------------------------------------------------------
// Yaw, pitch and roll: roll (Z) first, then pitch (X), then yaw (Y).

struct YprCase {
    float yaw, pitch, roll; // degrees
    Vec3 in, expected;
};

class MathYawPitchRoll : public testing::TestWithParam<YprCase> {};

TEST_P(MathYawPitchRoll, MatrixAndQuaternionApplyRollPitchYaw) {
    const YprCase& c = GetParam();
    const float y = ToRadian(c.yaw), p = ToRadian(c.pitch), r = ToRadian(c.roll);
    EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationYawPitchRoll(y, p, r)), c.expected)) << "matrix";
    EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatRotationQuaternion(QuatRotationYawPitchRoll(y, p, r))), c.expected))
        << "quaternion";
}

INSTANTIATE_TEST_SUITE_P(Table, MathYawPitchRoll,
                         testing::Values(YprCase{90, 0, 0, {1, 0, 0}, {0, 0, -1}},
                                         YprCase{0, 90, 0, {0, 1, 0}, {0, 0, 1}},
                                         YprCase{0, 0, 90, {1, 0, 0}, {0, 1, 0}},
                                         // Pitch before yaw: z → −y → −y. (Yaw first would give +x.)
                                         YprCase{90, 90, 0, {0, 0, 1}, {0, -1, 0}},
                                         // Roll before pitch: x → y → z. (Pitch first would give y.)
                                         YprCase{0, 90, 90, {1, 0, 0}, {0, 0, 1}},
                                         // Roll before yaw: y → −x → z. (Yaw first would give −x.)
                                         YprCase{90, 0, 90, {0, 1, 0}, {0, 0, 1}},
                                         // All three: y → −x → −x → z.
                                         YprCase{90, 90, 90, {0, 1, 0}, {0, 0, 1}}));

// ---------------------------------------------------------------------------------------------
// Quaternions

TEST(MathQuat, MultiplyIsFirstRotationThenSecond) {
    const Quat qz = QuatRotationAxis({0, 0, 1}, ToRadian(90));
    const Quat qx = QuatRotationAxis({1, 0, 0}, ToRadian(90));

    // Z then X: x → y → z. The Hamilton product qx·qz = (½, −½, ½, ½).
    const Quat zThenX = QuatMultiply(qz, qx);
    EXPECT_TRUE(Near(zThenX, {0.5f, -0.5f, 0.5f, 0.5f}));
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 0, 0}, MatRotationQuaternion(zThenX)), {0, 0, 1}));

    // X then Z: x → x → y.
    EXPECT_TRUE(Near(Vec3TransformCoord({1, 0, 0}, MatRotationQuaternion(QuatMultiply(qx, qz))), {0, 1, 0}));

    // The quaternion product matches the matrix product in the same order.
    EXPECT_TRUE(Near(MatRotationQuaternion(zThenX), MatRotationZ(ToRadian(90)) * MatRotationX(ToRadian(90))));
    EXPECT_TRUE(Near(QuatMultiply(QuatIdentity(), qz), qz));
}

TEST(MathQuat, YawPitchRollEqualsComposedRotations) {
    const float yaw = 0.7f, pitch = -0.4f, roll = 1.1f;
    const Quat composed =
        QuatMultiply(QuatMultiply(QuatRotationAxis({0, 0, 1}, roll), QuatRotationAxis({1, 0, 0}, pitch)),
                     QuatRotationAxis({0, 1, 0}, yaw));
    EXPECT_TRUE(Near(QuatRotationYawPitchRoll(yaw, pitch, roll), composed));
}

TEST(MathQuat, InverseConjugateNormalize) {
    const Quat q{1, 2, 3, 4}; // |q|² = 30
    EXPECT_TRUE(QuatConjugate(q) == (Quat{-1, -2, -3, 4}));
    EXPECT_TRUE(Near(QuatInverse(q), {-1.0f / 30, -2.0f / 30, -3.0f / 30, 4.0f / 30}));
    EXPECT_TRUE(Near(QuatMultiply(q, QuatInverse(q)), QuatIdentity()));
    EXPECT_TRUE(Near(QuatNormalize(Quat{0, 3, 0, 4}), {0, 0.6f, 0, 0.8f}));

    // Undoing a rotation brings the point back.
    const Quat r = QuatRotationAxis({1, 2, -1}, 0.9f);
    EXPECT_TRUE(Near(Vec3TransformCoord(Vec3TransformCoord({3, -1, 2}, MatRotationQuaternion(r)),
                                        MatRotationQuaternion(QuatInverse(r))),
                     {3, -1, 2}));

    // Zero has no direction and no inverse; both stay zero instead of spreading NaNs.
    EXPECT_TRUE(QuatNormalize(Quat{}) == Quat{});
    EXPECT_TRUE(QuatInverse(Quat{}) == Quat{});
}

TEST(MathQuat, FromMatrixRecoversTheRotation) {
    struct Case {
        Vec3 unitAxis;
        float degrees;
    };
    // Covers each branch: large w, and 180° turns where x, y or z is the largest component.
    const std::vector<Case> cases = {
        {{0, 0, 1}, 0},   {{0, 0, 1}, 90},        {{1, 0, 0}, -60},
        {{1, 0, 0}, 180}, {{0, 1, 0}, 180},       {{0, 0, 1}, 180},
        {{0, 1, 0}, 170}, {{0.6f, 0, 0.8f}, 200}, {{0.48f, 0.6f, 0.64f}, 135},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.unitAxis << " " << c.degrees);
        const Quat expected = HalfAngleQuat(c.unitAxis, c.degrees);
        EXPECT_TRUE(SameRotation(QuatRotationMatrix(MatRotationAxis(c.unitAxis, ToRadian(c.degrees))), expected));
    }
    // Translation does not disturb the rotation part.
    const Mat4 m = MatRotationY(ToRadian(90)) * MatTranslation(4, 5, 6);
    EXPECT_TRUE(SameRotation(QuatRotationMatrix(m), {0, kR, 0, kR}));
}

TEST(MathQuat, SlerpFollowsTheShortArc) {
    struct Case {
        Quat from, to;
        float t;
        Quat expected;
    };
    const Quat id = QuatIdentity();
    const Quat z90 = {0, 0, kR, kR};
    const Quat z45 = HalfAngleQuat({0, 0, 1}, 45);
    const Quat z180 = {0, 0, 1, 0};
    const Quat x90 = {kR, 0, 0, kR};
    const std::vector<Case> cases = {
        {id, z90, 0.0f, id},
        {id, z90, 1.0f, z90},
        {id, z90, 0.5f, z45},
        {id, z180, 0.5f, z90},
        {id, z90, 0.25f, HalfAngleQuat({0, 0, 1}, 22.5f)},
        // −z90 is the same rotation; the blend flips it rather than going the long way round.
        {id, -z90, 0.5f, z45},
        // Halfway between two quarter turns about different axes: normalised sum.
        {x90, z90, 0.5f, QuatNormalize(x90 + z90)},
        // Nearly equal inputs use the linear blend and stay finite.
        {id, {0, 0, 1e-4f, 1}, 0.5f, {0, 0, 0.5e-4f, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " → " << c.to << " at " << c.t);
        EXPECT_TRUE(Near(QuatSlerp(c.from, c.to, c.t), c.expected));
    }
}

// ---------------------------------------------------------------------------------------------
// Inverse

TEST(MathMatrix, InverseUndoesTheMatrix) {
    struct Case {
        Mat4 m;
        float det;
    };
    const Mat4 general = MatScaling(2, 3, 4) * MatRotationAxis({1, -2, 0.5f}, 0.8f) * MatTranslation(100, -50, 7);
    const Mat4 projection = MatPerspectiveFovLH(ToRadian(60), 1.5f, 0.5f, 500);
    const std::vector<Case> cases = {
        {MatIdentity(), 1},
        {MatTranslation(1, 2, 3), 1},
        {MatScaling(2, 3, 4), 24},
        {MatRotationZ(0.3f), 1},
        {general, 24},                                              // rotation and translation keep the volume
        {Mat4(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), -1}, // swapped axes mirror
        {Mat4(3, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1), 2},  // fourth column used: 3·1 − 1·1
        // yScale·xScale·(zn·q), q = zf/(zf−zn)
        {projection, (1 / std::tan(ToRadian(30))) * (1 / std::tan(ToRadian(30))) / 1.5f * 0.5f * 500 / 499.5f},
    };
    for (const Case& c : cases) {
        Mat4 inv;
        float det = 0;
        ASSERT_TRUE(MatInverse(inv, &det, c.m));
        EXPECT_NEAR(det, c.det, std::fabs(c.det) * 1e-5f);
        EXPECT_TRUE(Near(inv * c.m, MatIdentity(), 1e-4f));
        EXPECT_TRUE(Near(c.m * inv, MatIdentity(), 1e-4f));
    }

    Mat4 inv;
    ASSERT_TRUE(MatInverse(inv, nullptr, MatTranslation(1, 2, 3)));
    EXPECT_TRUE(Near(inv, MatTranslation(-1, -2, -3)));

    // In place.
    Mat4 m = MatScaling(2, 4, 8);
    ASSERT_TRUE(MatInverse(m, nullptr, m));
    EXPECT_TRUE(Near(m, MatScaling(0.5f, 0.25f, 0.125f)));
}

TEST(MathMatrix, InverseRefusesSingularMatrices) {
    const std::vector<Mat4> cases = {
        Mat4{},
        MatScaling(1, 0, 1),
        MatRotationY(0.4f) * MatScaling(3, 3, 0),
        Mat4(1, 2, 3, 4, 1, 2, 3, 4, 0, 0, 1, 0, 0, 0, 0, 1), // two equal rows
        Mat4(1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 5, 6, 7, 1), // proportional rows
        MatShadow({0, 1, 0, 0}, {0, 1, 0, 0}),                // flattening loses a dimension
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Mat4 sentinel = MatTranslation(7, 8, 9);
        Mat4 out = sentinel;
        float det = 123;
        EXPECT_FALSE(MatInverse(out, &det, cases[i]));
        EXPECT_TRUE(out == sentinel);
        EXPECT_EQ(det, 0.0f);
    }
}

// ---------------------------------------------------------------------------------------------
// View and projection

TEST(MathMatrix, LookAtLHPutsTheEyeAtTheOriginLookingDownZ) {
    struct Case {
        Vec3 eye, at, up, in, expected;
    };
    const std::vector<Case> cases = {
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 5}},
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 0, 5}}, // +x stays to the right
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, {0, 1, -5}, {0, 1, 0}},
        // Eye on +x looking back at the origin: the view's right is world +z.
        {{5, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 5}},
        {{5, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 2, 5}},
        // Up need not be perpendicular or unit length; only its side matters.
        {{0, 0, -5}, {0, 0, 0}, {0, 3, 1}, {0, 1, 0}, {0, 1, 5}},
        // Looking straight down with up = +z: world +z becomes view +y.
        {{0, 10, 0}, {0, 0, 0}, {0, 0, 1}, {2, 0, 3}, {2, 3, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "eye " << c.eye << " point " << c.in);
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, MatLookAtLH(c.eye, c.at, c.up)), c.expected));
    }
}

TEST(MathMatrix, PerspectiveFovLHMapsNearToZeroAndFarToOne) {
    // fovY 90°: yScale = 1, xScale = 1/2 for aspect 2.
    const Mat4 p = MatPerspectiveFovLH(ToRadian(90), 2.0f, 1.0f, 100.0f);
    struct Case {
        Vec3 in, expected;
    };
    const std::vector<Case> cases = {
        {{0, 0, 1}, {0, 0, 0}},           {{0, 0, 100}, {0, 0, 1}},
        {{2, 1, 1}, {1, 1, 0}},                                            // top-right corner of the near plane
        {{-200, -100, 100}, {-1, -1, 1}}, {{0, 0, 2}, {0, 0, 50.0f / 99}}, // (2·100/99 − 100/99) / 2
    };
    for (const Case& c : cases) EXPECT_TRUE(Near(Vec3TransformCoord(c.in, p), c.expected));
    // w carries the view depth.
    EXPECT_TRUE(Near(Vec3Transform({0, 0, 7}, p), {0, 0, 7 * 100.0f / 99 - 100.0f / 99, 7}));
}

TEST(MathMatrix, OrthoMapsTheBoxToClipSpace) {
    struct Case {
        Mat4 m;
        Vec3 in, expected;
    };
    const Mat4 off = MatOrthoOffCenterLH(-10, 30, 0, 20, 1, 5);
    const Mat4 centred = MatOrthoLH(8, 4, 0, 10);
    const std::vector<Case> cases = {
        {off, {-10, 0, 1}, {-1, -1, 0}},           {off, {30, 20, 5}, {1, 1, 1}},
        {off, {10, 10, 3}, {0, 0, 0.5f}},          {off, {-10, 20, 5}, {-1, 1, 1}},
        {centred, {-4, -2, 0}, {-1, -1, 0}},       {centred, {4, 2, 10}, {1, 1, 1}},
        {centred, {0, 1, 2.5f}, {0, 0.5f, 0.25f}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(Near(Vec3TransformCoord(c.in, c.m), c.expected));
        EXPECT_FLOAT_EQ(Vec3Transform(c.in, c.m).w, 1.0f);
    }
    // The centred box is the off-centre one with symmetric bounds.
    EXPECT_TRUE(Near(centred, MatOrthoOffCenterLH(-4, 4, -2, 2, 0, 10)));
}

// ---------------------------------------------------------------------------------------------
// Planes and shadows

TEST(MathPlane, BuildNormalizeAndDot) {
    // Points wound (0,0,0), (0,0,1), (1,0,0): Cross((0,0,1), (1,0,0)) = (0,1,0).
    const Plane p = PlaneFromPoints({0, 2, 0}, {0, 2, 1}, {1, 2, 0});
    EXPECT_TRUE(Near(Vec4{p.a, p.b, p.c, p.d}, {0, 1, 0, -2}));
    // The opposite winding flips the normal.
    const Plane q = PlaneFromPoints({0, 2, 0}, {1, 2, 0}, {0, 2, 1});
    EXPECT_TRUE(Near(Vec4{q.a, q.b, q.c, q.d}, {0, -1, 0, 2}));

    EXPECT_TRUE(PlaneFromPointNormal({1, 2, 3}, {0, 0, 2}) == (Plane{0, 0, 2, -6}));
    EXPECT_FLOAT_EQ(PlaneDotCoord(p, {5, 7, 3}), 5.0f);
    EXPECT_FLOAT_EQ(PlaneDotNormal(p, {5, 7, 3}), 7.0f);
    EXPECT_FLOAT_EQ(PlaneDot(p, {5, 7, 3, 0}), 7.0f);

    EXPECT_TRUE(PlaneNormalize(Plane{0, 2, 0, -4}) == (Plane{0, 1, 0, -2}));
    EXPECT_TRUE(PlaneNormalize(Plane{3, 0, 4, 10}) == (Plane{0.6f, 0, 0.8f, 2}));
    EXPECT_TRUE(PlaneNormalize(Plane{0, 0, 0, 5}) == Plane{});
}

TEST(MathPlane, IntersectLine) {
    struct Case {
        Plane plane;
        Vec3 v1, v2;
        bool hits;
        Vec3 expected;
    };
    const Plane y2{0, 1, 0, -2};
    const std::vector<Case> cases = {
        {y2, {1, 0, 1}, {1, 4, 1}, true, {1, 2, 1}},
        {y2, {1, 4, 1}, {1, 0, 1}, true, {1, 2, 1}},
        // The line is infinite: the hit may lie beyond either end.
        {y2, {0, 5, 0}, {0, 6, 0}, true, {0, 2, 0}},
        {y2, {0, 0, 0}, {2, 1, 0}, true, {4, 2, 0}},
        // An unnormalised plane x + y = 0 (scaled by 3).
        {{3, 3, 0, 0}, {1, 1, 0}, {1, 0, 0}, true, {1, -1, 0}},
        // Parallel lines miss, even when they lie in the plane.
        {y2, {0, 0, 0}, {1, 0, 1}, false, {}},
        {y2, {0, 2, 0}, {5, 2, 0}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v1 << " – " << c.v2);
        const Vec3 sentinel{-99, -99, -99};
        Vec3 out = sentinel;
        ASSERT_EQ(PlaneIntersectLine(out, c.plane, c.v1, c.v2), c.hits);
        EXPECT_TRUE(Near(out, c.hits ? c.expected : sentinel));
    }
}

TEST(MathPlane, ShadowFlattensOntoThePlane) {
    struct Case {
        Vec4 light;
        Plane plane;
        Vec3 in, expected;
    };
    const std::vector<Case> cases = {
        // Sun straight overhead onto the ground: drop y.
        {{0, 1, 0, 0}, {0, 1, 0, 0}, {3, 4, -5}, {3, 0, -5}},
        // Slanted sun: the light direction (1,1,0) slides points along x as they fall.
        {{1, 1, 0, 0}, {0, 1, 0, 0}, {0, 2, 0}, {-2, 0, 0}},
        // Point light at (0,10,0): the ray through (1,5,0) reaches y = 0 at twice the distance.
        {{0, 10, 0, 1}, {0, 1, 0, 0}, {1, 5, 0}, {2, 0, 0}},
        // Same light onto y = 1, given unnormalised as 2y − 2 = 0: t = 9/5 along the ray.
        {{0, 10, 0, 1}, {0, 2, 0, -2}, {1, 5, 0}, {1.8f, 1, 0}},
        // Tilted plane x + y = 0 under an overhead sun.
        {{0, 1, 0, 0}, {1, 1, 0, 0}, {1, 1, 0}, {1, -1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "light " << c.light << " point " << c.in);
        const Mat4 m = MatShadow(c.light, c.plane);
        const Vec3 flat = Vec3TransformCoord(c.in, m);
        EXPECT_TRUE(Near(flat, c.expected));
        EXPECT_NEAR(PlaneDotCoord(c.plane, flat), 0.0f, kTol);
        // Points on the light's side keep a positive w, so the shadow is not clipped away.
        EXPECT_GT(Vec3Transform(c.in, m).w, 0.0f);
    }
    // The plane is normalised first, so scaling its equation leaves the matrix itself unchanged.
    const Vec4 light{1, 4, 2, 1};
    EXPECT_TRUE(Near(MatShadow(light, {0, 2, 0, -2}), MatShadow(light, {0, 1, 0, -1})));
    EXPECT_TRUE(Near(MatShadow({0, 1, 0, 0}, {0, 5, 0, 0}), MatScaling(1, 0, 1)));
}

// ---------------------------------------------------------------------------------------------
// Colour and layout

TEST(MathColor, PacksAsArgbWithRoundingAndSaturation) {
    EXPECT_EQ(ColorToArgb({1, 0.5f, 0, 1}), 0xFFFF8000u); // 0.5·255 + 0.5 = 128
    EXPECT_EQ(ColorToArgb({0.2f, 0.4f, 0.6f, 0.8f}), 0xCC336699u);
    EXPECT_EQ(ColorToArgb({2, -1, 1, 0}), 0x00FF00FFu);
    EXPECT_EQ(ColorToArgb({NAN, 0, 0, 1}), 0xFF000000u);

    const Color c = ColorFromArgb(0x80FF0040u);
    EXPECT_FLOAT_EQ(c.r, 1.0f);
    EXPECT_FLOAT_EQ(c.g, 0.0f);
    EXPECT_FLOAT_EQ(c.b, 64.0f / 255);
    EXPECT_FLOAT_EQ(c.a, 128.0f / 255);
    EXPECT_EQ(ColorToArgb(ColorFromArgb(0x12345678u)), 0x12345678u);
}

TEST(MathLayout, MatrixBytesAreRowMajorLikeD3dx) {
    // _41.._43 hold the translation and follow _11.._34 in memory.
    const Mat4 t = MatTranslation(1, 2, 3);
    const float* f = &t.m[0][0];
    EXPECT_EQ(f[12], 1.0f);
    EXPECT_EQ(f[13], 2.0f);
    EXPECT_EQ(f[14], 3.0f);
    EXPECT_EQ(f[15], 1.0f);

    const Mat4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(m(1, 2), 7.0f);
    EXPECT_EQ(m(3, 0), 13.0f);
    Mat4 w = m;
    w(2, 3) = -1;
    EXPECT_EQ(w.m[2][3], -1.0f);
}
