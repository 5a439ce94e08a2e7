// embedded_texts: texts built into the program as constant byte arrays, not NUL-terminated
// (generated at build time by cmake/EmbedFile.cmake; ui/CMakeLists.txt names the files).
//
//   ImGui::TextUnformatted(reinterpret_cast<const char*>(LicenseText),
//                          reinterpret_cast<const char*>(LicenseText) + LicenseTextSize);
#pragma once

// The program's licence: LICENSE at the source root.
extern const unsigned char LicenseText[];
extern const int LicenseTextSize;
// The works of others the program links or carries, with their notices in full
// (THIRD-PARTY-NOTICES.txt, written by tools/make_notices.py).
extern const unsigned char ThirdPartyNoticesText[];
extern const int ThirdPartyNoticesTextSize;
