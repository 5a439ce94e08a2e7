/* nfd_common.h: routines that every file dialog binding shares (module nfd_common).

   - NFDi_Malloc / NFDi_FreeMemory: malloc and free; a failed allocation records
     "NFDi_Malloc failed.".
   - NFDi_RecordError: puts a message (at most 255 bytes) into NFDi_ErrorBuffer, which
     NFD_LastError returns. Nothing clears it.
   - NFDi_CopyBounded, NFDi_IsFilterBreak, NFDi_CountUtf8Chars, NFDi_AppendWildcard: small
     text helpers.
   - NFDi_TranslateFilterList: walks a filter list ("png,jpg;bmp") and hands each completed
     filter's pattern list ("*.png;*.jpg", then "*.bmp") to a callback, in order, so a binding
     can convert or copy each one as it completes. The all-files entry is not reported: each
     binding adds its own last (NFDi_ALL_FILES_PATTERN where the platform matches it so).
   - NFDi_ASSERT: a check that stays on in every build. A failed one prints the condition
     text and the module name and aborts. Each source file that uses it defines
     `static const char NFDi_ModuleName[] = "...";` first.

   Not here: anything that talks to a platform's chooser. */
#ifndef VELLUMRY_FILEDIALOG_NFD_COMMON_H
#define VELLUMRY_FILEDIALOG_NFD_COMMON_H

#include <stddef.h>

#include "filedialog/nfd.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The most recent failure message; zero at start. */
extern char NFDi_ErrorBuffer[NFD_TEXT_CAPACITY];

/* The pattern of the all-files entry that ends every non-empty list of file types. */
#define NFDi_ALL_FILES_PATTERN "*.*"

#if defined(__GNUC__) || defined(__clang__)
#define NFDi_NORETURN __attribute__((noreturn))
#else
#define NFDi_NORETURN
#endif

/* Prints "<module>: assertion failed: <condition>" on stderr, then aborts. */
NFDi_NORETURN void NFDi_AssertFailed(const char* condition, const char* module);
#define NFDi_ASSERT(cond) ((cond) ? (void)0 : NFDi_AssertFailed(#cond, NFDi_ModuleName))

void* NFDi_Malloc(size_t bytes);
void NFDi_FreeMemory(void* ptr);
void NFDi_RecordError(const char* message);

/* Copies src into dst (capacity maxCopy >= 1), always terminating it. Returns 1 when src did
   not fit and was cut to maxCopy - 1 bytes, 0 when it was copied whole. */
int NFDi_CopyBounded(char* dst, const char* src, size_t maxCopy);

/* 1 for the terminator, ',' and ';'. */
int NFDi_IsFilterBreak(char ch);

/* Characters (lead bytes) of UTF-8 text, not counting a leading byte-order mark. */
size_t NFDi_CountUtf8Chars(const char* text);

/* Appends "*.<ext>" to specBuf (with a ';' first unless specBuf is empty), never letting
   specBuf exceed specBufLen - 1 bytes of text. ext must be at most specBufLen - 4 bytes. */
void NFDi_AppendWildcard(const char* ext, char* specBuf, size_t specBufLen);

/* Number of filters in a list: 0 for null or empty, else 1 + the number of ';'. */
size_t NFDi_CountFilters(const char* filters);

/* Receives filter number `index` (from 0) with its pattern list. Return 0 to stop the walk,
   for example when an allocation failed. */
typedef int (*NFDi_FileTypeFn)(void* context, size_t index, const char* patternList);

/* Calls onFileType once per filter of the list, in order. Returns 1 when every filter was
   reported (also for a null or empty list, which has none), 0 when the callback stopped. */
int NFDi_TranslateFilterList(const char* filters, NFDi_FileTypeFn onFileType, void* context);

#ifdef __cplusplus
}
#endif

#endif
