// ui_services: the table of what the interface reads and calls outside the UI library: the
// keyboard, the file choosers, the import and the export. It points at the real ones; tests point
// it at their own, and the real DrawUI runs against them.
//
//   UIServices.StartImport(TEXTURE_SLOT_DIFFUSE, path, &outcome);   // what the commands call
//   UIServices = UIServiceTable{FakeKeyboard, ...};                  // a test's SetUp
//   UIServices = DefaultUIServices();                                // its TearDown
//
// It holds no state of its own beyond the table. Main thread only.
#pragma once

#include "filedialog/nfd.h"
#include "picture/png_jpeg_encoder.h"
#include "render/picture_export.h"
#include "render/texture_import.h"

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
    // A paper loaded while the caller waits (a look's, at start-up); null is the built-in paper.
    // The real one is LoadFilterTexture, or LoadFilterTextureFromMemory with the embedded paper.
    ImportOutcome (*LoadPaperNow)(const char* path);
};
extern UIServiceTable UIServices;

// The services the interface starts with: the real ones.
UIServiceTable DefaultUIServices();
