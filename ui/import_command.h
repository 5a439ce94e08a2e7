// import_command: File > Import Texture (Ctrl + O) and Import Filter, and a picture or paper
// named outside the menus (the command line, a drop): the file chosen or named, decoded while
// the window stays live, and the picture or paper it becomes.
//
//   ImportDiffuseTexture();          // the menu item or the shortcut: the chooser, then the import
//   ImportPictureFile(path);         // a file named outside the menus
//   TakeFinishedImport();            // once a frame: the picture arrives in the frame it ends
//   if (ImportInProgress()) DrawLoadingIndicator(ImportInProgress(), ImportSeconds());
//   CancelLoadingImport();           // the indicator's Cancel, or Escape
//
// An import blocks inside the desktop's file chooser; the chosen file then decodes without
// waiting, logged as "[Info]: Loading diffuse texture: <path>" (or "filter texture"). The picture
// arrives in the frame in which its import ends (the decoder's answer or, for a large picture,
// the last band of its upload: render/texture_import.h), changing what a waiting import would have
// changed (the slot, the size, the Options window, the name an export suggests, a step of Undo for
// a paper, a fresh start of Undo for a picture: ui/edit_commands.h), and is seen fitted to the
// window whatever the zoom was; a second import
// replaces one still loading. A cancelled chooser leaves no trace; a chooser that fails, or a
// file that does not load, shows a notice the user dismisses (the picture or paper in use stays).
// Drawing the indicator and reading the keys are DrawUI's (ui/draw_ui.h). Main thread only, once
// the renderer is set up.
#pragma once

// Ask for a file and load it as the picture (which also shows the Options window) or the paper.
void ImportDiffuseTexture();
void ImportFilterTexture();

// Import a named file as the picture or the paper as if it had been chosen in the file chooser:
// the same log line, the same import without waiting (the next frames take its answer), and the
// same notice when it does not load.
void ImportPictureFile(const char* path);
void ImportPaperFile(const char* path);

// Where a waiting import would have run: takes the decoder's answer, if it has come. Asked every
// frame, also with nothing loading, so that a decoder given up on is reaped as soon as it has gone.
void TakeFinishedImport();

// The file being imported, or null when none is loading; and the seconds since it started.
const char* ImportInProgress();
double ImportSeconds();

// Gives up on the import loading: no notice, the picture or paper in use stays.
void CancelLoadingImport();

// The dialog's filter list: one group, the photo formats and BMP (the rest through all files).
constexpr const char* ImageFileFilter = "png,jpg,jpeg,tif,tiff,webp,heic,heif,avif,bmp";
