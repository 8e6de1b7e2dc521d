// Names for assistive technology through the system's annotation service.
#include "ui/win32/UiInternal.h"

#include <oleacc.h>

namespace qk::ui {

bool AnnotateName(HWND hwnd, const std::wstring& name) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services))) ||
        !services)
        return false;
    const HRESULT set = services->SetHwndPropStr(hwnd, DWORD(OBJID_CLIENT), CHILDID_SELF,
                                                 PROPID_ACC_NAME, name.c_str());
    services->Release();
    return SUCCEEDED(set);
}

} // namespace qk::ui
