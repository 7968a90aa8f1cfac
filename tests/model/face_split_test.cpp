#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/face_split.h"

namespace {

using Triangles = std::vector<FaceTriangle>;

Triangles split(const std::vector<FacePoint>& corners)
{
    FaceSplitScratch scratch;
    Triangles triangles;
    split_face(corners, scratch, triangles);
    return triangles;
}

Triangles fan_of(uint32_t count)
{
    Triangles fan;
    for (uint32_t i = 1; i + 1 < count; ++i)
        fan.push_back({0, i, i + 1});
    return fan;
}

// Twice the signed area of a triangle of the xy plane, positive when it
// winds counter-clockwise seen from +z.
double area2_xy(const std::vector<FacePoint>& c, const FaceTriangle& t)
{
    const FacePoint &a = c[t[0]], &b = c[t[1]], &d = c[t[2]];
    return (b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]);
}

// Twice the area of a polygon of the xy plane (shoelace).
double polygon_area2_xy(const std::vector<FacePoint>& c)
{
    double sum = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const FacePoint &a = c[i], &b = c[(i + 1) % c.size()];
        sum += a[0] * b[1] - b[0] * a[1];
    }
    return sum;
}

// Every triangle faces +z (none backwards), each corner is used by the
// split, and the triangles cover exactly the polygon's area.
void expect_exact_cover(const std::vector<FacePoint>& corners, const Triangles& triangles)
{
    ASSERT_EQ(triangles.size(), corners.size() - 2);
    double total = 0;
    std::vector<int> used(corners.size(), 0);
    for (const FaceTriangle& t : triangles) {
        const double a = area2_xy(corners, t);
        EXPECT_GE(a, -1e-6) << "triangle " << t[0] << " " << t[1] << " " << t[2] << " faces backwards";
        total += a;
        for (const uint32_t k : t) {
            ASSERT_LT(k, corners.size());
            used[k] = 1;
        }
    }
    EXPECT_NEAR(total, polygon_area2_xy(corners), 1e-6 * std::fabs(polygon_area2_xy(corners)));
    for (size_t k = 0; k < corners.size(); ++k)
        EXPECT_TRUE(used[k]) << "corner " << k << " is in no triangle";
}

TEST(FaceSplit, DartQuadGetsTwoTrianglesOfItsOwnArea)
{
    // The fan (0 1 2), (0 2 3) would draw (0 1 2) backwards and cover 12.
    const std::vector<FacePoint> dart = {{4, 0, 0}, {1, 1, 0}, {0, 4, 0}, {0, 0, 0}};
    const Triangles triangles = split(dart);
    EXPECT_EQ(triangles, (Triangles{{3, 0, 1}, {3, 1, 2}}));  // cut at the first ear, corner 0
    expect_exact_cover(dart, triangles);
    double area = 0;
    for (const FaceTriangle& t : triangles)
        area += area2_xy(dart, t) / 2;
    EXPECT_DOUBLE_EQ(area, 4.0);
}

TEST(FaceSplit, ConvexFacesKeepTheFan)
{
    const std::vector<std::vector<FacePoint>> faces = {
        // A regular pentagon, tilted out of every axis plane.
        {{1000, 0, 0}, {309, 951, 100}, {-809, 588, 300}, {-809, -588, 300}, {309, -951, 100}},
        // A quad that is not quite planar.
        {{0, 0, 0}, {100, 0, 3}, {100, 100, 0}, {0, 100, 4}},
        // Collinear corners along an edge: still convex, the fan gets a triangle without area.
        {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}},
        // A repeated corner.
        {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}},
        // Clockwise seen from +z is convex too, seen from the other side.
        {{0, 0, 0}, {0, 5, 0}, {5, 5, 0}, {5, 0, 0}},
        // All corners on one line, and all at one point: no plane, the fan.
        {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}},
        {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}, {7, 7, 7}, {7, 7, 7}},
    };
    for (const std::vector<FacePoint>& face : faces)
        EXPECT_EQ(split(face), fan_of(static_cast<uint32_t>(face.size()))) << face.size() << " corners";
}

TEST(FaceSplit, StarThatWindsTwiceIsNotConvex)
{
    // A pentagram turns the same way at every corner but winds round twice.
    std::vector<FacePoint> star;
    for (int k = 0; k < 5; ++k) {
        const double angle = 2 * M_PI * (2 * k) / 5;
        star.push_back({1000 * std::cos(angle), 1000 * std::sin(angle), 0});
    }
    const Triangles triangles = split(star);
    EXPECT_EQ(triangles.size(), 3u);
    EXPECT_NE(triangles, fan_of(5));
}

// A ring written as one face: the outer circle counter-clockwise, a cut to
// the inner circle, the inner circle the other way round and back along the
// cut. 2 x 32 + 2 = 66 corners, as ring faces of real models come.
std::vector<FacePoint> ring_face(int steps, double outer, double inner, double z)
{
    std::vector<FacePoint> ring;
    for (int k = 0; k <= steps; ++k) {
        const double angle = 2 * M_PI * (k % steps) / steps;
        ring.push_back({outer * std::cos(angle), outer * std::sin(angle), z});
    }
    for (int k = steps; k >= 0; --k) {
        const double angle = 2 * M_PI * (k % steps) / steps;
        ring.push_back({inner * std::cos(angle), inner * std::sin(angle), z});
    }
    return ring;
}

TEST(FaceSplit, RingFaceCoversTheRingAndNothingElse)
{
    const std::vector<FacePoint> ring = ring_face(32, 2048, 1024, 512);
    ASSERT_EQ(ring.size(), 66u);
    const Triangles triangles = split(ring);
    expect_exact_cover(ring, triangles);
    // The polygon's area is the ring's: 32 sectors of each circle apart.
    const double sector = 0.5 * std::sin(2 * M_PI / 32);
    EXPECT_NEAR(polygon_area2_xy(ring) / 2, 32 * sector * (2048.0 * 2048 - 1024.0 * 1024), 1e-3);
}

TEST(FaceSplit, FacingFollowsTheWindingInAnyOrientation)
{
    // The dart, turned so that its plane's normal points along (1, 1, 1) / sqrt 3:
    // every triangle's normal must point the same way.
    const auto turn = [](double x, double y) -> FacePoint {
        // Axes e1 = (1, -1, 0) / sqrt 2 and e2 = (1, 1, -2) / sqrt 6 span the plane; e1 x e2 is the normal.
        const double a = x / std::sqrt(2.0), b = y / std::sqrt(6.0);
        return {a + b, -a + b, -2 * b};
    };
    const std::vector<FacePoint> dart = {turn(400, 0), turn(100, 100), turn(0, 400), turn(0, 0)};
    for (const FaceTriangle& t : split(dart)) {
        const FacePoint &a = dart[t[0]], &b = dart[t[1]], &c = dart[t[2]];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        EXPECT_GT(n[0] + n[1] + n[2], 0) << t[0] << " " << t[1] << " " << t[2];
    }
}

TEST(FaceSplit, DegenerateConcaveFacesStillGiveTheirTriangles)
{
    const std::vector<std::vector<FacePoint>> faces = {
        // An L with collinear corners along its edges.
        {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {0, 1, 0}},
        // A dart with a repeated corner and a spike that folds back on itself.
        {{4, 0, 0}, {1, 1, 0}, {1, 1, 0}, {0, 4, 0}, {0, 6, 0}, {0, 4, 0}, {0, 0, 0}},
    };
    for (const std::vector<FacePoint>& face : faces)
        expect_exact_cover(face, split(face));

    // A bow tie crosses itself: no split is right, but it gets its two triangles.
    EXPECT_EQ(split({{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}}).size(), 2u);
}

TEST(FaceSplit, RandomStarShapedFacesAreCoveredExactly)
{
    // Corners at random distances around a centre make simple polygons of
    // every shape; whole-number corners as the reader stores them.
    std::mt19937 random(14);
    std::uniform_real_distribution<double> radius(50, 1000);
    for (int face = 0; face < 300; ++face) {
        const int count = 4 + face % 40;
        std::vector<FacePoint> corners;
        for (int k = 0; k < count; ++k) {
            const double angle = 2 * M_PI * k / count, r = radius(random);
            corners.push_back({std::round(r * std::cos(angle)), std::round(r * std::sin(angle)), 0});
        }
        SCOPED_TRACE("face " + std::to_string(face));
        expect_exact_cover(corners, split(corners));
    }
}

TEST(FaceSplit, FaceOfThousandsOfCornersIsCoveredExactly)
{
    // A comb along the bottom of a long bar: 1000 teeth, 4001 corners,
    // concave at every tooth, counter-clockwise from +z.
    std::vector<FacePoint> comb;
    for (int k = 0; k < 1000; ++k) {
        comb.push_back({4.0 * k, 0, 0});
        comb.push_back({4.0 * k + 2, 0, 0});
        comb.push_back({4.0 * k + 2, 1, 0});
        comb.push_back({4.0 * k + 4, 1, 0});
    }
    comb.back() = {4000, 100, 0};
    comb.push_back({0, 100, 0});
    expect_exact_cover(comb, split(comb));
}

}  // namespace
