// embedded_assets: files built into the program as constant byte arrays (generated at build
// time by cmake/EmbedFile.cmake from assets/paper.jpg and Debian's Roboto Regular).
//
//   LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);   // the paper
//   ImFontConfig config; config.FontDataOwnedByAtlas = false;   // the atlas must not free it
//   io.Fonts->AddFontFromMemoryTTF((void*)UIFontData, UIFontDataSize, 21.0f, &config);
#pragma once

// The default paper: a 900 x 900 baseline JPEG of near-white rough watercolour paper.
extern const unsigned char DefaultFilterData[];
extern const int DefaultFilterDataSize;
// The interface font: Roboto Regular, TrueType.
extern const unsigned char UIFontData[];
extern const int UIFontDataSize;
