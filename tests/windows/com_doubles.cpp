#include "com_doubles.h"

HRESULT FakeFileDialog::SetFileTypes(UINT count, const COMDLG_FILTERSPEC* specs) {
    ++setFileTypesCalls;
    fileTypes.clear();
    for (UINT i = 0; i < count; ++i) fileTypes.push_back({specs[i].pszName, specs[i].pszSpec});
    return S_OK;
}

HRESULT FakeFileDialog::SetFolder(IShellItem* item) {
    ++setFolderCalls;
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        folder = path;
        CoTaskMemFree(path);
    }
    return S_OK;
}

HRESULT FakeShellItem::GetDisplayName(SIGDN form, LPWSTR* out) {
    ++displayNameCalls;
    if (failDisplayName || form != SIGDN_FILESYSPATH) return E_FAIL;
    const std::wstring& text = displayNameCalls > 1 && !laterName.empty() ? laterName : name;
    *out = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (!*out) return E_OUTOFMEMORY;
    memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

HRESULT FakeShellItem::GetAttributes(SFGAOF mask, SFGAOF* attributes) {
    if (failAttributes) return E_FAIL;
    SFGAOF mine = fileSystem ? SFGAO_FILESYSTEM : 0;
    *attributes = mine & mask;
    return *attributes == mask ? S_OK : S_FALSE;
}

HRESULT FakeShellItemArray::GetCount(DWORD* count) {
    if (failCount) return E_FAIL;
    *count = static_cast<DWORD>(items.size());
    return S_OK;
}

HRESULT FakeShellItemArray::GetItemAt(DWORD index, IShellItem** item) {
    if (static_cast<int>(index) == failItemAt || index >= items.size()) return E_FAIL;
    items[index]->AddRef();
    *item = items[index];
    return S_OK;
}
