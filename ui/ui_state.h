// ui_state: which tool windows are shown. Main thread only.
#pragma once

extern bool ShowOptions;   // the "Brush Filter - Options" window; every picture import sets it
extern bool ShowTextures;  // the "Textures" preview strip; changed through the View menu only
