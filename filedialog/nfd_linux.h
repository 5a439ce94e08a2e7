/* nfd_linux.h: pieces of the Linux file dialog binding shared by its three sources.

   nfd_linux.cpp   the four NFD_ operations: resolves the default folder, builds the file
                   types, asks the portal, falls back to a helper program, hands out the result.
   nfd_portal.cpp  the xdg-desktop-portal FileChooser over a private D-Bus session connection.
   nfd_zenity.cpp  the helper programs zenity, then kdialog, started without a shell.

   Each chooser answers with an NFDi_Outcome; NFDi_UNAVAILABLE means "try the next one" and
   records nothing. Every other failure has recorded its message already.

   Not here: threads, state kept between calls, anything for Windows. */
#ifndef VELLUMRY_FILEDIALOG_NFD_LINUX_H
#define VELLUMRY_FILEDIALOG_NFD_LINUX_H

#include <string>
#include <vector>

enum NFDi_Mode { NFDi_OPEN_FILE, NFDi_OPEN_FILES, NFDi_SAVE_FILE, NFDi_CHOOSE_FOLDER };

enum NFDi_Outcome { NFDi_CHOSEN, NFDi_CANCELLED, NFDi_FAILED, NFDi_UNAVAILABLE };

// One file-type entry as this desktop shows it: the pattern list as the display name
// ("*.png;*.jpg") and one glob per pattern, written to match in any letter case
// ("*.[pP][nN][gG]"). The all-files entry is named "*.*" and has the glob "*".
struct NFDi_FileType {
    std::string name;
    std::vector<std::string> globs;
};

struct NFDi_Request {
    NFDi_Mode mode;
    std::vector<NFDi_FileType> fileTypes;  // empty: no filters at all
    std::string folder;                    // absolute existing folder to start in, or empty
    std::string name;                      // NFDi_SAVE_FILE: the suggested file name, or empty
};

// The chooser's window title for each mode.
const char* NFDi_DialogTitle(NFDi_Mode mode);

// "*.png" -> "*.[pP][nN][gG]"; '[' becomes "[[]" so it stays an ordinary character.
std::string NFDi_CaseInsensitiveGlob(const std::string& pattern);

// The filter list as file-type entries (none for a null or empty list). Returns false, with a
// message recorded, when the list cannot be shown (it is not valid UTF-8).
bool NFDi_BuildFileTypes(const char* filters, std::vector<NFDi_FileType>& fileTypes);

// Decodes a file:// URI into a local path. Accepts an empty host, "localhost" and this
// machine's host name; refuses other hosts and schemes, bad escapes, %00, %2F, '?' and '#'.
bool NFDi_FileUriToPath(const char* uri, std::string& path);

// Records a formatted message, cut to fit the error buffer on a character boundary.
void NFDi_RecordErrorf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

NFDi_Outcome NFDi_PortalChoose(const NFDi_Request& request, std::vector<std::string>& paths);
NFDi_Outcome NFDi_HelperChoose(const NFDi_Request& request, std::vector<std::string>& paths);

#endif
