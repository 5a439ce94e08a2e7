/* nfd_win.h: the Windows binding's own routines (module nfd_win), beside the four dialog
   operations of nfd.h that it implements on the shell's common item dialog (COM).

       wchar_t* wide = NULL;
       NFDi_Utf8ToWide("Z:\\pictures\\caf\xC3\xA9.png", &wide);    // null if allocation failed
       ...; NFDi_FreeMemory(wide);

   - NFDi_ApplyFilterList: a filter list ("png,jpg;bmp") to the dialog's file types, with the
     all-files entry last; nothing is set for a null or empty list.
   - SetDefaultPath: opens the dialog in a folder; a folder or drive that does not exist is
     skipped (the dialog starts where the platform likes), any other unusable path fails.
   - NFDi_FillPathSet: a multiple selection into an NFDPathSet. Only file-system items get a
     path; the set's count is the number of paths it holds.
   - Text conversions between the interface's UTF-8 and the platform's UTF-16. Any UTF-8 text
     converts, including characters beyond U+FFFF and a leading byte-order mark (kept, as
     U+FEFF); malformed bytes become U+FFFD.

   Everything allocated here comes from NFDi_Malloc and goes back with NFDi_FreeMemory.
   Declared for the tests, which drive these routines with dialogs and item arrays of their
   own. Windows only. */
#ifndef VELLUMRY_FILEDIALOG_NFD_WIN_H
#define VELLUMRY_FILEDIALOG_NFD_WIN_H

#include <stddef.h>
#include <shobjidl.h>

#include "filedialog/nfd.h"

/* Returns false only when an allocation failed ("NFDi_Malloc failed." recorded); the dialog is
   then untouched. */
bool NFDi_ApplyFilterList(IFileDialog* dialog, const char* filters);
/* True also when there is nothing to set; false with a message recorded. */
bool SetDefaultPath(IFileDialog* dialog, const char* defaultPath);
/* True when filled (the caller releases it with NFD_PathSetRelease); false with a message
   recorded, the record untouched and nothing left allocated. */
bool NFDi_FillPathSet(IShellItemArray* shellItems, NFDPathSet* pathSet);

/* inStr: UTF-8, not empty. *outStr must be null on entry; it receives the new UTF-16 text,
   or stays null when the allocation failed. */
void NFDi_Utf8ToWide(const char* inStr, wchar_t** outStr);
/* inStr: UTF-16, not empty. *outStr receives the new UTF-8 text, or null when the allocation
   failed. */
void NFDi_WideToUtf8(const wchar_t* inStr, char** outStr);
/* Bytes to reserve for the UTF-8 form of inStr (terminator included, with one to spare). */
int NFDi_Utf8SizeOfWide(const wchar_t* inStr);
/* Writes the UTF-8 form of inStr into out (room: NFDi_Utf8SizeOfWide(inStr) bytes); returns
   the bytes written, terminator included. */
int NFDi_WideToUtf8Into(const wchar_t* inStr, char* out);

#endif
