// Drops on the file list through OLE drag and drop: a drag that carries
// files (clipboard format CF_HDROP) is offered a copy when its source allows
// one, and its paths reach the model in the order the drag gives them.
#pragma once

#include "Win32Support.h"

namespace corvane {
class MainModel;
}

namespace corvane::win32 {

class DropTarget final : public IDropTarget {
 public:
  explicit DropTarget(MainModel& model) : model_(model) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

 private:
  DWORD Effect(DWORD allowed) const;

  MainModel& model_;
  LONG references_ = 1;
  bool offersFileList_ = false;
};

}  // namespace corvane::win32
