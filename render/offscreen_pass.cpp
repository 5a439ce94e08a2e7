#include "render/offscreen_pass.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <vector>

#include "render/gl_state.h"
#include "render/texture_slots.h"

int OffscreenTileLimit = 256;

// The passes' own quad: the same corners and indices as the window's quad, with texture
// coordinates written for each region.
static GLuint PassVertexArray = 0;
static GLuint PassVertexBuffer = 0;
// The tiled renders begun and not ended: the shutdown takes their targets.
static std::vector<TiledRender*> RunningRenders;

namespace {

// Errors left by others must not be taken for ours.
void ClearGLErrors() {
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
}

void DescribeGLError(GLenum error, const char* doing, char* reason, size_t reasonSize) {
    if (error == GL_OUT_OF_MEMORY) snprintf(reason, reasonSize, "the graphics driver ran out of memory %s", doing);
    else snprintf(reason, reasonSize, "the graphics driver failed %s (GL error 0x%04x)", doing, error);
}

}  // namespace

bool SizeOffscreenTarget(OffscreenTarget* target, int width, int height, char* reason, size_t reasonSize) {
    if (target->Texture && target->Framebuffer && target->Width == width && target->Height == height) return true;
    GLint largestTexture = 0, largestViewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    if (width <= 0 || height <= 0 || width > largestTexture || height > largestTexture || width > largestViewport[0] ||
        height > largestViewport[1]) {
        DeleteOffscreenTarget(target);
        snprintf(reason, reasonSize, "the graphics driver cannot draw into a %d x %d target", width, height);
        return false;
    }

    ClearGLErrors();
    const SavedGLState saved = SaveGLState(SAVE_TEXTURES | SAVE_DRAW_FRAMEBUFFER);
    glActiveTexture(GL_TEXTURE0);
    if (!target->Texture) glGenTextures(1, &target->Texture);
    glBindTexture(GL_TEXTURE_2D, target->Texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // 8-bit RGBA, specified as BGRA bytes: a GL free to choose the byte order (an unsized
    // format) takes the one of common window buffers, and copying the painting into the window
    // is then a plain memory copy instead of a pass over every pixel.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);

    if (!target->Framebuffer) glGenFramebuffers(1, &target->Framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target->Framebuffer);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target->Texture, 0);
    const GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
    RestoreGLState(saved);

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR || status != GL_FRAMEBUFFER_COMPLETE) {
        DeleteOffscreenTarget(target);
        if (error != GL_NO_ERROR) {
            char doing[96];
            snprintf(doing, sizeof doing, "making a %d x %d target", width, height);
            DescribeGLError(error, doing, reason, reasonSize);
        } else {
            snprintf(reason, reasonSize, "the graphics driver cannot draw into a %d x %d texture (status 0x%04x)",
                     width, height, status);
        }
        return false;
    }
    target->Width = width;
    target->Height = height;
    return true;
}

void DeleteOffscreenTarget(OffscreenTarget* target) {
    // Deleted while no framebuffer of ours is bound, so nothing else is detached by it.
    if (target->Framebuffer) glDeleteFramebuffers(1, &target->Framebuffer);
    if (target->Texture) glDeleteTextures(1, &target->Texture);
    *target = OffscreenTarget{};
}

void ClearOffscreenTarget(const OffscreenTarget& target) {
    const SavedGLState saved =
        SaveGLState(SAVE_DRAW_FRAMEBUFFER | SAVE_SCISSOR_TEST | SAVE_COLOR_MASK | SAVE_CLEAR_COLOR);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target.Framebuffer);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    RestoreGLState(saved);
}

BrushPassRegion WholePictureRegion(BrushViewport viewport, bool topRowFirst) {
    BrushPassRegion region;
    region.Viewport = viewport;
    region.PictureLeft = region.PictureTop = 0.0f;
    region.PictureRight = region.PictureBottom = 1.0f;
    region.ReachWidth = float(viewport.Width);
    region.ReachHeight = float(viewport.Height);
    region.TopRowFirst = topRowFirst;
    region.PictureTexture = DiffuseTexture;
    region.PaperTexture = FilterTexture;
    return region;
}

void RunBrushPassOffscreen(const OffscreenTarget& target, const BrushPassRegion& region,
                           const BrushProperties& parameters) {
    const BrushProgram& brush = BrushProgramObjects();
    const SavedGLState saved =
        SaveGLState(SAVE_DRAW_FRAMEBUFFER | SAVE_READ_FRAMEBUFFER | SAVE_VIEWPORT | SAVE_PROGRAM | SAVE_VERTEX_ARRAY |
                    SAVE_TEXTURES | SAVE_SCISSOR_TEST | SAVE_BLEND_DEPTH_CULL | SAVE_COLOR_MASK);

    if (!PassVertexArray) {
        glGenVertexArrays(1, &PassVertexArray);
        glGenBuffers(1, &PassVertexBuffer);
        glBindVertexArray(PassVertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, PassVertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, 16 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, brush.QuadIndexBuffer);
        const GLsizei stride = 4 * sizeof(float);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(2 * sizeof(float)));
    }
    // The window quad's corners in the same order; its texture coordinate v is 1 - picture y.
    // For the whole picture these are the window quad's own values, bit for bit. Upside down,
    // only the corners' y is mirrored: a GL that keeps a window top row first maps the mirrored
    // corners to the very raster positions, with the same values, as the window's quad.
    const float left = region.PictureLeft, right = region.PictureRight;
    const float top = 1.0f - region.PictureTop, bottom = 1.0f - region.PictureBottom;
    const float y = region.TopRowFirst ? -1.0f : 1.0f;
    // clang-format off
    const float vertices[16] = {
        -1.0f, y,  left,  top,
        -1.0f, -y, left,  bottom,
        1.0f,  -y, right, bottom,
        1.0f,  y,  right, top,
    };
    // clang-format on
    glBindVertexArray(PassVertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, PassVertexBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices);

    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target.Framebuffer);
    glViewport(region.Viewport.X, region.Viewport.Y, region.Viewport.Width, region.Viewport.Height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glUseProgram(brush.Program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, region.PictureTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, region.PaperTexture);
    SetBrushUniforms(region.ReachWidth, region.ReachHeight, parameters);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);

    RestoreGLState(saved);
}

// The largest side of one tile: what the GL can draw into at once, and no more than the limit.
static void TileSize(int* width, int* height) {
    GLint largestTexture = 0, largestRenderbuffer = 0, largestViewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    int side = OffscreenTileLimit > 0 ? OffscreenTileLimit : 256;
    for (GLint limit : {largestTexture, largestRenderbuffer})
        if (limit > 0 && limit < side) side = limit;
    *width = largestViewport[0] > 0 && largestViewport[0] < side ? largestViewport[0] : side;
    *height = largestViewport[1] > 0 && largestViewport[1] < side ? largestViewport[1] : side;
}

void PictureTileSize(int width, int height, int* tileWidth, int* tileHeight) {
    TileSize(tileWidth, tileHeight);
    if (*tileWidth > width) *tileWidth = width;
    if (*tileHeight > height) *tileHeight = height;
}

BrushPassRegion PictureTileRegion(int width, int height, int left, int top, int tileWidth, int tileHeight,
                                  float reachWidth, float reachHeight, GLuint picture, GLuint paper) {
    BrushPassRegion region;
    region.Viewport = BrushViewport{0, 0, tileWidth, tileHeight};
    region.PictureLeft = float(double(left) / width);
    region.PictureTop = float(double(top) / height);
    region.PictureRight = float(double(left + tileWidth) / width);
    region.PictureBottom = float(double(top + tileHeight) / height);
    region.ReachWidth = reachWidth;
    region.ReachHeight = reachHeight;
    region.TopRowFirst = true;
    region.PictureTexture = picture;
    region.PaperTexture = paper;
    return region;
}

static double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool BeginTiledRender(TiledRender* render, int width, int height, float reachWidth, float reachHeight,
                      const BrushProperties& parameters, GLuint picture, GLuint paper, unsigned char* rgb, size_t size,
                      char* reason, size_t reasonSize) {
    *render = TiledRender{};
    if (!picture) {
        snprintf(reason, reasonSize, "no picture has been imported");
        return false;
    }
    if (width <= 0 || height <= 0 || !(reachWidth > 0.0f) || !(reachHeight > 0.0f)) {
        snprintf(reason, reasonSize, "nothing to render at %d x %d", width, height);
        return false;
    }
    const size_t needed = size_t(width) * size_t(height) * 3;
    if (!rgb || size < needed) {
        snprintf(reason, reasonSize, "the %d x %d picture needs %zu bytes, the buffer holds %zu", width, height, needed,
                 rgb ? size : size_t(0));
        return false;
    }
    int tileWidth = 0, tileHeight = 0;
    PictureTileSize(width, height, &tileWidth, &tileHeight);
    if (!SizeOffscreenTarget(&render->Target, tileWidth, tileHeight, reason, reasonSize)) return false;
    render->Width = width;
    render->Height = height;
    render->ReachWidth = reachWidth;
    render->ReachHeight = reachHeight;
    render->Parameters = parameters;
    render->Picture = picture;
    render->Paper = paper;
    render->Rgb = rgb;
    render->TileWidth = tileWidth;
    render->TileHeight = tileHeight;
    render->Columns = (width + tileWidth - 1) / tileWidth;
    render->Tiles = render->Columns * ((height + tileHeight - 1) / tileHeight);
    if (std::find(RunningRenders.begin(), RunningRenders.end(), render) == RunningRenders.end())
        RunningRenders.push_back(render);
    return true;
}

// The read framebuffer and the pack settings are put back here; the pass puts back the rest.
RenderStep StepTiledRender(TiledRender* render, double budgetMilliseconds, char* reason, size_t reasonSize) {
    if (!render->Target.Framebuffer) {
        snprintf(reason, reasonSize, "the render was ended before it was complete");
        return RENDER_FAILED;
    }
    if (render->TilesDone >= render->Tiles) return RENDER_DONE;
    const auto start = std::chrono::steady_clock::now();

    const SavedGLState saved = SaveGLState(SAVE_READ_FRAMEBUFFER | SAVE_PACK);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, render->Target.Framebuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    // Each tile's rows land in place in the picture's rows: tight RGB rows of the full width.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, render->Width);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);

    // What the frames in between left is not ours.
    ClearGLErrors();
    GLenum error = GL_NO_ERROR;
    while (render->TilesDone < render->Tiles) {
        const double tileStart = MillisecondsSince(start);
        const int width = render->Width, height = render->Height;
        const int tileLeft = (render->TilesDone % render->Columns) * render->TileWidth;
        const int tileTop = (render->TilesDone / render->Columns) * render->TileHeight;
        const int w = width - tileLeft < render->TileWidth ? width - tileLeft : render->TileWidth;
        const int h = height - tileTop < render->TileHeight ? height - tileTop : render->TileHeight;
        // Upside down, so that the target's row 0 is the tile's top row and the read-back
        // comes out top row first.
        const BrushPassRegion region = PictureTileRegion(width, height, tileLeft, tileTop, w, h, render->ReachWidth,
                                                         render->ReachHeight, render->Picture, render->Paper);
        RunBrushPassOffscreen(render->Target, region, render->Parameters);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, render->Rgb + (size_t(tileTop) * width + tileLeft) * 3);
        error = glGetError();
        if (error != GL_NO_ERROR) break;
        ++render->TilesDone;
        render->PixelsDone += double(w) * h;
        // The read-back waited for the tile: this is what it took.
        const double now = MillisecondsSince(start);
        if (now + (now - tileStart) > budgetMilliseconds) break;
    }

    RestoreGLState(saved);
    if (error != GL_NO_ERROR) {
        char doing[96];
        snprintf(doing, sizeof doing, "rendering the %d x %d picture", render->Width, render->Height);
        DescribeGLError(error, doing, reason, reasonSize);
        return RENDER_FAILED;
    }
    return render->TilesDone >= render->Tiles ? RENDER_DONE : RENDER_RUNNING;
}

float TiledRenderShare(const TiledRender& render) {
    if (render.TilesDone >= render.Tiles) return 1.0f;
    return float(render.PixelsDone / (double(render.Width) * render.Height));
}

void EndTiledRender(TiledRender* render) {
    RunningRenders.erase(std::remove(RunningRenders.begin(), RunningRenders.end(), render), RunningRenders.end());
    DeleteOffscreenTarget(&render->Target);
}

bool RenderBrushPassRGB(int width, int height, float reachWidth, float reachHeight, const BrushProperties& parameters,
                        unsigned char* rgb, size_t size, char* reason, size_t reasonSize) {
    TiledRender render = {};
    if (!BeginTiledRender(&render, width, height, reachWidth, reachHeight, parameters, DiffuseTexture, FilterTexture,
                          rgb, size, reason, reasonSize))
        return false;
    const RenderStep step = StepTiledRender(&render, std::numeric_limits<double>::infinity(), reason, reasonSize);
    EndTiledRender(&render);
    return step == RENDER_DONE;
}

void ShutdownOffscreenPass() {
    // A render still in steps: its target goes, and its next step says so.
    for (TiledRender* render : RunningRenders) DeleteOffscreenTarget(&render->Target);
    RunningRenders.clear();
    if (PassVertexArray) glDeleteVertexArrays(1, &PassVertexArray);
    if (PassVertexBuffer) glDeleteBuffers(1, &PassVertexBuffer);
    PassVertexArray = PassVertexBuffer = 0;
}
