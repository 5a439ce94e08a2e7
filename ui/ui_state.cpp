#include "ui/ui_state.h"

bool ShowOptions = false;
bool ShowTextures = false;
