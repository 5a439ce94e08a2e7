#include "ui/zoom_input.h"

#include <cmath>
#include <cstdio>

#include <imgui.h>

#include "render/brush_filter.h"
#include "render/texture_slots.h"

namespace {

struct {
    Uint8 DragButton = 0;  // the button moving the picture, 0: none
    // The window as the latest event or frame saw it: where the menu's items zoom about.
    int WindowWidth = 0, WindowHeight = 0;
} Zoom;

bool HasPicture() { return DiffuseTexture != 0; }

void StepAbout(double steps, double x, double y) {
    PictureZoom =
        StepZoomView(PictureZoom, steps, x, y, Zoom.WindowWidth, Zoom.WindowHeight, DiffuseWidth, DiffuseHeight);
}

void StepAboutCentre(double steps) { StepAbout(steps, Zoom.WindowWidth * 0.5, Zoom.WindowHeight * 0.5); }

void ActualSize() {
    PictureZoom = ZoomViewAbout(PictureZoom, 1.0, Zoom.WindowWidth * 0.5, Zoom.WindowHeight * 0.5, Zoom.WindowWidth,
                                Zoom.WindowHeight, DiffuseWidth, DiffuseHeight);
}

bool TakeKey(const SDL_KeyboardEvent& key) {
    if (key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) return false;
    switch (key.keysym.scancode) {
    case SDL_SCANCODE_EQUALS:
    case SDL_SCANCODE_KP_PLUS: StepAboutCentre(1.0); return true;
    case SDL_SCANCODE_MINUS:
    case SDL_SCANCODE_KP_MINUS: StepAboutCentre(-1.0); return true;
    case SDL_SCANCODE_1:
    case SDL_SCANCODE_KP_1:
        if (!key.repeat) ActualSize();
        return true;
    case SDL_SCANCODE_0:
    case SDL_SCANCODE_KP_0: PictureZoom = FittedZoomView; return true;
    default: return false;
    }
}

}  // namespace

bool TakeZoomEvent(const SDL_Event& event, int windowWidth, int windowHeight, bool pointerOverInterface, bool typing) {
    Zoom.WindowWidth = windowWidth;
    Zoom.WindowHeight = windowHeight;
    // A button let go ends its drag wherever the pointer is, picture or none.
    if (event.type == SDL_MOUSEBUTTONUP && event.button.button == Zoom.DragButton) {
        Zoom.DragButton = 0;
        return true;
    }
    if (!HasPicture()) return false;
    switch (event.type) {
    case SDL_MOUSEWHEEL: {
        if (pointerOverInterface) return false;
        const float flip = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0f : 1.0f;
        const double steps = double(event.wheel.preciseY * flip);
        if (steps == 0.0) return false;
        StepAbout(steps, event.wheel.mouseX, event.wheel.mouseY);
        return true;
    }
    case SDL_MOUSEBUTTONDOWN:
        if (pointerOverInterface || Zoom.DragButton) return false;
        if (event.button.button != SDL_BUTTON_LEFT && event.button.button != SDL_BUTTON_MIDDLE) return false;
        Zoom.DragButton = event.button.button;
        return true;
    case SDL_MOUSEMOTION:
        if (!Zoom.DragButton) return false;
        PictureZoom = PanZoomView(PictureZoom, event.motion.xrel, event.motion.yrel, windowWidth, windowHeight,
                                  DiffuseWidth, DiffuseHeight);
        return true;
    case SDL_KEYDOWN: return !typing && TakeKey(event.key);
    default: return false;
    }
}

bool HandleZoomEvent(const SDL_Event& event, SDL_Window* window) {
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    // What the interface wanted as of the latest frame: the event has not reached it yet.
    const ImGuiIO& io = ImGui::GetIO();
    return TakeZoomEvent(event, width, height, io.WantCaptureMouse, io.WantTextInput);
}

bool ZoomDragging() { return Zoom.DragButton != 0; }

void DrawZoomMenuItems() {
    const bool picture = HasPicture();
    ImGui::Separator();
    if (ImGui::MenuItem("Zoom In", "+", false, picture)) StepAboutCentre(1.0);
    if (ImGui::MenuItem("Zoom Out", "-", false, picture)) StepAboutCentre(-1.0);
    if (ImGui::MenuItem("Zoom to 100 %", "1", false, picture)) ActualSize();
    if (ImGui::MenuItem("Fit to Window", "0", false, picture && !PictureZoom.Fitted)) PictureZoom = FittedZoomView;
}

void ZoomPercentText(double scale, char* text, int size) {
    const double percent = scale * 100.0;
    if (std::fabs(percent - std::round(percent)) < 0.05 || percent >= 1000.0)
        std::snprintf(text, size_t(size), "%.0f %%", percent);
    else std::snprintf(text, size_t(size), "%.1f %%", percent);
}

void DrawZoomIndicator(int windowWidth, int windowHeight) {
    Zoom.WindowWidth = windowWidth;
    Zoom.WindowHeight = windowHeight;
    if (!HasPicture() || PictureZoom.Fitted) return;
    char text[32];
    ZoomPercentText(PictureZoom.Scale, text, sizeof text);
    // On the background layer, as the canvas hint: over the picture, under every window.
    ImDrawList* layer = ImGui::GetBackgroundDrawList();
    const ImVec2 size = ImGui::CalcTextSize(text);
    const float pad = ImGui::GetStyle().FramePadding.x;
    const ImVec2 corner(float(windowWidth) - pad, float(windowHeight) - pad);
    const ImVec2 from(std::floor(corner.x - size.x - 2 * pad), std::floor(corner.y - size.y - pad));
    layer->AddRectFilled(from, corner, ImGui::GetColorU32(ImGuiCol_WindowBg, 0.8f), ImGui::GetStyle().FrameRounding);
    layer->AddText(ImVec2(from.x + pad, from.y + pad * 0.5f), ImGui::GetColorU32(ImGuiCol_Text), text);
}

void ResetZoomInput() {
    Zoom.DragButton = 0;
    PictureZoom = FittedZoomView;
}
