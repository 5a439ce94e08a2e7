#include "render/brush_program.h"

#include "base/log.h"

static BrushProgram Brush = {0, -1, -1, -1, -1, 0, 0, 0};

// One corner a row: position (x, y), texture coordinate (u, v).
// clang-format off
static const float QuadVertices[16] = {
    -1.0f, 1.0f,  0.0f, 1.0f,
    -1.0f, -1.0f, 0.0f, 0.0f,
    1.0f,  -1.0f, 1.0f, 0.0f,
    1.0f,  1.0f,  1.0f, 1.0f,
};
// clang-format on
static const GLuint QuadIndices[6] = {0, 1, 2, 0, 3, 2};

// A shader's compile status or a program's link status; on failure the driver's log, read into
// 1024 bytes (so a longer one is cut at 1023 characters), goes with the line, and the run ends.
static void StopUnlessBuilt(GLuint object, GLenum status, void (*readStatus)(GLuint, GLenum, GLint*),
                            void (*readLog)(GLuint, GLsizei, GLsizei*, GLchar*), const char* failureText) {
    GLint built = 0;
    readStatus(object, status, &built);
    if (built != 0) return;
    char log[1024] = {};
    readLog(object, sizeof log, nullptr, log);
    LogFatal(failureText, log);
}

static void CompileShader(GLuint shader, const char* source, const char* failureText) {
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    StopUnlessBuilt(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, failureText);
}

void CreateBrushProgram(const char* vertexSource, const char* pixelSource) {
    glGenVertexArrays(1, &Brush.QuadVertexArray);
    glGenBuffers(1, &Brush.QuadVertexBuffer);
    glGenBuffers(1, &Brush.QuadIndexBuffer);
    glBindVertexArray(Brush.QuadVertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, Brush.QuadVertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof QuadVertices, QuadVertices, GL_STATIC_DRAW);
    // The element binding is recorded in the vertex array.
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, Brush.QuadIndexBuffer);
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

    Brush.Program = glCreateProgram();
    glAttachShader(Brush.Program, vertexShader);
    glAttachShader(Brush.Program, pixelShader);
    // The sources declare no layout qualifiers; the quad's attributes are fed to 0 and 1.
    glBindAttribLocation(Brush.Program, 0, "aPosition");
    glBindAttribLocation(Brush.Program, 1, "aTexCoord");
    glBindFragDataLocation(Brush.Program, 0, "OutputColor");
    glLinkProgram(Brush.Program);
    StopUnlessBuilt(Brush.Program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog,
                    "Failed to link brush shader program:\n");
    LogInfo("Created shader program");

    Brush.Resolution = glGetUniformLocation(Brush.Program, "uResolution");
    Brush.Opacity = glGetUniformLocation(Brush.Program, "uBrush.Opacity");
    Brush.StrokeCoeff = glGetUniformLocation(Brush.Program, "uBrush.StrokeCoeff");
    Brush.BackgroundCoeff = glGetUniformLocation(Brush.Program, "uBrush.BackgroundCoeff");
}

const BrushProgram& BrushProgramObjects() { return Brush; }

void SetBrushUniforms(float reachWidth, float reachHeight, const BrushProperties& parameters) {
    glUniform2f(Brush.Resolution, reachWidth, reachHeight);
    glUniform1f(Brush.Opacity, parameters.Opacity);
    glUniform1f(Brush.StrokeCoeff, parameters.StrokeCoeff);
    glUniform1f(Brush.BackgroundCoeff, parameters.BackgroundCoeff);
}

void DeleteBrushQuad() {
    glDeleteVertexArrays(1, &Brush.QuadVertexArray);
    glDeleteBuffers(1, &Brush.QuadVertexBuffer);
    glDeleteBuffers(1, &Brush.QuadIndexBuffer);
    // The names may be reused by the GL; nothing must delete them a second time.
    Brush.QuadVertexArray = Brush.QuadVertexBuffer = Brush.QuadIndexBuffer = 0;
}
