#include "map/MapGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/MapCatalog.h"

namespace {

constexpr double kTight = 1e-9;

struct Size {
    int width;
    int height;
};
constexpr Size kSizes[] = {{989, 826}, {640, 480}, {3, 2}, {1600, 1200}};

TEST(MapGeometry, RectangleFollowsTheStartUpBitmap) {
    for (const Size& s : kSizes) {
        MapGeometry g;
        initMapGeometry(g, s.width, s.height);
        EXPECT_EQ(g.mapLeft, static_cast<double>(-5.3f));
        EXPECT_EQ(g.mapBottom, static_cast<double>(-3.3f));
        EXPECT_EQ(g.mapRight, s.width * 0.007 - 5.300000190734863);
        EXPECT_EQ(g.mapTop, s.height * 0.007 - 3.299999952316284);
        EXPECT_DOUBLE_EQ(g.unitsPerPixelX, (g.mapRight - g.mapLeft) / 638.0);
        EXPECT_DOUBLE_EQ(g.unitsPerPixelY, (g.mapBottom - g.mapTop) / 529.0);
        EXPECT_LT(g.unitsPerPixelY, 0.0);
        EXPECT_EQ(g.mapBitmapWidth, s.width);
        EXPECT_EQ(g.mapBitmapHeight, s.height);
    }
}

TEST(MapGeometry, StartsOnTheFirstCatalogueSite) {
    MapGeometry g;
    initMapGeometry(g, 989, 826);
    EXPECT_EQ(g.upperLeftLat, 39.988195);
    EXPECT_EQ(g.upperLeftLon, -75.214313);
    EXPECT_EQ(g.lowerRightLat, 39.985642);
    EXPECT_EQ(g.lowerRightLon, -75.210061);
    EXPECT_EQ(g.lonPerUnit, 0.004252000000008138 / (g.mapRight - g.mapLeft));
    EXPECT_EQ(g.latPerUnit, -0.0025529999999989172 / (g.mapBottom - g.mapTop));
    EXPECT_GT(g.lonPerUnit, 0.0);
    EXPECT_GT(g.latPerUnit, 0.0);
}

TEST(MapGeometry, CornersMapOntoTheRectangleBothWays) {
    for (const Size& s : kSizes) {
        for (int site = 0; site < 3; ++site) {
            SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " site " << site);
            MapGeometry g;
            initMapGeometry(g, s.width, s.height);
            const MapSite& m = kMapCatalog[static_cast<unsigned>(site)];
            g.upperLeftLat = m.upperLeftLat;
            g.upperLeftLon = m.upperLeftLon;
            g.lowerRightLat = m.lowerRightLat;
            g.lowerRightLon = m.lowerRightLon;
            updateMapScales(g);

            const auto upperLeft = geoToScene(g, m.upperLeftLat, m.upperLeftLon);
            const auto lowerRight = geoToScene(g, m.lowerRightLat, m.lowerRightLon);
            ASSERT_TRUE(upperLeft && lowerRight);
            EXPECT_NEAR(upperLeft->x, g.mapLeft, kTight);
            EXPECT_NEAR(upperLeft->y, g.mapTop, kTight);
            EXPECT_NEAR(lowerRight->x, g.mapRight, kTight);
            EXPECT_NEAR(lowerRight->y, g.mapBottom, kTight);

            const ReferencePoint boxUpperLeft = referenceToGeo(g, 23, 107);
            const ReferencePoint boxLowerRight = referenceToGeo(g, 661, 636);
            EXPECT_NEAR(boxUpperLeft.scene.x, g.mapLeft, kTight);
            EXPECT_NEAR(boxUpperLeft.scene.y, g.mapTop, kTight);
            EXPECT_NEAR(boxUpperLeft.geo.lat, m.upperLeftLat, kTight);
            EXPECT_NEAR(boxUpperLeft.geo.lon, m.upperLeftLon, kTight);
            EXPECT_NEAR(boxLowerRight.scene.x, g.mapRight, kTight);
            EXPECT_NEAR(boxLowerRight.scene.y, g.mapBottom, kTight);
            EXPECT_NEAR(boxLowerRight.geo.lat, m.lowerRightLat, kTight);
            EXPECT_NEAR(boxLowerRight.geo.lon, m.lowerRightLon, kTight);

            // A click inside the box lands where its own coordinates are drawn.
            const ReferencePoint inside = referenceToGeo(g, 300, 400);
            const auto back = geoToScene(g, inside.geo.lat, inside.geo.lon);
            ASSERT_TRUE(back);
            EXPECT_NEAR(back->x, inside.scene.x, kTight);
            EXPECT_NEAR(back->y, inside.scene.y, kTight);
            EXPECT_GT(inside.geo.lon, m.upperLeftLon);
            EXPECT_LT(inside.geo.lat, m.upperLeftLat);
        }
    }
}

TEST(MapGeometry, UnplaceablePointsGiveNothing) {
    MapGeometry g;
    initMapGeometry(g, 989, 826);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(geoToScene(g, nan, -75.212));
    EXPECT_FALSE(geoToScene(g, 39.987, inf));
    EXPECT_TRUE(geoToScene(g, 39.987, -75.212));

    // Corners of equal longitude (or the untouched user entry, all zero) leave a zero scale.
    MapGeometry flat = g;
    flat.lowerRightLon = flat.upperLeftLon;
    updateMapScales(flat);
    EXPECT_EQ(flat.lonPerUnit, 0.0);
    EXPECT_FALSE(geoToScene(flat, 39.987, -75.212));

    MapGeometry user = g;
    user.upperLeftLat = user.upperLeftLon = user.lowerRightLat = user.lowerRightLon = 0.0;
    updateMapScales(user);
    EXPECT_FALSE(geoToScene(user, 0.0, 0.0));
}

}  // namespace
