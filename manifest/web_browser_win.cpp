#include "manifest/web_browser_win.h"

#include <ole2.h>
#include <exdisp.h>
#include <exdispid.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "manifest/com_ptr_win.h"
#include "manifest/history.h"

namespace {

const wchar_t kHostClassName[] = L"TallixBrowserHost";

// The container side of the control: client site, in-place site and frame, all answered by the
// host window. Reference-counted like any COM object; the host holds one reference.
class BrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
  public:
    explicit BrowserSite(HWND host) : host_(host) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (of the in-place site and of the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        *out = host_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        GetClientRect(host_, position);
        GetClientRect(host_, clip);
        info->cb = sizeof *info;
        info->fMDIApp = FALSE;
        info->hwndFrame = host_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tool bars or status line.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  private:
    virtual ~BrowserSite() = default;

    HWND host_;
    std::atomic<ULONG> references_{1};
};

// The control's DWebBrowserEvents2 sink: it acts on no event.
class BrowserEvents : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return S_OK;
    }

  private:
    virtual ~BrowserEvents() = default;
    std::atomic<ULONG> references_{1};
};

}  // namespace

// The host window and the control in it; lives on the browser thread.
class CWebBrowser {
  public:
    CWebBrowser() = default;
    ~CWebBrowser() { Release(); }
    CWebBrowser(const CWebBrowser&) = delete;
    CWebBrowser& operator=(const CWebBrowser&) = delete;

    bool Create(HWND parent, const std::wstring& classId);
    HWND Hwnd() const { return hwnd_; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool Embed(const std::wstring& classId);
    void Navigate(const std::wstring& path);
    void Resize(int width, int height);
    void Release();

    HWND hwnd_ = nullptr;
    BrowserSite* site_ = nullptr;
    BrowserEvents* events_ = nullptr;
    DWORD cookie_ = 0;
    ComPtr<IOleObject> object_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPoint> eventPoint_;
};

LRESULT CALLBACK CWebBrowser::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CWebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case UM_SHOW_PAGE: {
            auto* block = reinterpret_cast<std::uint8_t*>(lParam);
            if (block != nullptr) {
                const std::wstring path = DecodeShowPageBlock(block);
                delete[] block;
                if (self != nullptr) {
                    self->Navigate(path);
                }
            }
            return 0;
        }
        case WM_SIZE:
            if (self != nullptr) {
                self->Resize(LOWORD(lParam), HIWORD(lParam));
            }
            return 0;
        case WM_DESTROY:
            if (self != nullptr) {
                self->Release();
            }
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool CWebBrowser::Create(HWND parent, const std::wstring& classId) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kHostClassName;
    RegisterClassExW(&wc);  // fails harmlessly when the class exists
    RECT client = {};
    GetClientRect(parent, &client);
    hwnd_ = CreateWindowExW(0, kHostClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            client.right, client.bottom, parent, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        return false;
    }
    if (!Embed(classId)) {
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

bool CWebBrowser::Embed(const std::wstring& classId) {
    CLSID clsid;
    std::vector<wchar_t> text(classId.begin(), classId.end());
    text.push_back(L'\0');
    if (FAILED(CLSIDFromString(text.data(), &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                object_.PutVoid()))) {
        return false;
    }
    site_ = new BrowserSite(hwnd_);
    object_->SetClientSite(site_);
    RECT client = {};
    GetClientRect(hwnd_, &client);
    object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, hwnd_, &client);
    browser_ = object_.As<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser_) {
        return false;
    }
    browser_->put_Silent(VARIANT_TRUE);  // no script error boxes
    const auto points = object_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (points &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, eventPoint_.Put()))) {
        events_ = new BrowserEvents;
        if (FAILED(eventPoint_->Advise(events_, &cookie_))) {
            cookie_ = 0;
        }
    }
    return true;
}

void CWebBrowser::Navigate(const std::wstring& path) {
    if (!browser_) {
        return;
    }
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(path.c_str());
    browser_->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
    VariantClear(&url);
}

void CWebBrowser::Resize(int width, int height) {
    if (const auto inPlace = object_.As<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
        RECT area = {0, 0, width, height};
        inPlace->SetObjectRects(&area, &area);
    }
}

void CWebBrowser::Release() {
    if (eventPoint_ && cookie_ != 0) {
        eventPoint_->Unadvise(cookie_);
    }
    cookie_ = 0;
    eventPoint_.Reset();
    browser_.Reset();
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.Reset();
    }
    if (events_ != nullptr) {
        std::exchange(events_, nullptr)->Release();
    }
    if (site_ != nullptr) {
        std::exchange(site_, nullptr)->Release();
    }
}

namespace {

struct BrowserThreadStart {
    HWND panel;
    std::uint8_t* block;  // the control's class id; the thread frees it
};

DWORD WINAPI BrowserThread(void* parameter) {
    auto* start = static_cast<BrowserThreadStart*>(parameter);
    const HWND panel = start->panel;
    const std::wstring classId = DecodeShowPageBlock(start->block);
    delete[] start->block;
    delete start;

    CoInitialize(nullptr);
    {
        CWebBrowser browser;
        if (browser.Create(panel, classId)) {
            PostMessageW(panel, UM_BROWSER_READY, reinterpret_cast<WPARAM>(browser.Hwnd()), 0);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    CoUninitialize();
    return 0;
}

std::uint8_t* NewBlock(std::uint32_t value, const std::wstring& text) {
    const std::vector<std::uint8_t> bytes = EncodeShowPageBlock(value, text);
    auto* block = new std::uint8_t[kShowPageBlockSize];
    std::memcpy(block, bytes.data(), kShowPageBlockSize);
    return block;
}

}  // namespace

bool StartBrowserThread(HWND panel, const std::wstring& classId) {
    auto* start = new BrowserThreadStart{panel, NewBlock(0, classId)};
    HANDLE thread = CreateThread(nullptr, 0, BrowserThread, start, 0, nullptr);
    if (thread == nullptr) {
        delete[] start->block;
        delete start;
        return false;
    }
    CloseHandle(thread);  // the thread ends with its window
    return true;
}

bool PostShowPage(HWND browser, std::uint32_t value, const std::wstring& path) {
    std::uint8_t* block = NewBlock(value, path);
    if (browser == nullptr ||
        !PostMessageW(browser, UM_SHOW_PAGE, 0, reinterpret_cast<LPARAM>(block))) {
        delete[] block;
        return false;
    }
    return true;
}
