// ui_harness: drives the real interface code frame by frame without a window or GL.
// A UI context with the program's theme and font (atlas built, no texture), a display size,
// the mouse through ImGuiIO, the keyboard and the file chooser/loaders through UIServices.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <vector>

#include "filedialog/nfd.h"
#include "picture/png_jpeg_encoder.h"

struct ImportCall {
    std::string Path;
    bool Diffuse;
};

struct ExportCall {
    std::string Path;
    PictureFormat Format;
};

// What the fake chooser answers and what the fake loaders saw; reset for each test.
struct FakeServices {
    unsigned char Keys[SDL_NUM_SCANCODES];
    NFDResult Answer;
    std::string ChosenPath;
    std::string DialogError;
    std::string LoadFailure;   // empty: the import succeeds when it answers
    std::string StartFailure;  // not empty: the import cannot even start, for this reason
    bool HoldAnswer;           // the import keeps loading until the test clears this
    bool Loading;              // an import has started and neither answered nor been cancelled
    int Cancels;
    int ChooserCalls;
    std::string LastFilters;
    bool LastDefaultPathWasNull;
    std::vector<ImportCall> Loads;

    // The save chooser: what it answers, what it was asked.
    NFDResult SaveAnswer;
    std::string SaveChosenPath;
    int SaveCalls;
    std::string SaveFilters, SaveFolder, SaveName;  // "(null)" for a null argument
    std::vector<std::string> ExistingFiles;         // what the file-exists question finds
    // The export: started ones, and how the running one goes.
    std::vector<ExportCall> Exports;
    std::string ExportStartFailure;  // not empty: the export cannot start, for this reason
    std::string ExportFailure;       // not empty: the export ends failing, for this reason
    bool HoldExport;                 // the export keeps writing until the test clears this
    float ExportProgress;            // what a held export reports
    bool ExportRunning;
    int ExportWidth, ExportHeight;
    // The papers loaded while the caller waited (a look's): paths, "(built-in)" for the built-in
    // one; they fail with LoadFailure too.
    std::vector<std::string> PaperLoads;
    // The slots' textures: the name the last import put into its slot, and those deleted since.
    unsigned LastTexture;
    std::vector<unsigned> DeletedTextures;
};
extern FakeServices Fake;

class UITest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // One frame of the program's UI: NewFrame, DrawUI, Render.
    void Frame(int windowWidth = 800);
    void Frames(int count, int windowWidth = 800) {
        for (int i = 0; i < count; ++i) Frame(windowWidth);
    }

    void Key(SDL_Scancode key, bool down) { Fake.Keys[key] = down ? 1 : 0; }
    void MouseTo(ImVec2 position) { ImGui::GetIO().MousePos = position; }
    void MouseButton(bool down) { ImGui::GetIO().MouseDown[0] = down; }
    // Move, press (one frame), release (one frame).
    void Click(ImVec2 position);

    // The centre of a label on the main menu bar ("File", "Edit", "View", "About").
    ImVec2 MenuBarLabel(const char* label) const;
    // Opens a menu of the bar by clicking its label, and lets it appear.
    void OpenMenu(const char* label);
    // The open menu's popup window, or null.
    static ImGuiWindow* OpenMenuWindow();
    // The centre of row `row` (from 0) of the open menu.
    static ImVec2 MenuRow(int row);
    // Whether the mouse over row `row` of the open menu hovers the item `label` (one frame).
    bool MenuRowIs(int row, const char* label);
    // The same, and the item is enabled (a greyed-out item is hovered, but as disabled).
    bool MenuRowIsEnabled(int row, const char* label) {
        return MenuRowIs(row, label) && !ImGui::GetCurrentContext()->HoveredIdDisabled;
    }
    // The height of the main menu bar in the last frame.
    static float MenuBarHeight();
    // Whether a window (a popup by its title) is shown.
    static bool Shown(const char* window);
    // The buttons on the bottom row of a popup, left to right, each 5 font sizes wide.
    static ImVec2 PopupButton(const char* popup, int index);

    std::string Log() const;

    std::string ConfigHome;  // the test's XDG_CONFIG_HOME, removed after it

private:
    struct LabelRect {
        std::string Label;
        ImVec2 Min, Max;
    };
    std::vector<LabelRect> BarLabels;
    std::streambuf* SavedCerr = nullptr;
};

// A window of the current context by name, or null.
inline ImGuiWindow* WindowNamed(const char* name) { return ImGui::FindWindowByName(name); }
