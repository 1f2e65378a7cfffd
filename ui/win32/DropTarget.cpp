#include "DropTarget.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "model/MainModel.h"

namespace corvane::win32 {

namespace {

FORMATETC FileListFormat() {
  return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

bool OffersFileList(IDataObject* data) {
  FORMATETC format = FileListFormat();
  return data != nullptr && data->QueryGetData(&format) == S_OK;
}

// The dropped paths in the order the drag gives them, as UTF-8.
std::vector<std::string> DroppedPaths(IDataObject* data) {
  std::vector<std::string> paths;
  FORMATETC format = FileListFormat();
  StorageMedium medium;
  if (data->GetData(&format, medium.Receive()) != S_OK) return paths;
  const auto drop = static_cast<HDROP>(medium.Global());
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    const UINT length = ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
    path.resize(length);
    paths.push_back(Utf8Text(path));
  }
  return paths;
}

}  // namespace

HRESULT DropTarget::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DropTarget::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG DropTarget::Release() {
  const LONG left = ::InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// The drag-over rule: copy when the drag carries files and its source
// allows a copy; no drop otherwise.
DWORD DropTarget::Effect(DWORD allowed) const {
  const int offered = model_.lstFiles_OLEDragOver(
      offersFileList_, (allowed & DROPEFFECT_COPY) != 0 ? kDropEffectCopy : kDropEffectNone);
  return offered == kDropEffectCopy ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  offersFileList_ = OffersFileList(data);
  *effect = Effect(*effect);
  return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  *effect = Effect(*effect);
  return S_OK;
}

HRESULT DropTarget::DragLeave() {
  offersFileList_ = false;
  return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  offersFileList_ = OffersFileList(data);
  const DWORD done = Effect(*effect);
  model_.lstFiles_OLEDragDrop(offersFileList_,
                              offersFileList_ ? DroppedPaths(data) : std::vector<std::string>());
  offersFileList_ = false;
  *effect = done;
  return S_OK;
}

}  // namespace corvane::win32
