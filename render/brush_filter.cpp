#include "render/brush_filter.h"

#include "base/log.h"
#include "gl/gl_loader.h"
#include "render/brush_shaders.h"
#include "render/cached_preview.h"
#include "render/embedded_assets.h"
#include "render/offscreen_pass.h"
#include "render/texture_import.h"

BrushProperties BrushParameters = InitialBrushParameters;
bool CompareWithOriginal = false;

static GLuint QuadVertexArray = 0;
static GLuint QuadVertexBuffer = 0;
static GLuint QuadIndexBuffer = 0;
static GLuint BrushProgram = 0;
static GLint ResolutionLocation = -1;
static GLint OpacityLocation = -1;
static GLint StrokeCoeffLocation = -1;
static GLint BackgroundCoeffLocation = -1;
// The window of the latest frame that had room to draw in; the export takes its brush reach
// from the fit of the picture into it.
static int LastWindowWidth = 0, LastWindowHeight = 0;

// Four corners, interleaved position (x, y) and texture coordinate (u, v): top-left,
// bottom-left, bottom-right, top-right of the viewport.
static const float QuadVertices[16] = {
    -1.0f, 1.0f,  0.0f, 1.0f,
    -1.0f, -1.0f, 0.0f, 0.0f,
    1.0f,  -1.0f, 1.0f, 0.0f,
    1.0f,  1.0f,  1.0f, 1.0f,
};
// The two triangles wind in opposite directions, so face culling must stay off.
static const GLuint QuadIndices[6] = {0, 1, 2, 0, 3, 2};

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

// The driver's log is read into 1024 bytes, so a longer one is cut at 1023 characters.
static void CompileShader(GLuint shader, const char* source, const char* failureText) {
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint CompilationStatus = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &CompilationStatus);
    if (CompilationStatus == 0) {
        char LogBuffer[1024] = {};
        glGetShaderInfoLog(shader, sizeof LogBuffer, nullptr, LogBuffer);
        LogFatal(failureText, LogBuffer);
    }
}

void InitBrushFilterWithSources(const char* vertexSource, const char* pixelSource) {
    glGenVertexArrays(1, &QuadVertexArray);
    glGenBuffers(1, &QuadVertexBuffer);
    glGenBuffers(1, &QuadIndexBuffer);
    glBindVertexArray(QuadVertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, QuadVertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof QuadVertices, QuadVertices, GL_STATIC_DRAW);
    // The element binding is recorded in the vertex array.
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, QuadIndexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof QuadIndices, QuadIndices, GL_STATIC_DRAW);
    const GLsizei stride = 4 * sizeof(float);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(2 * sizeof(float)));

    const GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    const GLuint pixelShader = glCreateShader(GL_FRAGMENT_SHADER);
    CompileShader(vertexShader, vertexSource, "Failed to compile quad vertex shader:\n");
    CompileShader(pixelShader, pixelSource, "Failed to compile brush pixel shader:\n");
    LogInfo("Compiled shaders");

    BrushProgram = glCreateProgram();
    glAttachShader(BrushProgram, vertexShader);
    glAttachShader(BrushProgram, pixelShader);
    // The sources declare no layout qualifiers; the quad's attributes are fed to 0 and 1.
    glBindAttribLocation(BrushProgram, 0, "aPosition");
    glBindAttribLocation(BrushProgram, 1, "aTexCoord");
    glBindFragDataLocation(BrushProgram, 0, "OutputColor");
    glLinkProgram(BrushProgram);
    GLint CompilationStatus = 0;
    glGetProgramiv(BrushProgram, GL_LINK_STATUS, &CompilationStatus);
    if (CompilationStatus == 0) {
        char LogBuffer[1024] = {};
        glGetProgramInfoLog(BrushProgram, sizeof LogBuffer, nullptr, LogBuffer);
        LogFatal("Failed to link brush shader program:\n", LogBuffer);
    }
    LogInfo("Created shader program");

    ResolutionLocation = glGetUniformLocation(BrushProgram, "uResolution");
    OpacityLocation = glGetUniformLocation(BrushProgram, "uBrush.Opacity");
    StrokeCoeffLocation = glGetUniformLocation(BrushProgram, "uBrush.StrokeCoeff");
    BackgroundCoeffLocation = glGetUniformLocation(BrushProgram, "uBrush.BackgroundCoeff");

    // Written whatever the outcome of the load; a paper that failed to decode leaves the slot
    // empty, and an empty unit samples as black.
    LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);
    LogInfo("Loaded default filter texture");

    // Current from here on; the draw counts on finding both still current.
    glUseProgram(BrushProgram);
    glBindVertexArray(QuadVertexArray);
    glUniform1i(glGetUniformLocation(BrushProgram, "sTexture"), 0);
    glUniform1i(glGetUniformLocation(BrushProgram, "sBackgroundTexture"), 1);
}

void InitBrushFilter() {
    InitBrushFilterWithSources(QuadVertexShaderSource, BrushPixelShaderSource);
}

void DrawBrushFilter(int windowWidth, int windowHeight) {
    const BrushViewport viewport = ComputeBrushViewport(windowWidth, windowHeight, DiffuseWidth, DiffuseHeight);
    glViewport(viewport.X, viewport.Y, viewport.Width, viewport.Height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, FilterTexture);

    const bool drawsPicture = DiffuseTexture != 0 && viewport.Width > 0 && viewport.Height > 0;
    if (drawsPicture) {
        LastWindowWidth = windowWidth;
        LastWindowHeight = windowHeight;
        // The cached window, bars and painting, covers every pixel: no clear.
        if (!CompareWithOriginal && PreviewCaching && PaintPreview(viewport, windowWidth, windowHeight)) {
            PresentPreview();
            return;
        }
    }

    // The clear ignores the viewport: it covers the whole window and paints the bars.
    glClear(GL_COLOR_BUFFER_BIT);
    if (drawsPicture && CompareWithOriginal) {
        PresentOriginalPicture(viewport);
        return;
    }
    // No picture: nothing to paint, the cleared area stays black. Otherwise the GL could not
    // hold the cache (or caching is off): the pass goes straight into the window.
    if (PreviewCaching && !drawsPicture) return;

    // The pixel unit follows the drawn size, not the picture's own size.
    glUniform2f(ResolutionLocation, float(viewport.Width), float(viewport.Height));
    glUniform1f(OpacityLocation, BrushParameters.Opacity);
    glUniform1f(StrokeCoeffLocation, BrushParameters.StrokeCoeff);
    glUniform1f(BackgroundCoeffLocation, BrushParameters.BackgroundCoeff);

    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
}

void LastDrawnPictureSize(int* width, int* height) {
    const BrushViewport viewport = ComputeBrushViewport(LastWindowWidth, LastWindowHeight, DiffuseWidth, DiffuseHeight);
    const bool drawn = viewport.Width > 0 && viewport.Height > 0;
    *width = drawn ? viewport.Width : DiffuseWidth;
    *height = drawn ? viewport.Height : DiffuseHeight;
}

BrushPassObjects BrushPassObjectsForOffscreen() {
    return BrushPassObjects{BrushProgram, ResolutionLocation, OpacityLocation, StrokeCoeffLocation,
                            BackgroundCoeffLocation, QuadIndexBuffer};
}

void ShutdownBrushFilter() {
    // What the cache and the offscreen passes made, before the objects they share.
    ShutdownCachedPreview();
    ShutdownOffscreenPass();
    glDeleteTextures(1, &DiffuseTexture);
    glDeleteTextures(1, &FilterTexture);
    glDeleteVertexArrays(1, &QuadVertexArray);
    glDeleteBuffers(1, &QuadVertexBuffer);
    glDeleteBuffers(1, &QuadIndexBuffer);
    // The names may be reused by the GL; nothing must delete them a second time.
    DiffuseTexture = 0;
    FilterTexture = 0;
    ++TextureSlotChanges;
    QuadVertexArray = QuadVertexBuffer = QuadIndexBuffer = 0;
}
