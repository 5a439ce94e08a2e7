#include "render/cached_preview.h"

#include <cmath>
#include <cstring>

#include "render/full_size_painting.h"
#include "render/gl_state.h"
#include "render/texture_slots.h"

bool PreviewCaching = true;

static OffscreenTarget Cache = {};
// A framebuffer through which the picture's own texture is read while comparing.
static GLuint OriginalFramebuffer = 0;
static int PaintCount = 0;

// What the painting in the cache was made from.
struct PaintInputs {
    PreviewView View;
    int WindowWidth, WindowHeight;
    bool TopRowFirst;
    BrushProperties Parameters;
    unsigned SlotChanges;
};
static PaintInputs Painted = {};
static bool CacheHoldsPainting = false;

static bool SameInputs(const PaintInputs& a, const PaintInputs& b) {
    const BrushViewport &v = a.View.Drawn, &w = b.View.Drawn;
    // Parameters compared bit for bit: a value that does not equal itself must not repaint
    // every frame.
    return v.X == w.X && v.Y == w.Y && v.Width == w.Width && v.Height == w.Height &&
           std::memcmp(&a.View.ReachWidth, &b.View.ReachWidth, sizeof(float)) == 0 &&
           std::memcmp(&a.View.ReachHeight, &b.View.ReachHeight, sizeof(float)) == 0 &&
           a.View.FullSize == b.View.FullSize && a.WindowWidth == b.WindowWidth && a.WindowHeight == b.WindowHeight &&
           a.TopRowFirst == b.TopRowFirst && std::memcmp(&a.Parameters, &b.Parameters, sizeof a.Parameters) == 0 &&
           a.SlotChanges == b.SlotChanges;
}

bool VisiblePictureRegion(const PreviewView& view, int windowWidth, int windowHeight, bool topRowFirst,
                          BrushPassRegion* region) {
    const BrushViewport& d = view.Drawn;
    const int left = d.X > 0 ? d.X : 0, bottom = d.Y > 0 ? d.Y : 0;
    const int right = d.X + d.Width < windowWidth ? d.X + d.Width : windowWidth;
    const int top = d.Y + d.Height < windowHeight ? d.Y + d.Height : windowHeight;
    if (d.Width <= 0 || d.Height <= 0 || right <= left || top <= bottom) return false;
    // The whole drawn area gives 0 and 1 exactly: the fitted view's own region.
    region->Viewport = BrushViewport{left, topRowFirst ? windowHeight - top : bottom, right - left, top - bottom};
    region->PictureLeft = float(double(left - d.X) / d.Width);
    region->PictureRight = float(double(right - d.X) / d.Width);
    region->PictureTop = float(double(d.Y + d.Height - top) / d.Height);
    region->PictureBottom = float(double(d.Y + d.Height - bottom) / d.Height);
    region->ReachWidth = view.ReachWidth;
    region->ReachHeight = view.ReachHeight;
    region->TopRowFirst = topRowFirst;
    region->PictureTexture = DiffuseTexture;
    region->PaperTexture = FilterTexture;
    return true;
}

// The full-size painting's part in view, its tiles painted first, scaled into the cache with the
// nearest pixel; the GL clips the drawn area to the cache. False when the painting cannot be had.
static bool ComposeFullSize(const PreviewView& view, int windowWidth, int windowHeight, bool topRowFirst,
                            const BrushProperties& parameters) {
    const BrushViewport& d = view.Drawn;
    const double scaleX = double(d.Width) / DiffuseWidth, scaleY = double(d.Height) / DiffuseHeight;
    const int drawnTop = windowHeight - d.Y - d.Height;  // from the window's top
    auto clampTo = [](double value, int limit) { return value < 0 ? 0 : value > limit ? limit : int(value); };
    // One pixel more on each side: the nearest pixel of a window pixel's centre lies within.
    const int left = clampTo(std::floor(-d.X / scaleX) - 1, DiffuseWidth);
    const int right = clampTo(std::ceil((windowWidth - d.X) / scaleX) + 1, DiffuseWidth);
    const int top = clampTo(std::floor(-drawnTop / scaleY) - 1, DiffuseHeight);
    const int bottom = clampTo(std::ceil((windowHeight - drawnTop) / scaleY) + 1, DiffuseHeight);
    char reason[256];
    if (!PaintFullSizeTiles(left, top, right, bottom, view.ReachWidth, view.ReachHeight, parameters, reason,
                            sizeof reason))
        return false;
    const SavedGLState saved = SaveGLState(SAVE_DRAW_FRAMEBUFFER | SAVE_READ_FRAMEBUFFER | SAVE_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, FullSizePaintingFramebuffer());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, Cache.Framebuffer);
    // The painting's row 0 is the picture's top row; a cache kept top row first has the window's
    // top row there too.
    if (topRowFirst)
        glBlitFramebuffer(0, 0, DiffuseWidth, DiffuseHeight, d.X, drawnTop, d.X + d.Width, drawnTop + d.Height,
                          GL_COLOR_BUFFER_BIT, GL_NEAREST);
    else
        glBlitFramebuffer(0, 0, DiffuseWidth, DiffuseHeight, d.X, d.Y + d.Height, d.X + d.Width, d.Y,
                          GL_COLOR_BUFFER_BIT, GL_NEAREST);
    RestoreGLState(saved);
    return true;
}

bool PaintPreviewView(const PreviewView& view, int windowWidth, int windowHeight, const BrushProperties& parameters) {
    GLint drawFramebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    const bool topRowFirst = drawFramebuffer == 0;
    const PaintInputs inputs = {view, windowWidth, windowHeight, topRowFirst, parameters, TextureSlotChanges};
    if (CacheHoldsPainting && SameInputs(inputs, Painted)) return true;
    CacheHoldsPainting = false;
    char reason[256];
    if (!SizeOffscreenTarget(&Cache, windowWidth, windowHeight, reason, sizeof reason)) return false;
    ClearOffscreenTarget(Cache);
    if (!view.FullSize || !ComposeFullSize(view, windowWidth, windowHeight, topRowFirst, parameters)) {
        // Below 100 %, or where the full-size painting cannot be had: the pass at the shown scale.
        BrushPassRegion region;
        if (VisiblePictureRegion(view, windowWidth, windowHeight, topRowFirst, &region))
            RunBrushPassOffscreen(Cache, region, parameters);
    }
    Painted = inputs;
    CacheHoldsPainting = true;
    ++PaintCount;
    return true;
}

bool PaintPreview(BrushViewport viewport, int windowWidth, int windowHeight, const BrushProperties& parameters,
                  float pixelsPerUnit) {
    const PreviewView view = {viewport, float(viewport.Width) / pixelsPerUnit, float(viewport.Height) / pixelsPerUnit,
                              false};
    return PaintPreviewView(view, windowWidth, windowHeight, parameters);
}

// The blits below are clipped by the scissor box; the frame keeps the test off, but a caller
// inside the UI's drawing may not.
static SavedGLState BeginBlit(GLuint readFramebuffer) {
    const SavedGLState saved = SaveGLState(SAVE_READ_FRAMEBUFFER | SAVE_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
    return saved;
}

void PresentPreview() {
    const int w = Painted.WindowWidth, h = Painted.WindowHeight;
    const SavedGLState saved = BeginBlit(Cache.Framebuffer);
    // Upside down again for a window: the rows go back into the raster order they were drawn in.
    glBlitFramebuffer(0, Painted.TopRowFirst ? h : 0, w, Painted.TopRowFirst ? 0 : h, 0, 0, w, h, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    RestoreGLState(saved);
}

void PresentOriginalPicture(BrushViewport v, bool magnified) {
    if (!OriginalFramebuffer) glGenFramebuffers(1, &OriginalFramebuffer);
    const SavedGLState saved = BeginBlit(OriginalFramebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, DiffuseTexture, 0);
    // The texture's row 0 is the picture's top row, so the source runs from its last row up.
    glBlitFramebuffer(0, DiffuseHeight, DiffuseWidth, 0, v.X, v.Y, v.X + v.Width, v.Y + v.Height, GL_COLOR_BUFFER_BIT,
                      magnified ? GL_NEAREST : GL_LINEAR);
    // Detached at once: an attachment would keep a replaced picture's texture alive.
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    RestoreGLState(saved);
}

int PreviewPaintCount() { return PaintCount; }

const OffscreenTarget& PreviewTarget() { return Cache; }

void ShutdownCachedPreview() {
    DeleteOffscreenTarget(&Cache);
    if (OriginalFramebuffer) glDeleteFramebuffers(1, &OriginalFramebuffer);
    OriginalFramebuffer = 0;
    CacheHoldsPainting = false;
}
