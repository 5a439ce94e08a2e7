// zoom_view: where the picture stands in the window when the user zooms and pans, as plain
// arithmetic (no GL, no state): the view, its placement in the window, zooming about a point,
// panning within limits and the ladder of zoom steps.
//
//   ZoomView view = FittedZoomView;                        // the picture fitted, as at start
//   view = ZoomViewAbout(view, 1.0, pointerX, pointerY, windowW, windowH, pictureW, pictureH);
//   view = StepZoomView(view, +1.0, x, y, windowW, windowH, pictureW, pictureH);  // a ladder step
//   view = PanZoomView(view, dx, dy, windowW, windowH, pictureW, pictureH);       // a drag
//   ZoomPlacement at = PlaceZoomView(view, windowW, windowH, pictureW, pictureH); // each frame
//
// A view that is not fitted keeps its scale (window pixels per picture pixel) and the picture
// point at the window's centre, so a resized window keeps both; its placement clamps that point
// so that the picture covers the window along each side where it is larger than the window, and
// stands centred along each side where it is not: it cannot be pushed out of view. The fitted
// view is the renderer's fit (ComputeBrushViewport) and follows the window.
// Window coordinates here run from the window's top-left corner, y downward, in pixels.
#pragma once

struct ZoomView {
    bool Fitted;              // the picture fitted into the window, whatever the fields below say
    double Scale;             // window pixels per picture pixel
    double CentreX, CentreY;  // the picture point at the window's centre, in picture pixels
};

constexpr ZoomView FittedZoomView = {true, 1.0, 0.0, 0.0};

// The picture's drawn rectangle in the window (it may reach past the window's edges) and the
// scale it is drawn at. Left and Top are whole pixels: at scale 1 each picture pixel falls on
// one window pixel.
struct ZoomPlacement {
    int Left, Top, Width, Height;
    double Scale;
    bool Fitted;
};

// The scale of the fit, as the drawn width over the picture's width. A picture without a
// positive size, or an empty window, gives 0.
double FitScale(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

// The view with the same placement but not fitted: what zooming and panning start from.
ZoomView UnfitZoomView(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

ZoomPlacement PlaceZoomView(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth,
                            int pictureHeight);

// The view at `scale` (limited to the ladder's ends) with the picture point under the window
// point (x, y) kept there, as far as the limits of panning allow.
ZoomView ZoomViewAbout(const ZoomView& view, double scale, double x, double y, int windowWidth, int windowHeight,
                       int pictureWidth, int pictureHeight);

// `steps` along the ladder (positive: closer) about the window point (x, y). Whole steps go from
// stop to stop (a view between two stops goes to the next one first); fractions of a step, as a
// touchpad scrolls, move part of the way, in proportion on a logarithmic scale. Landing on the
// fit's stop gives the fitted view.
ZoomView StepZoomView(const ZoomView& view, double steps, double x, double y, int windowWidth, int windowHeight,
                      int pictureWidth, int pictureHeight);

// The view moved by (dx, dy) window pixels (the picture follows the pointer), within limits.
ZoomView PanZoomView(const ZoomView& view, double dx, double dy, int windowWidth, int windowHeight, int pictureWidth,
                     int pictureHeight);

// The picture larger than the window along either side: there is something to pan.
bool ZoomViewPans(const ZoomView& view, int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

// The ladder's stops, closest last: 12.5 % to 1600 %, and the fit among them (a stop within 5 %
// of the fit gives way to it). Writes at most ZoomStopsMax stops and answers how many.
constexpr int ZoomStopsMax = 16;
int ZoomStops(double fitScale, double* stops);
