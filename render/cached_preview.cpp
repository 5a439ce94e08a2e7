#include "render/cached_preview.h"

#include <cstring>

#include "render/gl_state.h"
#include "render/texture_slots.h"

bool PreviewCaching = true;

static OffscreenTarget Cache = {};
// A framebuffer through which the picture's own texture is read while comparing.
static GLuint OriginalFramebuffer = 0;
static int PaintCount = 0;

// What the painting in the cache was made from, and where in the cache it lies.
struct PaintInputs {
    BrushViewport Target;
    int WindowWidth, WindowHeight;
    bool TopRowFirst;
    BrushProperties Parameters;
    unsigned SlotChanges;
    float PixelsPerUnit;
};
static PaintInputs Painted = {};
static bool CacheHoldsPainting = false;

static bool SameInputs(const PaintInputs& a, const PaintInputs& b) {
    const BrushViewport &v = a.Target, &w = b.Target;
    // Parameters compared bit for bit: a value that does not equal itself must not repaint
    // every frame.
    return v.X == w.X && v.Y == w.Y && v.Width == w.Width && v.Height == w.Height && a.WindowWidth == b.WindowWidth &&
           a.WindowHeight == b.WindowHeight && a.TopRowFirst == b.TopRowFirst &&
           std::memcmp(&a.Parameters, &b.Parameters, sizeof a.Parameters) == 0 && a.SlotChanges == b.SlotChanges &&
           a.PixelsPerUnit == b.PixelsPerUnit;
}

bool PaintPreview(BrushViewport viewport, int windowWidth, int windowHeight, const BrushProperties& parameters,
                  float pixelsPerUnit) {
    GLint drawFramebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    const bool topRowFirst = drawFramebuffer == 0;
    BrushViewport target = viewport;
    if (topRowFirst) target.Y = windowHeight - viewport.Y - viewport.Height;
    const PaintInputs inputs = {target,     windowWidth,        windowHeight, topRowFirst,
                                parameters, TextureSlotChanges, pixelsPerUnit};
    if (CacheHoldsPainting && SameInputs(inputs, Painted)) return true;
    CacheHoldsPainting = false;
    char reason[256];
    if (!SizeOffscreenTarget(&Cache, windowWidth, windowHeight, reason, sizeof reason)) return false;
    ClearOffscreenTarget(Cache);
    BrushPassRegion region = WholePictureRegion(target, topRowFirst);
    region.ReachWidth /= pixelsPerUnit;
    region.ReachHeight /= pixelsPerUnit;
    RunBrushPassOffscreen(Cache, region, parameters);
    Painted = inputs;
    CacheHoldsPainting = true;
    ++PaintCount;
    return true;
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

void PresentOriginalPicture(BrushViewport v) {
    if (!OriginalFramebuffer) glGenFramebuffers(1, &OriginalFramebuffer);
    const SavedGLState saved = BeginBlit(OriginalFramebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, DiffuseTexture, 0);
    // The texture's row 0 is the picture's top row, so the source runs from its last row up.
    glBlitFramebuffer(0, DiffuseHeight, DiffuseWidth, 0, v.X, v.Y, v.X + v.Width, v.Y + v.Height, GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
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
