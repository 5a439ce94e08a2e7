// Vellumry: shows a picture as if painted with a brush on textured paper.
// One window, one OpenGL context, one thread for all of them: start-up, the frame loop,
// shutdown. (An export writes its file on a worker thread of its own, which touches none.)
// With --paint it paints pictures into files and opens no window (app/paint_batch.h).
#include <signal.h>

#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "app/command_line.h"
#include "app/desktop_scale.h"
#include "app/frame_pacing.h"
#include "app/frame_probe.h"
#include "app/paint_batch.h"
#include "base/log.h"
#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/texture_import.h"
#include "ui/canvas_hint.h"
#include "ui/draw_ui.h"
#include "ui/drop_import.h"
#include "ui/import_command.h"
#include "ui/kept_settings.h"
#include "ui/theme.h"
#include "ui/way_out.h"
#include "ui/zoom_input.h"

// glGetString answers null without a current context; the line then has an empty detail.
static const char* GLText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// The interface's size as it was last set: the desktop's scale and the drawable's pixels per
// window unit; and the scale the window's size was last made for.
static float UIScaleSet = 1.0f, FramebufferScaleSet = 1.0f, WindowScale = 1.0f;

// Between frames: follows the desktop's scale (the window moved to a monitor of another scale)
// and the drawable's. A new desktop scale resizes the window with it, so that it keeps its size
// in logical units. At 100 % nothing is done, and the interface is exactly as it always was.
static void FollowDesktopScale(SDL_Window* window, float startScale) {
    const float scale = WindowDesktopScale(window, startScale);
    const float framebuffer = FramebufferScale(window);
    if (scale != WindowScale) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        SDL_SetWindowSize(window, int(float(w) * scale / WindowScale + 0.5f),
                          int(float(h) * scale / WindowScale + 0.5f));
        WindowScale = scale;
    }
    if (scale == UIScaleSet && framebuffer == FramebufferScaleSet) return;
    if (scale != UIScaleSet) {
        char percent[32];
        SDL_snprintf(percent, sizeof percent, "%d %%", int(scale * 100.0f + 0.5f));
        LogInfo("Interface scale: ", percent);
    }
    UIScaleSet = scale;
    FramebufferScaleSet = framebuffer;
    ScaleUI(scale, framebuffer);
    ImGui_ImplOpenGL3_DestroyFontsTexture();
    ImGui_ImplOpenGL3_CreateFontsTexture();
    SetDisplayScale(scale * framebuffer);
}

int main(int argc, char** argv) {
    // Command line: --help, --version and mistakes are answered without opening a window
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    // --paint: the pictures painted and written, and no window
    if (commandLine.Action == COMMAND_LINE_PAINT) return PaintPictures(commandLine.Paint, stderr);
    if (commandLine.Action != COMMAND_LINE_RUN) return AnswerCommandLine(commandLine, stdout, stderr);
#ifdef SIGXFSZ
    // A file-size limit then fails the export's write with "File too large" instead of ending
    // the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
    // A log whose reader has gone (`vellumry 2>&1 | head -c1`) loses its lines, not the program.
    signal(SIGPIPE, SIG_IGN);
#endif

    // What the last run kept (nothing with --no-settings), then the platform, the window where
    // it was left and the OpenGL context
    LoadKeptSettings(!commandLine.NoSettings);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) LogFatal("Failed to initialize platform");
    // The first window is 800 x 600 in the desktop's logical units: in real pixels where the
    // window's size is (X11, Windows); a high-density drawable does the rest where it is not
    // (Wayland). A kept window comes back as it was left.
    const float startScale = StartDesktopScale();
    int windowX = 0, windowY = 0, windowW = 0, windowH = 0;
    PlaceNewWindow(startScale, &windowX, &windowY, &windowW, &windowH);
    SDL_Window* window =
        SDL_CreateWindow("Vellumry", windowX, windowY, windowW, windowH,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window) LogFatal("Failed to create platform window");
    ShowWindowAsKept(window);
    WindowScale = startScale;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) LogFatal("Failed to create OpenGL context: ", SDL_GetError());

    // Made after the window and context exist, these change neither: the platform's default
    // context already gives what the program needs (GL 3.x, GLSL 1.40/1.50, double buffering).
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, 32);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 4);

    // OpenGL entry points
    switch (LoadGLEntryPoints()) {
    case GL_LOADER_NO_LIBRARY: LogFatal("Failed to load the OpenGL library");
    case GL_LOADER_NO_VERSION_QUERY: LogFatal("Failed to load OpenGL entry points: no glGetIntegerv");
    case GL_LOADER_OLD_VERSION: LogFatal("OpenGL 3.0 or later is required, the context is: ", GLText(GL_VERSION));
    default: break;
    }
    LogInfo("OpenGL version: ", GLText(GL_VERSION));
    LogInfo("OpenGL vendor: ", GLText(GL_VENDOR));
    LogInfo("OpenGL renderer: ", GLText(GL_RENDERER));
    LogInfo("Shader model: ", GLText(GL_SHADING_LANGUAGE_VERSION));

    // User interface library and its SDL2 + OpenGL 3 binding, the theme and the font
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui_ImplSDL2_InitForOpenGL(window, context);
    ImGui_ImplOpenGL3_Init("#version 150");
    SetupUIStyle(true, 1.0f / 3);
    LoadUIFont();

    // Renderer: the brush program, its quad and the default paper; then the tests' frame probe
    InitBrushFilter();
    StartFrameProbe();

    // The layout, the look and the windows shown as the last run left them
    RestoreKeptSettings();

    // A picture named on the command line comes in as if chosen through "Import Texture"
    if (commandLine.Picture) ImportPictureFile(commandLine.Picture);

    // Frame loop
    bool running = true;
    int settleFramesLeft = SettleFrames;
    while (running) {
        // Rest while nothing changes: the next frame waits for an event (app/frame_pacing.h)
        const FrameActivity activity = ReadFrameActivity(settleFramesLeft);
        WaitForFrame(ChooseFramePace(activity));

        // Events: the UI's, the window's close (which waits for an export's file), drops, the
        // zoom's wheel, drags and keys, the probe's requests
        SDL_Event Event;
        bool anyEvent = false;
        while (SDL_PollEvent(&Event)) {
            anyEvent = true;
            ImGui_ImplSDL2_ProcessEvent(&Event);
            if (Event.type == SDL_QUIT) RequestClose();
            if (!HandleDropEvent(Event, window) && !TakeProbeEvent(Event)) HandleZoomEvent(Event, window);
        }
        FollowDesktopScale(window, startScale);
        const bool owed = anyEvent || FrameActivityBusy(activity);
        settleFramesLeft = owed ? SettleFrames : settleFramesLeft > 0 ? settleFramesLeft - 1 : 0;
        // The interface in window units, the picture in the drawable's real pixels.
        int ViewportW = 0, ViewportH = 0, DrawableW = 0, DrawableH = 0;
        SDL_GetWindowSize(window, &ViewportW, &ViewportH);
        SDL_GL_GetDrawableSize(window, &DrawableW, &DrawableH);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();

        // The picture (painted only when something changed), the interface and the empty
        // canvas's hint over it, the swap
        DrawBrushFilter(DrawableW, DrawableH);
        DrawUI(ViewportW);
        DrawCanvasHint(ViewportW, ViewportH);
        DrawZoomIndicator(ViewportW, ViewportH);
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        SDL_GL_SwapWindow(window);
        ProbeFrame(DrawableW, DrawableH);
        KeepSettings(window);
        // A close ends the loop after the frame it came in, or, while an export writes its
        // file, after the frame in which the file is in place.
        if (CloseDue()) running = false;
    }

    // Shutdown
    SaveKeptSettings();
    EndTextureImports();  // a picture still decoding: its helper is ended and reaped
    ShutdownBrushFilter();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
