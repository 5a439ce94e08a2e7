#include "render/brush_filter.h"

#include "base/log.h"
#include "gl/gl_loader.h"
#include "render/brush_shaders.h"
#include "render/cached_preview.h"
#include "render/embedded_assets.h"
#include "render/full_size_painting.h"
#include "render/offscreen_pass.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"

BrushProperties BrushParameters = InitialBrushParameters;
bool CompareWithOriginal = false;
ZoomView PictureZoom = FittedZoomView;

// The window of the latest frame that had room to draw in; the export takes its brush reach
// from the fit of the picture into it.
static int LastWindowWidth = 0, LastWindowHeight = 0;
static float DisplayScale = 1.0f;

void SetDisplayScale(float pixelsPerUnit) { DisplayScale = pixelsPerUnit > 0.0f ? pixelsPerUnit : 1.0f; }

// The window in the desktop's logical units, which the reach is measured in.
static int Logical(int pixels) { return int(float(pixels) / DisplayScale + 0.5f); }

BrushViewport ComputeBrushViewport(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    // The import keeps the picture size positive; a zero here would divide by zero and turn
    // an infinite or NaN scale into an undefined integer conversion.
    if (pictureWidth <= 0 || pictureHeight <= 0) return BrushViewport{0, 0, 0, 0};
    const float scaleX = float(windowWidth) / float(pictureWidth);
    const float scaleY = float(windowHeight) / float(pictureHeight);
    const float scale = scaleY > scaleX ? scaleX : scaleY;
    const int drawnWidth = int(float(pictureWidth) * scale);
    const int drawnHeight = int(float(pictureHeight) * scale);
    BrushViewport viewport;
    viewport.X = int(float(windowWidth - drawnWidth) * 0.5f);
    viewport.Y = int(float(windowHeight - drawnHeight) * 0.5f);
    viewport.Width = drawnWidth;
    viewport.Height = drawnHeight;
    return viewport;
}

void InitBrushFilterWithSources(const char* vertexSource, const char* pixelSource) {
    CreateBrushProgram(vertexSource, pixelSource);

    // Written whatever the outcome of the load; a paper that failed to decode leaves the slot
    // empty, and an empty unit samples as black.
    LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);
    LogInfo("Loaded default filter texture");

    // Current from here on; the draw counts on finding both still current.
    const BrushProgram& brush = BrushProgramObjects();
    glUseProgram(brush.Program);
    glBindVertexArray(brush.QuadVertexArray);
    glUniform1i(glGetUniformLocation(brush.Program, "sTexture"), 0);
    glUniform1i(glGetUniformLocation(brush.Program, "sBackgroundTexture"), 1);
}

void InitBrushFilter() { InitBrushFilterWithSources(QuadVertexShaderSource, BrushPixelShaderSource); }

void DrawBrushFilter(int windowWidth, int windowHeight) {
    const BrushViewport fit = ComputeBrushViewport(windowWidth, windowHeight, DiffuseWidth, DiffuseHeight);
    const ZoomPlacement at = PlaceZoomView(PictureZoom, windowWidth, windowHeight, DiffuseWidth, DiffuseHeight);
    // The brush's reach is the fitted view's whatever the zoom: zooming changes what is seen, not
    // the painting.
    // In the desktop's logical units, so that the painting is the same at any interface scale.
    const PreviewView view = {BrushViewport{at.Left, windowHeight - at.Top - at.Height, at.Width, at.Height},
                              float(fit.Width) / DisplayScale, float(fit.Height) / DisplayScale,
                              !at.Fitted && at.Scale >= 1.0};
    BrushPassRegion visible = {};
    const bool inView = VisiblePictureRegion(view, windowWidth, windowHeight, false, &visible);
    const BrushViewport& viewport = inView ? visible.Viewport : fit;
    glViewport(viewport.X, viewport.Y, viewport.Width, viewport.Height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, FilterTexture);

    const bool drawsPicture = DiffuseTexture != 0 && inView && fit.Width > 0 && fit.Height > 0;
    if (drawsPicture) {
        LastWindowWidth = Logical(windowWidth);
        LastWindowHeight = Logical(windowHeight);
        // The cached window, bars and painting, covers every pixel: no clear.
        if (!CompareWithOriginal && PreviewCaching &&
            PaintPreviewView(view, windowWidth, windowHeight, BrushParameters)) {
            PresentPreview();
            return;
        }
    }

    // The clear ignores the viewport: it covers the whole window and paints the bars.
    glClear(GL_COLOR_BUFFER_BIT);
    if (drawsPicture && CompareWithOriginal) {
        PresentOriginalPicture(view.Drawn, view.FullSize);
        return;
    }
    // No picture: nothing to paint, the cleared area stays black. Otherwise the GL could not
    // hold the cache (or caching is off): the pass goes straight into the window.
    if (PreviewCaching && !drawsPicture) return;
    if (!at.Fitted && drawsPicture) {
        // Zoomed: the part in view, at the shown scale, upright as the window's own quad draws,
        // into whatever stands for the window.
        GLint drawFramebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        RunBrushPassOffscreen(OffscreenTarget{GLuint(drawFramebuffer), 0, windowWidth, windowHeight}, visible,
                              BrushParameters);
        return;
    }

    // The pixel unit follows the drawn size, not the picture's own size.
    SetBrushUniforms(float(viewport.Width) / DisplayScale, float(viewport.Height) / DisplayScale, BrushParameters);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
}

void BrushReachInWindow(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight, int* reachWidth,
                        int* reachHeight) {
    const BrushViewport viewport = ComputeBrushViewport(windowWidth, windowHeight, pictureWidth, pictureHeight);
    const bool drawn = viewport.Width > 0 && viewport.Height > 0;
    *reachWidth = drawn ? viewport.Width : pictureWidth;
    *reachHeight = drawn ? viewport.Height : pictureHeight;
}

void LastDrawnPictureSize(int* width, int* height) {
    BrushReachInWindow(LastWindowWidth, LastWindowHeight, DiffuseWidth, DiffuseHeight, width, height);
}

void ShutdownBrushFilter() {
    // What the cache and the offscreen passes made, before the objects they share.
    ShutdownCachedPreview();
    ShutdownFullSizePainting();
    ShutdownOffscreenPass();
    EmptyTextureSlots();
    DeleteBrushQuad();
}
