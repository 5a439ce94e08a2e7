// export_name: the naming rules of an export, as plain functions on path text.
//
//   std::string folder = PictureFolder(picturePath);            // "/home/me/Pictures"
//   std::string name = SuggestedExportName(picturePath);        // "coffee-painted.png"
//   NFD_SaveFileAs(ExportFilterList, folder.c_str(), name.c_str(), &chosen);
//   ExportName target;
//   std::string reason;
//   if (!ResolveExportName(chosen, &target, &reason)) notice(reason);   // names both formats
//   else if (target.extensionAdded && exists(target.path)) ask before replacing;
//
// The format follows the extension in any letter case: .png is PNG, .jpg and .jpeg are JPEG.
// A name without an extension gets ".png"; any other extension is refused. The extension is
// what follows the last dot of the last path component, unless that dot starts the name
// (".png" alone is a hidden file without an extension, as file managers see it).
//
// Separators: '/' everywhere, and '\' too on Windows. Nothing here touches the file system.
#pragma once
#include <string>

#include "picture/png_jpeg_encoder.h"

// The save chooser's filter list: PNG first, then JPEG under its two extensions.
extern const char* const ExportFilterList;

struct ExportName {
    std::string Path;  // the path to write: the chosen one, or it with ".png" added
    PictureFormat Format;
    bool ExtensionAdded;  // ".png" was added: the chooser did not ask about replacing this name
};

// False, with a reason that names the two formats, for an extension other than the three;
// also for an empty path or one that ends in a separator.
bool ResolveExportName(const char* chosenPath, ExportName* name, std::string* reason);

// "<picture's name without its extension>-painted.png"; "picture-painted.png" for no name.
// Always well-formed UTF-8 without control characters: each other byte of the name becomes '_'.
std::string SuggestedExportName(const char* picturePath);

// The folder part of a picture's path: "/a/b.png" -> "/a", "/b.png" -> "/", "C:\b.png" ->
// "C:\"; "" when the path names no folder ("b.png"), so the chooser starts where it likes.
std::string PictureFolder(const char* picturePath);
