// SPDX-License-Identifier: MIT
#include "platform/win32/control_site.h"

#include <exdisp.h>
#include <exdispid.h>

#include "platform/win32/win32_backend.h"

namespace vellum::platform::win32 {

namespace {

// An event argument as the control passes it: by reference to `type`, possibly wrapped once in
// a variant by reference.
VARIANT* Unwrapped(VARIANT& argument) {
  if (V_VT(&argument) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&argument) != nullptr) {
    return V_VARIANTREF(&argument);
  }
  return &argument;
}

}  // namespace

HRESULT ControlSite::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
    *object = static_cast<IDispatch*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ControlSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG ControlSite::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT ControlSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT ControlSite::GetWindow(HWND* hwnd) {
  if (hwnd == nullptr) return E_POINTER;
  *hwnd = window_ != nullptr ? window_->hwnd() : nullptr;
  return *hwnd != nullptr ? S_OK : E_FAIL;
}

HRESULT ControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                      LPRECT position, LPRECT clip,
                                      LPOLEINPLACEFRAMEINFO frame_info) {
  if (frame == nullptr || doc == nullptr || position == nullptr || clip == nullptr ||
      frame_info == nullptr) {
    return E_POINTER;
  }
  if (window_ == nullptr || window_->hwnd() == nullptr) return E_FAIL;
  // The frame is the document window as well.
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *doc = nullptr;
  ::GetClientRect(window_->hwnd(), position);
  *clip = *position;
  frame_info->fMDIApp = FALSE;
  frame_info->hwndFrame = window_->hwnd();
  frame_info->haccel = nullptr;
  frame_info->cAccelEntries = 0;
  return S_OK;
}

HRESULT ControlSite::OnPosRectChange(LPCRECT position) {
  if (position == nullptr) return E_POINTER;
  // The control fills the client area; it gets that, whatever it asks for.
  return S_OK;
}

HRESULT ControlSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
  if (window_ != nullptr) window_->SetActiveObject(active);
  return S_OK;
}

HRESULT ControlSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->dwFlags = kHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}

HRESULT ControlSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return E_NOTIMPL;
}

HRESULT ControlSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target != nullptr) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT ControlSite::GetExternal(IDispatch** external) {
  if (external != nullptr) *external = nullptr;
  return E_NOTIMPL;
}

HRESULT ControlSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* url_out) {
  if (url_out != nullptr) *url_out = nullptr;
  return S_FALSE;
}

HRESULT ControlSite::FilterDataObject(IDataObject*, IDataObject** result) {
  if (result != nullptr) *result = nullptr;
  return S_FALSE;
}

HRESULT ControlSite::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ControlSite::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                            EXCEPINFO*, UINT* arg_error) {
  if (window_ == nullptr) return S_OK;
  switch (member) {
    case DISPID_NEWWINDOW2: {
      // NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel); arguments arrive last first.
      if (params == nullptr || params->cArgs != 2 || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
      }
      VARIANT* cancel = Unwrapped(params->rgvarg[0]);
      VARIANT* pp_disp = Unwrapped(params->rgvarg[1]);
      if (V_VT(pp_disp) != (VT_DISPATCH | VT_BYREF) || V_DISPATCHREF(pp_disp) == nullptr) {
        if (arg_error != nullptr) *arg_error = 0;
        return DISP_E_TYPEMISMATCH;
      }
      if (V_VT(cancel) != (VT_BOOL | VT_BYREF) || V_BOOLREF(cancel) == nullptr) {
        if (arg_error != nullptr) *arg_error = 1;
        return DISP_E_TYPEMISMATCH;
      }
      window_->OnNewWindow2(V_DISPATCHREF(pp_disp), V_BOOLREF(cancel));
      return S_OK;
    }
    case DISPID_WINDOWCLOSING: {
      // WindowClosing(VARIANT_BOOL IsChildWindow, VARIANT_BOOL* Cancel).
      if (params == nullptr || params->cArgs != 2 || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
      }
      VARIANT* cancel = Unwrapped(params->rgvarg[0]);
      if (V_VT(cancel) != (VT_BOOL | VT_BYREF) || V_BOOLREF(cancel) == nullptr) {
        if (arg_error != nullptr) *arg_error = 0;
        return DISP_E_TYPEMISMATCH;
      }
      window_->OnWindowClosing(V_BOOLREF(cancel));
      return S_OK;
    }
    default:
      return S_OK;
  }
}

}  // namespace vellum::platform::win32
