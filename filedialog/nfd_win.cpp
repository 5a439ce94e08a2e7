// nfd_win: the four dialog operations on the Windows shell's common item dialog (COM), the
// UTF-8/UTF-16 conversions around it, the file types, the starting folder and the path set.
// COM is initialised for the calling thread on every call and uninitialised before it returns,
// when (and only when) that initialisation succeeded.
#include "filedialog/nfd_win.h"

#include <windows.h>
#include <shobjidl.h>

#include <cstring>
#include <cwchar>

#include "filedialog/nfd_common.h"

static const char NFDi_ModuleName[] = "nfd_win";

static const wchar_t EMPTY_WSTR[] = L"";
static const wchar_t WILDCARD[] = L"*.*";

static const DWORD ComInitFlags = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;

namespace {

// COM for the calling thread, for the life of one operation. S_FALSE (already initialised in
// the same model) is a success and is balanced like any other; RPC_E_CHANGED_MODE is not.
class ComInitScope {
public:
    ComInitScope() : result(CoInitializeEx(nullptr, ComInitFlags)) {}
    ~ComInitScope() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;
    HRESULT result;
};

// One interface pointer, released when the holder goes out of scope.
template <typename T>
class ComRef {
public:
    ComRef() : ptr(nullptr) {}
    ~ComRef() {
        if (ptr) ptr->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    // The field itself, as the output argument of a creating call.
    T** Out() { return &ptr; }
    void** OutVoid() { return reinterpret_cast<void**>(&ptr); }
    T* operator->() const { return ptr; }
    T* get() const { return ptr; }

private:
    T* ptr;
};

const HRESULT CancelledByUser = HRESULT_FROM_WIN32(ERROR_CANCELLED);

}  // namespace

// ---- Text conversions ----

// Whether the character count of nfd_common predicts the number of UTF-16 units: true for
// well-formed text with no character beyond U+FFFF (each takes two units) and no leading
// byte-order mark (the count skips it, the conversion keeps it).
static bool CountPredictsUnits(const char* inStr, int inStrByteCount) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(inStr);
    if (inStrByteCount >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return false;
    for (int i = 0; i < inStrByteCount; ++i) {
        if (bytes[i] >= 0xF0) return false;
    }
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, inStr, inStrByteCount, nullptr, 0) != 0;
}

void NFDi_Utf8ToWide(const char* inStr, wchar_t** outStr) {
    NFDi_ASSERT(!*outStr);
    size_t byteLength = std::strlen(inStr);
    NFDi_ASSERT(byteLength < 0x7fffffff);
    int inStrByteCount = static_cast<int>(byteLength);
    int charsNeeded = MultiByteToWideChar(CP_UTF8, 0, inStr, inStrByteCount, nullptr, 0);
    NFDi_ASSERT(charsNeeded);

    wchar_t* wide = static_cast<wchar_t*>(NFDi_Malloc(sizeof(wchar_t) * (size_t(charsNeeded) + 1)));
    if (!wide) return;
    int ret = MultiByteToWideChar(CP_UTF8, 0, inStr, inStrByteCount, wide, charsNeeded + 1);
    wide[charsNeeded] = L'\0';
    NFDi_ASSERT(ret == charsNeeded);
    if (CountPredictsUnits(inStr, inStrByteCount)) {
        size_t inStrCharacterCount = NFDi_CountUtf8Chars(inStr);
        NFDi_ASSERT(size_t(ret) == inStrCharacterCount);
    }
    *outStr = wide;
}

void NFDi_WideToUtf8(const wchar_t* inStr, char** outStr) {
    size_t unitLength = std::wcslen(inStr);
    NFDi_ASSERT(unitLength < 0x7fffffff);
    int bytesNeeded =
        WideCharToMultiByte(CP_UTF8, 0, inStr, static_cast<int>(unitLength), nullptr, 0, nullptr, nullptr);
    NFDi_ASSERT(bytesNeeded);
    *outStr = static_cast<char*>(NFDi_Malloc(size_t(bytesNeeded) + 1));
    if (!*outStr) return;
    int bytesWritten = WideCharToMultiByte(CP_UTF8, 0, inStr, -1, *outStr, bytesNeeded + 1, nullptr, nullptr);
    NFDi_ASSERT(bytesWritten);
}

int NFDi_Utf8SizeOfWide(const wchar_t* inStr) {
    int bytesNeeded = WideCharToMultiByte(CP_UTF8, 0, inStr, -1, nullptr, 0, nullptr, nullptr);
    NFDi_ASSERT(bytesNeeded);
    return bytesNeeded + 1;
}

int NFDi_WideToUtf8Into(const wchar_t* inStr, char* out) {
    int bytesWritten = WideCharToMultiByte(CP_UTF8, 0, inStr, -1, out, NFDi_Utf8SizeOfWide(inStr), nullptr, nullptr);
    NFDi_ASSERT(bytesWritten);
    return bytesWritten;
}

// ---- File types ----

namespace {
struct FileTypeArray {
    COMDLG_FILTERSPEC* specList;
};

int ConvertFileType(void* context, size_t index, const char* patternList) {
    FileTypeArray* types = static_cast<FileTypeArray*>(context);
    wchar_t* patterns = nullptr;
    NFDi_Utf8ToWide(patternList, &patterns);  // never empty: at least "*."
    if (!patterns) return 0;
    types->specList[index].pszName = EMPTY_WSTR;
    types->specList[index].pszSpec = patterns;
    return 1;
}

void ReleaseFileTypes(COMDLG_FILTERSPEC* specList, size_t filterCount) {
    for (size_t i = 0; i < filterCount; ++i) {
        if (specList[i].pszSpec) NFDi_FreeMemory(const_cast<wchar_t*>(specList[i].pszSpec));
    }
    NFDi_FreeMemory(specList);
}
}  // namespace

bool NFDi_ApplyFilterList(IFileDialog* dialog, const char* filters) {
    size_t filterCount = NFDi_CountFilters(filters);
    if (filterCount == 0) return true;

    size_t bytes = sizeof(COMDLG_FILTERSPEC) * (filterCount + 1);
    COMDLG_FILTERSPEC* specList = static_cast<COMDLG_FILTERSPEC*>(NFDi_Malloc(bytes));
    if (!specList) return false;
    std::memset(specList, 0, bytes);

    FileTypeArray types = {specList};
    if (!NFDi_TranslateFilterList(filters, ConvertFileType, &types)) {
        ReleaseFileTypes(specList, filterCount);
        return false;
    }
    specList[filterCount].pszName = EMPTY_WSTR;
    specList[filterCount].pszSpec = WILDCARD;

    dialog->SetFileTypes(static_cast<UINT>(filterCount + 1), specList);

    ReleaseFileTypes(specList, filterCount);  // the last entry is constant
    return true;
}

// ---- Starting folder ----

// A folder that does not exist is skipped, like a missing drive. The shell reports a missing
// last component as "file not found" and a missing folder further up as "path not found";
// both name a folder that is not there.
static bool NamesMissingFolder(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE);
}

bool SetDefaultPath(IFileDialog* dialog, const char* defaultPath) {
    if (!defaultPath || !defaultPath[0]) return true;

    wchar_t* defaultPathW = nullptr;
    NFDi_Utf8ToWide(defaultPath, &defaultPathW);
    if (!defaultPathW) return false;

    IShellItem* folder = nullptr;
    HRESULT result =
        SHCreateItemFromParsingName(defaultPathW, nullptr, IID_IShellItem, reinterpret_cast<void**>(&folder));
    NFDi_FreeMemory(defaultPathW);
    if (NamesMissingFolder(result)) return true;
    if (!SUCCEEDED(result) || !folder) {
        NFDi_RecordError("Error creating ShellItem");
        return false;
    }
    // SetFolder rather than SetDefaultFolder: the dialog always opens there, whatever it
    // remembers from earlier use.
    dialog->SetFolder(folder);
    folder->Release();
    return true;
}

// ---- Path set ----

namespace {
// Whether item i of the selection is a file-system item, and if so its path (free it with
// CoTaskMemFree). False when a call failed.
bool FileSystemPathAt(IShellItemArray* shellItems, DWORD i, wchar_t** name) {
    *name = nullptr;
    ComRef<IShellItem> shellItem;
    if (!SUCCEEDED(shellItems->GetItemAt(i, shellItem.Out())) || !shellItem.get()) return false;
    SFGAOF attribs = 0;
    if (!SUCCEEDED(shellItem->GetAttributes(SFGAO_FILESYSTEM, &attribs))) return false;
    if (!(attribs & SFGAO_FILESYSTEM)) return true;  // left out: it has no path
    if (!SUCCEEDED(shellItem->GetDisplayName(SIGDN_FILESYSPATH, name)) || !*name) return false;
    if (!(*name)[0]) {  // nothing to convert: treated as a failed call
        CoTaskMemFree(*name);
        *name = nullptr;
        return false;
    }
    return true;
}
}  // namespace

bool NFDi_FillPathSet(IShellItemArray* shellItems, NFDPathSet* pathSet) {
    NFDi_ASSERT(shellItems);
    NFDi_ASSERT(pathSet);
    static const char ERRORMSG[] = "Error allocating pathset.";

    DWORD numShellItems = 0;
    if (!SUCCEEDED(shellItems->GetCount(&numShellItems)) || numShellItems == 0) {
        NFDi_RecordError(ERRORMSG);
        return false;
    }
    // Room for every item; only the file-system ones get an entry.
    size_t* offsets = static_cast<size_t*>(NFDi_Malloc(sizeof(size_t) * numShellItems));
    if (!offsets) return false;

    // First pass: the bytes the paths need.
    size_t bufSize = 0;
    size_t pathCount = 0;
    for (DWORD i = 0; i < numShellItems; ++i) {
        wchar_t* name = nullptr;
        if (!FileSystemPathAt(shellItems, i, &name)) {
            NFDi_FreeMemory(offsets);
            NFDi_RecordError(ERRORMSG);
            return false;
        }
        if (!name) continue;
        bufSize += size_t(NFDi_Utf8SizeOfWide(name));
        ++pathCount;
        CoTaskMemFree(name);
    }
    if (pathCount == 0) {  // nothing with a path was chosen: no set to hand out
        NFDi_FreeMemory(offsets);
        NFDi_RecordError(ERRORMSG);
        return false;
    }

    char* buffer = static_cast<char*>(NFDi_Malloc(bufSize));
    if (!buffer) {
        NFDi_FreeMemory(offsets);
        return false;
    }
    std::memset(buffer, 0, bufSize);

    // Second pass: the paths, back to back in selection order. The items are asked again; an
    // answer that no longer matches the first pass fails rather than overrun the buffer.
    size_t index = 0;
    size_t stored = 0;
    bool ok = true;
    for (DWORD i = 0; i < numShellItems && ok; ++i) {
        wchar_t* name = nullptr;
        if (!FileSystemPathAt(shellItems, i, &name)) {
            ok = false;
            break;
        }
        if (!name) continue;
        if (size_t(NFDi_Utf8SizeOfWide(name)) > bufSize - index) {
            ok = false;
        } else {
            offsets[stored++] = index;
            index += size_t(NFDi_WideToUtf8Into(name, buffer + index));
        }
        CoTaskMemFree(name);
    }
    if (!ok || stored == 0) {
        NFDi_FreeMemory(buffer);
        NFDi_FreeMemory(offsets);
        NFDi_RecordError(ERRORMSG);
        return false;
    }
    pathSet->buffer = buffer;
    pathSet->offsets = offsets;
    pathSet->count = stored;
    return true;
}

// ---- Dialog operations ----

// Converts the shell's text into *chosenPath and frees the shell's copy. False when the text
// could not be allocated ("NFDi_Malloc failed." recorded, *chosenPath null).
static bool TakeShellPath(wchar_t* shellPath, char** chosenPath) {
    NFDi_WideToUtf8(shellPath, chosenPath);
    CoTaskMemFree(shellPath);
    return *chosenPath != nullptr;
}

// Fills in the dialog's name field. A name with a folder in it is refused: the field would
// take it as a path to go to.
static bool SetDefaultName(IFileDialog* dialog, const char* defaultName) {
    if (!defaultName || !defaultName[0]) return true;
    if (std::strpbrk(defaultName, "\\/") || std::strcmp(defaultName, ".") == 0 || std::strcmp(defaultName, "..") == 0) {
        NFDi_RecordError("The suggested file name is not a plain file name.");
        return false;
    }
    wchar_t* name = nullptr;
    NFDi_Utf8ToWide(defaultName, &name);
    if (!name) return false;
    HRESULT result = dialog->SetFileName(name);
    NFDi_FreeMemory(name);
    if (!SUCCEEDED(result)) {
        NFDi_RecordError("Could not set file name.");
        return false;
    }
    return true;
}

// NFD_OpenFile, NFD_SaveFile and NFD_SaveFileAs: the same steps on the open or the save
// dialog; a default name is given to the save dialog only.
template <typename Dialog>
static NFDResult PickOneFile(REFCLSID dialogClass, REFIID dialogInterface, const char* filters, const char* defaultPath,
                             char** chosenPath, const char* defaultName = nullptr) {
    ComInitScope com;
    if (!SUCCEEDED(com.result)) {
        NFDi_RecordError("Could not initialize COM.");
        return NFD_RESULT_ERROR;
    }
    ComRef<Dialog> dialog;
    if (!SUCCEEDED(CoCreateInstance(dialogClass, nullptr, CLSCTX_ALL, dialogInterface, dialog.OutVoid()))) {
        NFDi_RecordError("Could not create dialog.");
        return NFD_RESULT_ERROR;
    }
    if (!NFDi_ApplyFilterList(dialog.get(), filters)) return NFD_RESULT_ERROR;
    if (!SetDefaultPath(dialog.get(), defaultPath)) return NFD_RESULT_ERROR;
    if (!SetDefaultName(dialog.get(), defaultName)) return NFD_RESULT_ERROR;

    HRESULT result = dialog->Show(nullptr);
    if (result == CancelledByUser) return NFD_RESULT_CANCELLED;
    if (!SUCCEEDED(result)) {
        NFDi_RecordError("File dialog box show failed.");
        return NFD_RESULT_ERROR;
    }
    ComRef<IShellItem> shellItem;
    if (!SUCCEEDED(dialog->GetResult(shellItem.Out())) || !shellItem.get()) {
        NFDi_RecordError("Could not get shell item from dialog.");
        return NFD_RESULT_ERROR;
    }
    wchar_t* filePath = nullptr;
    if (!SUCCEEDED(shellItem->GetDisplayName(SIGDN_FILESYSPATH, &filePath)) || !filePath || !filePath[0]) {
        if (filePath) CoTaskMemFree(filePath);
        NFDi_RecordError("Could not get file path for selected.");
        return NFD_RESULT_ERROR;
    }
    return TakeShellPath(filePath, chosenPath) ? NFD_RESULT_OK : NFD_RESULT_ERROR;
}

NFDResult NFD_OpenFile(const char* filters, const char* defaultPath, char** chosenPath) {
    return PickOneFile<IFileOpenDialog>(CLSID_FileOpenDialog, IID_IFileOpenDialog, filters, defaultPath, chosenPath);
}

NFDResult NFD_SaveFile(const char* filters, const char* defaultPath, char** chosenPath) {
    return PickOneFile<IFileSaveDialog>(CLSID_FileSaveDialog, IID_IFileSaveDialog, filters, defaultPath, chosenPath);
}

NFDResult NFD_SaveFileAs(const char* filters, const char* defaultPath, const char* defaultName, char** chosenPath) {
    return PickOneFile<IFileSaveDialog>(CLSID_FileSaveDialog, IID_IFileSaveDialog, filters, defaultPath, chosenPath,
                                        defaultName);
}

NFDResult NFD_OpenFiles(const char* filters, const char* defaultPath, NFDPathSet* chosenPaths) {
    ComInitScope com;
    if (!SUCCEEDED(com.result)) {
        NFDi_RecordError("Could not initialize COM.");
        return NFD_RESULT_ERROR;
    }
    ComRef<IFileOpenDialog> fileOpenDialog;
    if (!SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_ALL, IID_IFileOpenDialog,
                                    fileOpenDialog.OutVoid()))) {
        NFDi_RecordError("Could not create dialog.");
        return NFD_RESULT_ERROR;
    }
    if (!NFDi_ApplyFilterList(fileOpenDialog.get(), filters)) return NFD_RESULT_ERROR;
    if (!SetDefaultPath(fileOpenDialog.get(), defaultPath)) return NFD_RESULT_ERROR;

    FILEOPENDIALOGOPTIONS dwFlags = 0;
    if (!SUCCEEDED(fileOpenDialog->GetOptions(&dwFlags))) {
        NFDi_RecordError("Could not get options.");
        return NFD_RESULT_ERROR;
    }
    if (!SUCCEEDED(fileOpenDialog->SetOptions(dwFlags | FOS_ALLOWMULTISELECT))) {
        NFDi_RecordError("Could not set options.");
        return NFD_RESULT_ERROR;
    }
    HRESULT result = fileOpenDialog->Show(nullptr);
    if (result == CancelledByUser) return NFD_RESULT_CANCELLED;
    if (!SUCCEEDED(result)) {
        NFDi_RecordError("File dialog box show failed.");
        return NFD_RESULT_ERROR;
    }
    ComRef<IShellItemArray> shellItems;
    if (!SUCCEEDED(fileOpenDialog->GetResults(shellItems.Out())) || !shellItems.get()) {
        NFDi_RecordError("Could not get shell items.");
        return NFD_RESULT_ERROR;
    }
    if (!NFDi_FillPathSet(shellItems.get(), chosenPaths)) return NFD_RESULT_ERROR;
    return NFD_RESULT_OK;
}

NFDResult NFD_ChooseFolder(const char* defaultPath, char** chosenPath) {
    ComInitScope autoCoInit;
    if (!SUCCEEDED(autoCoInit.result)) {
        NFDi_RecordError("CoInitializeEx failed.");
        return NFD_RESULT_ERROR;
    }
    ComRef<IFileDialog> pFileDialog;
    if (!SUCCEEDED(
            CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_ALL, IID_IFileDialog, pFileDialog.OutVoid()))) {
        NFDi_RecordError("CoCreateInstance for CLSID_FileOpenDialog failed.");
        return NFD_RESULT_ERROR;
    }
    if (!SetDefaultPath(pFileDialog.get(), defaultPath)) {
        NFDi_RecordError("SetDefaultPath failed.");  // replaces SetDefaultPath's own message
        return NFD_RESULT_ERROR;
    }
    DWORD dwOptions = 0;
    if (!SUCCEEDED(pFileDialog->GetOptions(&dwOptions))) {
        NFDi_RecordError("GetOptions for IFileDialog failed.");
        return NFD_RESULT_ERROR;
    }
    if (!SUCCEEDED(pFileDialog->SetOptions(dwOptions | FOS_PICKFOLDERS))) {
        NFDi_RecordError("SetOptions for IFileDialog failed.");
        return NFD_RESULT_ERROR;
    }
    HRESULT result = pFileDialog->Show(nullptr);
    if (result == CancelledByUser) return NFD_RESULT_CANCELLED;
    if (!SUCCEEDED(result)) {
        NFDi_RecordError("Show for IFileDialog failed.");
        return NFD_RESULT_ERROR;
    }
    ComRef<IShellItem> pShellItem;
    if (!SUCCEEDED(pFileDialog->GetResult(pShellItem.Out())) || !pShellItem.get()) {
        NFDi_RecordError("Could not get shell item from dialog.");
        return NFD_RESULT_ERROR;
    }
    wchar_t* path = nullptr;
    if (!SUCCEEDED(pShellItem->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, &path)) || !path || !path[0]) {
        if (path) CoTaskMemFree(path);
        NFDi_RecordError("GetDisplayName for IShellItem failed.");
        return NFD_RESULT_ERROR;
    }
    return TakeShellPath(path, chosenPath) ? NFD_RESULT_OK : NFD_RESULT_ERROR;
}
