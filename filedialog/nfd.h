/* nfd.h: the portable file dialog interface.

   Asks the desktop's own file chooser for one file to open, several files, a name to save under
   or a folder. Every call blocks until the user closes the chooser and returns an NFDResult:

       char* path = NULL;
       NFDResult result = NFD_OpenFile("png,jpg;bmp", NULL, &path);
       if (result == NFD_RESULT_OK) { use(path); free(path); }
       else if (result == NFD_RESULT_ERROR) report(NFD_LastError());

   Filter lists: ';' separates filters, ',' separates the extensions (without the dot) of one
   filter; "png,jpg;bmp" offers "*.png;*.jpg", then "*.bmp", then all files. A null or empty
   list offers whatever the platform shows by default.

   Output: a chosen path is UTF-8, NUL-terminated, malloc'ed; the caller frees it with free().
   *chosenPath is written only once the user has chosen (and is null if copying it failed).
   A path set filled by NFD_OpenFiles is released with NFD_PathSetRelease, and only after
   NFD_RESULT_OK.

   NFD_LastError() is the most recent failure message. It is never cleared: read it only right
   after a call returned NFD_RESULT_ERROR.

   NFD_SaveFileAs also fills in the chooser's name field: it opens in defaultPath with
   defaultName ("coffee-painted.png") ready to accept or edit.

   Not here: threads (call from one thread), owner windows, remembering the last folder. The
   module writes nothing to the console. */
#ifndef VELLUMRY_FILEDIALOG_NFD_H
#define VELLUMRY_FILEDIALOG_NFD_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    NFD_RESULT_ERROR = 0,    /* failed; NFD_LastError() says why */
    NFD_RESULT_OK = 1,       /* the user chose; the output holds the choice */
    NFD_RESULT_CANCELLED = 2 /* the user closed the chooser; no output was written */
} NFDResult;

/* Size of the error buffer and of each working buffer for file-type patterns. */
#define NFD_TEXT_CAPACITY 256

typedef struct {
    char* buffer;    /* the paths back to back, each NUL-terminated, in selection order */
    size_t* offsets; /* offsets[i]: byte offset of path i in buffer */
    size_t count;    /* number of paths, at least 1 in a filled set */
} NFDPathSet;

NFDResult NFD_OpenFile(const char* filters, const char* defaultPath, char** chosenPath);
NFDResult NFD_OpenFiles(const char* filters, const char* defaultPath, NFDPathSet* chosenPaths);
NFDResult NFD_SaveFile(const char* filters, const char* defaultPath, char** chosenPath);
/* NFD_SaveFile with a suggested file name: UTF-8, a name alone (no folder in it). A null or
   empty defaultName is NFD_SaveFile. A name with a folder separator (or, on Linux, that is not
   UTF-8) fails with "The suggested file name is not a plain file name." */
NFDResult NFD_SaveFileAs(const char* filters, const char* defaultPath, const char* defaultName, char** chosenPath);
NFDResult NFD_ChooseFolder(const char* defaultPath, char** chosenPath);

/* Never null; the empty text until the first failure. */
const char* NFD_LastError(void);

size_t NFD_PathSetCount(const NFDPathSet* pathset);
/* Valid until the set is released. */
char* NFD_PathSetPath(const NFDPathSet* pathset, size_t num);
void NFD_PathSetRelease(NFDPathSet* pathset);

#ifdef __cplusplus
}
#endif

#endif
