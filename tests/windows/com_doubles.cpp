#include "com_doubles.h"

HRESULT FakeFileDialog::SetFileTypes(UINT count, const COMDLG_FILTERSPEC* specs) {
    ++SetFileTypesCalls;
    FileTypes.clear();
    for (UINT i = 0; i < count; ++i) FileTypes.push_back({specs[i].pszName, specs[i].pszSpec});
    return S_OK;
}

HRESULT FakeFileDialog::SetFolder(IShellItem* item) {
    ++SetFolderCalls;
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        Folder = path;
        CoTaskMemFree(path);
    }
    return S_OK;
}

HRESULT FakeShellItem::GetDisplayName(SIGDN form, LPWSTR* out) {
    ++DisplayNameCalls;
    if (FailDisplayName || form != SIGDN_FILESYSPATH) return E_FAIL;
    const std::wstring& text = DisplayNameCalls > 1 && !LaterName.empty() ? LaterName : Name;
    *out = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (!*out) return E_OUTOFMEMORY;
    memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

HRESULT FakeShellItem::GetAttributes(SFGAOF mask, SFGAOF* attributes) {
    if (FailAttributes) return E_FAIL;
    SFGAOF mine = FileSystem ? SFGAO_FILESYSTEM : 0;
    *attributes = mine & mask;
    return *attributes == mask ? S_OK : S_FALSE;
}

HRESULT FakeShellItemArray::GetCount(DWORD* count) {
    if (FailCount) return E_FAIL;
    *count = static_cast<DWORD>(Items.size());
    return S_OK;
}

HRESULT FakeShellItemArray::GetItemAt(DWORD index, IShellItem** item) {
    if (static_cast<int>(index) == FailItemAt || index >= Items.size()) return E_FAIL;
    Items[index]->AddRef();
    *item = Items[index];
    return S_OK;
}
