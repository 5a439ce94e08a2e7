// Test doubles of the shell's dialog and item interfaces: they record what the binding hands
// them and answer what a test sets up. The real dialog cannot be read back, so these stand in
// for it; the shell's own items (SHCreateItemFromParsingName) are used where they can be.
// Stack objects: reference counts are tracked only to check that every obtained interface
// is released again.
#pragma once
#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

template <typename Interface>
class CountedUnknown : public Interface {
public:
    ULONG Refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
};

// An IFileDialog that records the file types and the folder it is given.
class FakeFileDialog : public CountedUnknown<IFileDialog> {
public:
    struct FileType {
        std::wstring Name, Patterns;
    };
    int SetFileTypesCalls = 0;
    std::vector<FileType> FileTypes;
    int SetFolderCalls = 0;
    std::wstring Folder;  // SIGDN_FILESYSPATH of the item given to SetFolder
    int OtherCalls = 0;

    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT count, const COMDLG_FILTERSPEC* specs) override;
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem* item) override;

    HRESULT STDMETHODCALLTYPE Show(HWND) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return Other(); }
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return Other(); }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS*) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return Other(); }
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem**) override { return Other(); }
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR) override { return Other(); }
    HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return Other(); }
    HRESULT STDMETHODCALLTYPE ClearClientData() override { return Other(); }
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return Other(); }

private:
    HRESULT Other() {
        ++OtherCalls;
        return E_NOTIMPL;
    }
};

// An item of a selection: a file-system path or not, and calls that can be made to fail.
class FakeShellItem : public CountedUnknown<IShellItem> {
public:
    std::wstring Name;
    bool FileSystem = true;
    bool FailAttributes = false;
    bool FailDisplayName = false;
    // Answered instead of `name` from the second GetDisplayName on (a path that changes
    // between the binding's two passes).
    std::wstring LaterName;
    int DisplayNameCalls = 0;

    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF mask, SFGAOF* attributes) override;
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
};

class FakeShellItemArray : public CountedUnknown<IShellItemArray> {
public:
    std::vector<FakeShellItem*> Items;
    int FailItemAt = -1;  // GetItemAt of this index fails
    bool FailCount = false;

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetItemAt(DWORD index, IShellItem** item) override;
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumItems(IEnumShellItems**) override { return E_NOTIMPL; }
};
