#include "ui_harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <iostream>
#include <sstream>

#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/texture_slots.h"
#include "ui/about_window.h"
#include "ui/draw_ui.h"
#include "ui/edit_commands.h"
#include "ui/export_command.h"
#include "ui/import_command.h"
#include "ui/kept_settings.h"
#include "ui/look_picker.h"
#include "ui/theme.h"
#include "ui/tool_windows.h"
#include "ui/ui_services.h"
#include "ui/ui_state.h"
#include "ui/way_out.h"

FakeServices Fake;

namespace {

std::ostringstream CapturedLog;

const unsigned char* FakeKeyboard() { return Fake.Keys; }

NFDResult FakeOpenFile(const char* filters, const char* defaultPath, char** chosenPath) {
    ++Fake.ChooserCalls;
    Fake.LastFilters = filters ? filters : "(null)";
    Fake.LastDefaultPathWasNull = defaultPath == nullptr;
    // The caller frees the path: a leak or a double free shows under the sanitizers.
    if (Fake.Answer == NFD_RESULT_OK) *chosenPath = strdup(Fake.ChosenPath.c_str());
    return Fake.Answer;
}

const char* FakeDialogError() { return Fake.DialogError.c_str(); }

void Outcome(ImportOutcome* outcome, const std::string& failure) {
    outcome->Done = failure.empty();
    snprintf(outcome->Reason, sizeof outcome->Reason, "%s", failure.c_str());
}

bool FakeStartImport(TextureSlot slot, const char* path, ImportOutcome* outcome) {
    Fake.Loads.push_back(ImportCall{path, slot == TEXTURE_SLOT_DIFFUSE});
    Outcome(outcome, Fake.StartFailure);
    Fake.Loading = Fake.StartFailure.empty();
    return Fake.Loading;
}

bool FakeFinishImport(ImportOutcome* outcome) {
    if (!Fake.Loading || Fake.HoldAnswer) return false;
    Fake.Loading = false;
    Outcome(outcome, Fake.LoadFailure);
    // As the real import ends: a new texture in the slot, the one it replaces deleted unless held.
    // (An import an earlier test left loading has no call of this test's.)
    if (outcome->Done && !Fake.Loads.empty()) {
        const TextureSlot slot = Fake.Loads.back().Diffuse ? TEXTURE_SLOT_DIFFUSE : TEXTURE_SLOT_FILTER;
        SetTextureSlot(slot, ++Fake.LastTexture, 64, 48);
    }
    return true;
}

// The slots' GL: the only call the interface's code reaches through them.
void APIENTRY FakeDeleteTextures(GLsizei count, const GLuint* textures) {
    for (GLsizei i = 0; i < count; ++i) Fake.DeletedTextures.push_back(textures[i]);
}

void FakeCancelImport() {
    ++Fake.Cancels;
    Fake.Loading = false;
}

NFDResult FakeSaveFileAs(const char* filters, const char* defaultPath, const char* defaultName, char** chosenPath) {
    ++Fake.SaveCalls;
    Fake.SaveFilters = filters ? filters : "(null)";
    Fake.SaveFolder = defaultPath ? defaultPath : "(null)";
    Fake.SaveName = defaultName ? defaultName : "(null)";
    if (Fake.SaveAnswer == NFD_RESULT_OK) *chosenPath = strdup(Fake.SaveChosenPath.c_str());
    return Fake.SaveAnswer;
}

bool FakeFileExists(const char* path) {
    for (const std::string& existing : Fake.ExistingFiles)
        if (existing == path) return true;
    return false;
}

void Outcome(ExportOutcome* outcome, const std::string& failure) {
    outcome->Done = failure.empty();
    outcome->Width = Fake.ExportWidth;
    outcome->Height = Fake.ExportHeight;
    snprintf(outcome->Reason, sizeof outcome->Reason, "%s", failure.c_str());
}

bool FakeStartExport(const char* path, PictureFormat format, ExportOutcome* outcome) {
    Fake.Exports.push_back(ExportCall{path, format});
    Outcome(outcome, Fake.ExportStartFailure);
    Fake.ExportRunning = Fake.ExportStartFailure.empty();
    return Fake.ExportRunning;
}

bool FakeFinishExport(ExportOutcome* outcome, float* progress) {
    if (!Fake.ExportRunning) return false;
    if (Fake.HoldExport) {
        *progress = Fake.ExportProgress;
        return false;
    }
    Fake.ExportRunning = false;
    Outcome(outcome, Fake.ExportFailure);
    return true;
}

ImportOutcome FakeLoadPaperNow(const char* path) {
    Fake.PaperLoads.push_back(path ? path : "(built-in)");
    ImportOutcome outcome;
    outcome.Done = Fake.LoadFailure.empty();
    snprintf(outcome.Reason, sizeof outcome.Reason, "%s", Fake.LoadFailure.c_str());
    return outcome;
}

}  // namespace

void UITest::SetUp() {
    Fake = FakeServices();  // all keys up, nothing called yet
    Fake.Answer = NFD_RESULT_CANCELLED;
    Fake.SaveAnswer = NFD_RESULT_CANCELLED;
    Fake.ExportWidth = 6000;
    Fake.ExportHeight = 4000;
    UIServices = UIServiceTable{FakeKeyboard,     FakeOpenFile,     FakeDialogError, FakeStartImport,
                                FakeFinishImport, FakeCancelImport, FakeSaveFileAs,  FakeFileExists,
                                FakeStartExport,  FakeFinishExport, FakeLoadPaperNow};
    ResetExportCommand();
    ResetWayOut();
    GLEntryPoints[GLSlot_glDeleteTextures] = reinterpret_cast<void*>(FakeDeleteTextures);
    ForgetEdits();
    EmptyTextureSlots();
    Fake.DeletedTextures.clear();
    ShowAbout = false;
    // Looks are read and written in a configuration folder of the test's own; nothing is kept.
    char folder[] = "/tmp/vellumry-ui-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ConfigHome = folder;
    setenv("XDG_CONFIG_HOME", folder, 1);
    LoadKeptSettings(false);
    ResetLookPicker();

    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no layout file from tests
    io.DisplaySize = ImVec2(800, 600);
    io.DeltaTime = 1.0f / 60;
    SetupUIStyle(true, 1.0f / 3);
    LoadUIFont();
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);

    BrushParameters = BrushProperties{1.0f, 1.0f / 3, 1.0f / 3};
    TexturesWindowWidth = 0;
    // One frame with no key down clears the remembered key states of an earlier test, and lets an
    // import an earlier test left loading end.
    Fake.Loading = ImportInProgress() != nullptr;
    Frame();

    // The bar's labels, measured by submitting the same bar once (nothing is open yet).
    ImGui::NewFrame();
    ImGui::BeginMainMenuBar();
    for (const char* label : {"File", "Edit", "View", "About"}) {
        const bool open = ImGui::BeginMenu(label);
        BarLabels.push_back(LabelRect{label, ImGui::GetItemRectMin(), ImGui::GetItemRectMax()});
        if (open) ImGui::EndMenu();
    }
    ImGui::EndMainMenuBar();
    ImGui::Render();

    ShowOptions = false;
    ShowTextures = false;
    CapturedLog.str("");
    SavedCerr = std::cerr.rdbuf(CapturedLog.rdbuf());
}

void UITest::TearDown() {
    std::cerr.rdbuf(SavedCerr);
    unsetenv("XDG_CONFIG_HOME");
    if (system(("rm -rf '" + ConfigHome + "'").c_str()) != 0) ADD_FAILURE() << "could not remove " << ConfigHome;
    ImGui::DestroyContext();
    UIServices = DefaultUIServices();
}

void UITest::Frame(int windowWidth) {
    ImGui::GetIO().DisplaySize = ImVec2(static_cast<float>(windowWidth), 600);
    ImGui::NewFrame();
    DrawUI(windowWidth);
    ImGui::Render();
}

void UITest::Click(ImVec2 position) {
    MouseTo(position);
    Frame();
    MouseButton(true);
    Frame();
    MouseButton(false);
    Frame();
}

ImVec2 UITest::MenuBarLabel(const char* label) const {
    for (const LabelRect& r : BarLabels)
        if (r.Label == label) return ImVec2((r.Min.x + r.Max.x) * 0.5f, (r.Min.y + r.Max.y) * 0.5f);
    ADD_FAILURE() << "no label " << label << " on the bar";
    return ImVec2(-1, -1);
}

void UITest::OpenMenu(const char* label) {
    Click(MenuBarLabel(label));
    Frame();  // a new popup is measured in its first frame and shown from the next
    ASSERT_NE(OpenMenuWindow(), nullptr) << label << " did not open";
}

ImGuiWindow* UITest::OpenMenuWindow() {
    ImGuiWindow* window = WindowNamed("##Menu_00");
    return window && window->Active ? window : nullptr;
}

ImVec2 UITest::MenuRow(int row) {
    ImGuiWindow* menu = OpenMenuWindow();
    if (!menu) return ImVec2(-1, -1);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float pitch = ImGui::GetFontSize() + style.ItemSpacing.y;
    return ImVec2(menu->Pos.x + style.WindowPadding.x + 10,
                  menu->Pos.y + style.WindowPadding.y + pitch * row + ImGui::GetFontSize() * 0.5f);
}

bool UITest::MenuRowIs(int row, const char* label) {
    ImGuiWindow* menu = OpenMenuWindow();
    if (!menu) return false;
    MouseTo(MenuRow(row));
    Frame();
    return ImGui::GetCurrentContext()->HoveredId == ImHashStr(label, 0, menu->ID);
}

float UITest::MenuBarHeight() {
    ImGuiWindow* bar = WindowNamed("##MainMenuBar");
    return bar ? bar->Size.y : -1;
}

bool UITest::Shown(const char* window) {
    ImGuiWindow* found = WindowNamed(window);
    return found && found->Active;
}

ImVec2 UITest::PopupButton(const char* popup, int index) {
    ImGuiWindow* window = WindowNamed(popup);
    if (!window) return ImVec2(-1, -1);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float width = ImGui::GetFontSize() * 5.0f;
    return ImVec2(window->Pos.x + style.WindowPadding.x + (width + style.ItemSpacing.x) * index + width * 0.5f,
                  window->Pos.y + window->Size.y - style.WindowPadding.y - ImGui::GetFrameHeight() * 0.5f);
}

std::string UITest::Log() const { return CapturedLog.str(); }
