#include "ui/ui_services.h"

#include <SDL.h>

#include "picture/file_paths.h"
#include "render/embedded_assets.h"

namespace {

const unsigned char* SDLKeyboardState() { return SDL_GetKeyboardState(nullptr); }

ImportOutcome LoadPaper(const char* path) {
    return path ? LoadFilterTexture(path) : LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);
}

}  // namespace

UIServiceTable DefaultUIServices() {
    return UIServiceTable{SDLKeyboardState,
                          NFD_OpenFile,
                          NFD_LastError,
                          StartTextureImport,
                          FinishTextureImport,
                          CancelTextureImport,
                          NFD_SaveFileAs,
                          PathExists,
                          StartPaintedPictureExport,
                          FinishPaintedPictureExport,
                          LoadPaper};
}

UIServiceTable UIServices = DefaultUIServices();
