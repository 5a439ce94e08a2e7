// Zooming and panning as arithmetic: the point under the pointer stays there, the picture cannot
// leave the window, a resize keeps the zoom and the centre, and the ladder's stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "render/zoom_view.h"

namespace {

constexpr int PictureW = 6000, PictureH = 4000;
constexpr int WindowW = 1280, WindowH = 720;

// The picture point at a window point, as the placement draws it.
void PicturePointAt(const ZoomPlacement& at, double x, double y, double* px, double* py) {
    *px = (x - at.Left) / at.Scale;
    *py = (y - at.Top) / at.Scale;
}

ZoomPlacement Place(const ZoomView& view, int w = WindowW, int h = WindowH) {
    return PlaceZoomView(view, w, h, PictureW, PictureH);
}

// The picture covers the window along a side where it is larger, stands centred where it is not.
void ExpectInView(const ZoomPlacement& at, int w, int h) {
    if (at.Width > w) {
        EXPECT_LE(at.Left, 0);
        EXPECT_GE(at.Left + at.Width, w);
    } else {
        EXPECT_EQ(at.Left, (w - at.Width) / 2);
    }
    if (at.Height > h) {
        EXPECT_LE(at.Top, 0);
        EXPECT_GE(at.Top + at.Height, h);
    } else {
        EXPECT_NEAR(at.Top, (h - at.Height) / 2.0, 1.0);
    }
}

}  // namespace

TEST(ZoomView, FittedIsTheRenderersFit) {
    const ZoomPlacement at = Place(FittedZoomView);
    // 1280 / 6000 and 720 / 4000: the vertical scale, 0.18; 1080 x 720 centred.
    EXPECT_EQ(at.Width, 1080);
    EXPECT_EQ(at.Height, 720);
    EXPECT_EQ(at.Left, 100);
    EXPECT_EQ(at.Top, 0);
    EXPECT_TRUE(at.Fitted);
    // Unfitted, the same placement.
    const ZoomPlacement same = Place(UnfitZoomView(FittedZoomView, WindowW, WindowH, PictureW, PictureH));
    EXPECT_FALSE(same.Fitted);
    EXPECT_EQ(same.Left, 100);
    EXPECT_EQ(same.Top, 0);
    EXPECT_EQ(same.Width, 1080);
}

TEST(ZoomView, ZoomKeepsThePointUnderThePointer) {
    // Points far enough from the edges that no limit of panning intervenes (the next test's case).
    const double points[][2] = {{500, 300}, {800, 420}, {640, 360}, {700.5, 333.25}};
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << "pointer at " << p[0] << ", " << p[1]);
        ZoomView view = FittedZoomView;
        double wantX, wantY;
        PicturePointAt(Place(view), p[0], p[1], &wantX, &wantY);
        // In and out along the ladder, a touchpad's fractions among the steps, then 100 %.
        const double steps[] = {1, 1, 0.3, 2, -1, -0.7, 1};
        for (double step : steps) {
            view = StepZoomView(view, step, p[0], p[1], WindowW, WindowH, PictureW, PictureH);
            if (view.Fitted) continue;
            // On the same window pixel, give or take the placement's rounding, however many steps.
            const ZoomPlacement at = Place(view);
            EXPECT_NEAR(at.Left + wantX * at.Scale, p[0], 1.0) << "scale " << at.Scale;
            EXPECT_NEAR(at.Top + wantY * at.Scale, p[1], 1.0) << "scale " << at.Scale;
        }
        view = ZoomViewAbout(view, 1.0, p[0], p[1], WindowW, WindowH, PictureW, PictureH);
        const ZoomPlacement at = Place(view);
        EXPECT_EQ(at.Width, PictureW);
        EXPECT_NEAR(at.Left + wantX, p[0], 1.0);
        EXPECT_NEAR(at.Top + wantY, p[1], 1.0);
    }
}

TEST(ZoomView, ZoomNearAnEdgeStopsAtTheEdge) {
    // The top-left corner at the window's corner cannot be zoomed about without leaving a gap:
    // the picture's corner stays at the window's instead.
    const ZoomView view = ZoomViewAbout(FittedZoomView, 2.0, 100, 0, WindowW, WindowH, PictureW, PictureH);
    const ZoomPlacement at = Place(view);
    EXPECT_EQ(at.Left, 0);
    EXPECT_EQ(at.Top, 0);
}

TEST(ZoomView, PanStaysWithinThePicture) {
    ZoomView view = ZoomViewAbout(FittedZoomView, 1.0, 640, 360, WindowW, WindowH, PictureW, PictureH);
    const ZoomPlacement start = Place(view);
    view = PanZoomView(view, 30, -20, WindowW, WindowH, PictureW, PictureH);
    const ZoomPlacement moved = Place(view);
    EXPECT_EQ(moved.Left - start.Left, 30);
    EXPECT_EQ(moved.Top - start.Top, -20);
    // Far past each edge: the picture's edge stops at the window's.
    view = PanZoomView(view, 1e6, 1e6, WindowW, WindowH, PictureW, PictureH);
    EXPECT_EQ(Place(view).Left, 0);
    EXPECT_EQ(Place(view).Top, 0);
    view = PanZoomView(view, -1e6, -1e6, WindowW, WindowH, PictureW, PictureH);
    EXPECT_EQ(Place(view).Left, WindowW - PictureW);
    EXPECT_EQ(Place(view).Top, WindowH - PictureH);
    // Coming back starts moving at once: the limits were kept, not the overshoot.
    view = PanZoomView(view, 10, 10, WindowW, WindowH, PictureW, PictureH);
    EXPECT_EQ(Place(view).Left, WindowW - PictureW + 10);

    // Smaller than the window along one side: centred there and not moved by a drag.
    const int wideW = 1280, wideH = 720, stripW = 4000, stripH = 300;
    ZoomView strip = ZoomViewAbout(FittedZoomView, 1.0, 640, 360, wideW, wideH, stripW, stripH);
    strip = PanZoomView(strip, 50, 200, wideW, wideH, stripW, stripH);
    const ZoomPlacement at = PlaceZoomView(strip, wideW, wideH, stripW, stripH);
    EXPECT_EQ(at.Top, wideH - (wideH - stripH) / 2 - stripH);
    ExpectInView(at, wideW, wideH);
    // The fitted view does not pan.
    EXPECT_FALSE(ZoomViewPans(FittedZoomView, WindowW, WindowH, PictureW, PictureH));
    EXPECT_TRUE(PanZoomView(FittedZoomView, 40, 40, WindowW, WindowH, PictureW, PictureH).Fitted);
}

TEST(ZoomView, ResizeKeepsZoomAndCentre) {
    ZoomView view = ZoomViewAbout(FittedZoomView, 2.0, 900, 300, WindowW, WindowH, PictureW, PictureH);
    double centreX, centreY;
    PicturePointAt(Place(view), WindowW / 2.0, WindowH / 2.0, &centreX, &centreY);
    const int sizes[][2] = {{800, 600}, {1920, 1080}, {333, 999}, {WindowW, WindowH}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        const ZoomPlacement at = Place(view, size[0], size[1]);
        EXPECT_EQ(at.Scale, 2.0);
        EXPECT_EQ(at.Width, 2 * PictureW);
        double x, y;
        PicturePointAt(at, size[0] / 2.0, size[1] / 2.0, &x, &y);
        EXPECT_NEAR(x, centreX, 0.5);
        EXPECT_NEAR(y, centreY, 0.5);
        ExpectInView(at, size[0], size[1]);
    }
    // Grown larger than the zoomed picture: centred, and shrunk back, the same centre again.
    ExpectInView(Place(view, 20000, 10000), 20000, 10000);
    double x, y;
    PicturePointAt(Place(view), WindowW / 2.0, WindowH / 2.0, &x, &y);
    EXPECT_NEAR(x, centreX, 0.5);
}

TEST(ZoomView, LadderRunsFromAnEighthToSixteenTimesWithTheFitAmongIt) {
    double stops[ZoomStopsMax];
    const int count = ZoomStops(0.18, stops);
    ASSERT_EQ(count, 16);
    EXPECT_EQ(stops[0], 0.125);
    EXPECT_DOUBLE_EQ(stops[1], 1.0 / 6);
    EXPECT_EQ(stops[2], 0.18);
    EXPECT_EQ(stops[count - 1], 16.0);
    for (int i = 1; i < count; ++i) EXPECT_LT(stops[i - 1], stops[i]);
    // A stop within 5 % of the fit gives way to it.
    EXPECT_EQ(ZoomStops(0.98, stops), 15);
    EXPECT_EQ(std::count(stops, stops + 15, 1.0), 0);
    // A fit beyond the ladder's ends extends it.
    EXPECT_EQ(ZoomStops(0.05, stops), 16);
    EXPECT_EQ(stops[0], 0.05);
    EXPECT_EQ(ZoomStops(40.0, stops), 16);
    EXPECT_EQ(stops[15], 40.0);
}

TEST(ZoomView, WholeStepsGoFromStopToStop) {
    auto step = [](const ZoomView& view, double steps) {
        return StepZoomView(view, steps, 640, 360, WindowW, WindowH, PictureW, PictureH);
    };
    // From the fit (0.18): 25 %, 33.3 %, then back down to the fit, then 16.7 %, 12.5 %, no further.
    ZoomView view = step(FittedZoomView, 1);
    EXPECT_EQ(view.Scale, 0.25);
    view = step(view, 1);
    EXPECT_DOUBLE_EQ(view.Scale, 1.0 / 3);
    view = step(view, -2);
    EXPECT_TRUE(view.Fitted);
    view = step(view, -1);
    EXPECT_DOUBLE_EQ(view.Scale, 1.0 / 6);
    view = step(step(view, -1), -1);
    EXPECT_EQ(view.Scale, 0.125);
    // Between two stops, a whole step goes to the next stop first.
    view = step(step(FittedZoomView, 5), 0.5);  // 100 %, then half way to 150 %
    EXPECT_GT(view.Scale, 1.0);
    EXPECT_LT(view.Scale, 1.5);
    EXPECT_EQ(step(view, 1).Scale, 1.5);
    EXPECT_EQ(step(view, -1).Scale, 1.0);
    // Fractions add up to a whole step.
    ZoomView fine = step(FittedZoomView, 6);  // 150 %
    for (int i = 0; i < 4; ++i) fine = step(fine, 0.25);
    EXPECT_NEAR(fine.Scale, 2.0, 1e-9);
    // The top of the ladder holds.
    EXPECT_EQ(step(fine, 50).Scale, 16.0);
}
