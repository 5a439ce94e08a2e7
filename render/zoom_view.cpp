#include "render/zoom_view.h"

#include <algorithm>
#include <cmath>

#include "render/brush_filter.h"

namespace {

// 12.5 % to 1600 %: thirds and halves between the powers of two, as the eye expects them.
constexpr double LadderStops[] = {0.125, 1.0 / 6, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5,
                                  2.0,   3.0,     4.0,  6.0,     8.0, 12.0,    16.0};
constexpr int LadderCount = sizeof LadderStops / sizeof LadderStops[0];
static_assert(LadderCount + 1 <= ZoomStopsMax, "the ladder and the fit");

// A ladder stop this close to the fit is the fit.
constexpr double NearFit = 1.05;

double MinScale(double fit) { return fit > 0.0 && fit < LadderStops[0] ? fit : LadderStops[0]; }
double MaxScale(double fit) { return fit > LadderStops[LadderCount - 1] ? fit : LadderStops[LadderCount - 1]; }

// The centre along one side: clamped so that a picture larger than the window covers it, centred
// where it is not.
double ClampCentre(double centre, int picture, int window, double scale) {
    if (double(picture) * scale <= double(window)) return picture * 0.5;
    const double half = window * 0.5 / scale;
    return std::min(std::max(centre, half), picture - half);
}

// One side's drawn offset: centred as the fit centres (odd spare pixels after it) where the
// picture is smaller, else the centre point at the window's middle, on a whole pixel.
int PlaceSide(double centre, int drawn, int window, double scale) {
    if (drawn <= window) return int(float(window - drawn) * 0.5f);
    const long long offset = std::llround(window * 0.5 - centre * scale);
    return int(std::min<long long>(std::max<long long>(offset, window - drawn), 0));
}

ZoomView Clamped(ZoomView view, int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    view.CentreX = ClampCentre(view.CentreX, pictureWidth, windowWidth, view.Scale);
    view.CentreY = ClampCentre(view.CentreY, pictureHeight, windowHeight, view.Scale);
    return view;
}

}  // namespace

double FitScale(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    const BrushViewport fit = ComputeBrushViewport(windowWidth, windowHeight, pictureWidth, pictureHeight);
    return fit.Width > 0 ? double(fit.Width) / pictureWidth : 0.0;
}

ZoomView UnfitZoomView(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    if (!view.Fitted) return view;
    const ZoomPlacement at = PlaceZoomView(view, windowWidth, windowHeight, pictureWidth, pictureHeight);
    if (at.Scale <= 0.0) return ZoomView{false, 1.0, pictureWidth * 0.5, pictureHeight * 0.5};
    return ZoomView{false, at.Scale, (windowWidth * 0.5 - at.Left) / at.Scale,
                    (windowHeight * 0.5 - at.Top) / at.Scale};
}

ZoomPlacement PlaceZoomView(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth,
                            int pictureHeight) {
    if (view.Fitted) {
        // The renderer's fit, its rows turned to run from the top.
        const BrushViewport fit = ComputeBrushViewport(windowWidth, windowHeight, pictureWidth, pictureHeight);
        return ZoomPlacement{fit.X,
                             windowHeight - fit.Y - fit.Height,
                             fit.Width,
                             fit.Height,
                             FitScale(windowWidth, windowHeight, pictureWidth, pictureHeight),
                             true};
    }
    const ZoomView v = Clamped(view, windowWidth, windowHeight, pictureWidth, pictureHeight);
    const int width = int(std::max<long long>(1, std::llround(pictureWidth * v.Scale)));
    const int height = int(std::max<long long>(1, std::llround(pictureHeight * v.Scale)));
    const int left = PlaceSide(v.CentreX, width, windowWidth, v.Scale);
    // The fit leaves an odd spare row above the picture: counted from the top, the larger half.
    const int top = height <= windowHeight ? windowHeight - PlaceSide(0.0, height, windowHeight, v.Scale) - height
                                           : PlaceSide(v.CentreY, height, windowHeight, v.Scale);
    return ZoomPlacement{left, top, width, height, v.Scale, false};
}

ZoomView ZoomViewAbout(const ZoomView& view, double scale, double x, double y, int windowWidth, int windowHeight,
                       int pictureWidth, int pictureHeight) {
    const double fit = FitScale(windowWidth, windowHeight, pictureWidth, pictureHeight);
    scale = std::min(std::max(scale, MinScale(fit)), MaxScale(fit));
    // The picture point under (x, y), with the limits applied: from the view's own centre rather
    // than its placement on whole pixels, so that the rounding does not add up over many steps.
    const ZoomView from = Clamped(UnfitZoomView(view, windowWidth, windowHeight, pictureWidth, pictureHeight),
                                  windowWidth, windowHeight, pictureWidth, pictureHeight);
    if (!(from.Scale > 0.0) || !(scale > 0.0)) return view;
    const double pictureX = from.CentreX + (x - windowWidth * 0.5) / from.Scale;
    const double pictureY = from.CentreY + (y - windowHeight * 0.5) / from.Scale;
    const ZoomView zoomed = {false, scale, pictureX - (x - windowWidth * 0.5) / scale,
                             pictureY - (y - windowHeight * 0.5) / scale};
    return Clamped(zoomed, windowWidth, windowHeight, pictureWidth, pictureHeight);
}

int ZoomStops(double fitScale, double* stops) {
    int count = 0;
    bool fitPlaced = !(fitScale > 0.0);
    for (double stop : LadderStops) {
        if (!fitPlaced && fitScale < stop) {
            stops[count++] = fitScale;
            fitPlaced = true;
        }
        if (fitScale > 0.0 && stop < fitScale * NearFit && stop * NearFit > fitScale) continue;
        stops[count++] = stop;
    }
    if (!fitPlaced) stops[count++] = fitScale;
    return count;
}

ZoomView StepZoomView(const ZoomView& view, double steps, double x, double y, int windowWidth, int windowHeight,
                      int pictureWidth, int pictureHeight) {
    const double fit = FitScale(windowWidth, windowHeight, pictureWidth, pictureHeight);
    if (!(fit > 0.0)) return view;
    double stops[ZoomStopsMax];
    const int count = ZoomStops(fit, stops);
    const int fitStop = int(std::find(stops, stops + count, fit) - stops);

    // Where the view stands on the ladder: a stop's index, or a fraction of the way to the next.
    double position = fitStop;
    if (!view.Fitted) {
        const double scale = view.Scale;
        position = scale <= stops[0] ? 0.0 : count - 1;
        for (int i = 0; i + 1 < count; ++i)
            if (scale >= stops[i] && scale <= stops[i + 1]) {
                position = i + std::log(scale / stops[i]) / std::log(stops[i + 1] / stops[i]);
                break;
            }
    }
    double target = position + steps;
    if (std::fabs(steps - std::round(steps)) < 1e-9) {
        // Whole steps from a view between stops count the next stop in their direction as the first.
        const double stop = steps > 0 ? std::floor(position + 1e-6) : std::ceil(position - 1e-6);
        target = stop + std::round(steps);
    }
    target = std::min(std::max(target, 0.0), double(count - 1));
    if (std::fabs(target - fitStop) < 1e-6) return FittedZoomView;
    const int below = std::min(int(std::floor(target)), count - 2);
    const double part = target - below;
    const double scale = count < 2 ? stops[0] : stops[below] * std::pow(stops[below + 1] / stops[below], part);
    return ZoomViewAbout(view, scale, x, y, windowWidth, windowHeight, pictureWidth, pictureHeight);
}

ZoomView PanZoomView(const ZoomView& view, double dx, double dy, int windowWidth, int windowHeight, int pictureWidth,
                     int pictureHeight) {
    if (!ZoomViewPans(view, windowWidth, windowHeight, pictureWidth, pictureHeight)) return view;
    // From where the window shows it, so that a drag after a resize moves at once.
    ZoomView moved = Clamped(UnfitZoomView(view, windowWidth, windowHeight, pictureWidth, pictureHeight), windowWidth,
                             windowHeight, pictureWidth, pictureHeight);
    moved.CentreX -= dx / moved.Scale;
    moved.CentreY -= dy / moved.Scale;
    return Clamped(moved, windowWidth, windowHeight, pictureWidth, pictureHeight);
}

bool ZoomViewPans(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    const ZoomPlacement at = PlaceZoomView(view, windowWidth, windowHeight, pictureWidth, pictureHeight);
    return at.Width > windowWidth || at.Height > windowHeight;
}
