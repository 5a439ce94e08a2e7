// main_menu: the interface's per-frame step: the main menu bar, the keyboard shortcuts, the
// import and export commands, the import that arrives, then the tool windows, the loading
// indicator, the export's strip (ui/export_command.h) and the notice (ui/import_notice.h).
//
//   DrawUI(windowWidth);   // every frame, inside the UI frame, after the picture is drawn
//   ImportPictureFile(path);   // a picture named outside the menus: the command line, a drop
//
// The bar holds "File" (Import Texture, Import Filter, Export Picture..., Exit), "View"
// (Show/Hide Options, Show/Hide Textures) and "About". "Export Picture..." is greyed out until a
// picture has been imported. Shortcuts are read from the raw keyboard by key position
// (scancode), so they act whatever the layout and whether or not a UI field has focus:
//   V              on release: toggles the Options window (through its menu item while the
//                  View menu is open, so one release toggles once)
//   left Ctrl + O  when the pair becomes complete, while the File menu is closed: imports a
//                  picture; a pair that completes while the menu is open is never acted on.
//                  Right Ctrl does nothing.
//   left Ctrl + S  the same way: exports the painted picture (ui/export_command.h), only once a
//                  picture has been imported
//   C              while held: the drawn area shows the picture as imported (CompareWithOriginal)
// An import blocks inside the desktop's file chooser; the chosen file then decodes while the
// window stays live, with a small "Loading <name>..." indicator whose Cancel button (or Escape)
// gives up on it. The picture arrives in the frame in which the decoder answers, changing what
// a waiting import would have changed (the slot, the size, the Options window); a second import
// replaces one still loading. A cancelled chooser leaves no trace; a chooser that fails, or a
// file that does not load, shows a message the user dismisses (the picture or paper in use
// stays). "Exit" ends a loading decoder, then the process at once with status 0, skipping the
// orderly shutdown; while an export writes its file, it does so once the file is in place.
#pragma once

#include "filedialog/nfd.h"
#include "picture/png_jpeg_encoder.h"
#include "render/picture_export.h"
#include "render/texture_import.h"

void DrawUI(int windowWidth);

// Ask for a file and load it as the picture (which also shows the Options window) or the paper.
void ImportDiffuseTexture();
void ImportFilterTexture();

// Import a named file as the picture or the paper as if it had been chosen in the file chooser:
// the same log line, the same import without waiting (the next DrawUI frames take its answer),
// and the same notice when it does not load. For pictures named outside the menus (the command
// line, a drop); main thread, once the renderer is set up.
void ImportPictureFile(const char* path);
void ImportPaperFile(const char* path);

// The file being imported, or null when none is loading.
const char* ImportInProgress();

// The dialog's filter list: one group of four extensions.
constexpr const char* ImageFileFilter = "png,jpg,tif,bmp";

// What DrawUI reads and calls outside the UI library. Points at the real keyboard, chooser and
// loaders; tests point it at their own.
struct UIServiceTable {
    // Key states indexed by SDL scancode, non-zero = down; valid until the next event pumping.
    const unsigned char* (*KeyboardState)();
    NFDResult (*OpenFile)(const char* filters, const char* defaultPath, char** chosenPath);
    const char* (*DialogError)();
    // Start importing a file into a slot without waiting (false: it could not start, and the
    // outcome says why), take the outcome once the import has ended, give up on it. The real
    // ones are StartTextureImport, FinishTextureImport and CancelTextureImport.
    bool (*StartImport)(TextureSlot slot, const char* path, ImportOutcome* outcome);
    bool (*FinishImport)(ImportOutcome* outcome);
    void (*CancelImport)();
    // The export: the save chooser (NFD_SaveFileAs), whether a name is taken (PathExists), and
    // StartPaintedPictureExport and FinishPaintedPictureExport.
    NFDResult (*SaveFileAs)(const char* filters, const char* defaultPath, const char* defaultName, char** chosenPath);
    bool (*FileExists)(const char* path);
    bool (*StartExport)(const char* path, PictureFormat format, ExportOutcome* outcome);
    bool (*FinishExport)(ExportOutcome* outcome, float* progress);
};
extern UIServiceTable UIServices;

// The services DrawUI starts with.
UIServiceTable DefaultUIServices();
