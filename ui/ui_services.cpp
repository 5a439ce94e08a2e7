#include "ui/ui_services.h"

#include <SDL.h>

#include "picture/file_paths.h"

namespace {

const unsigned char* SDLKeyboardState() { return SDL_GetKeyboardState(nullptr); }

}  // namespace

UIServiceTable DefaultUIServices() {
    return UIServiceTable{
        SDLKeyboardState,    NFD_OpenFile,   NFD_LastError, StartTextureImport,        FinishTextureImport,
        CancelTextureImport, NFD_SaveFileAs, PathExists,    StartPaintedPictureExport, FinishPaintedPictureExport};
}

UIServiceTable UIServices = DefaultUIServices();
