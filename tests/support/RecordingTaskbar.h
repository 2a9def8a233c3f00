// A taskbar list that records the calls made on it, standing in for the shell's
// class in this process.
#pragma once

#include "common/tools/ComSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace TestSupport {

// One call that reached the taskbar list.
struct SCall
{
    std::string name;
    HWND window;
    ULONGLONG first;   // state, or completed
    ULONGLONG second;  // total
    bool operator==(const SCall& other) const
    {
        return name == other.name && window == other.window && first == other.first && second == other.second;
    }
};

inline std::ostream& operator<<(std::ostream& out, const SCall& call)
{
    return out << call.name << "(" << call.window << ", " << call.first << ", " << call.second << ")";
}

// A taskbar list that records the calls made on it. With bOffersList false it is an
// object without ITaskbarList3, as on systems older than the interface.
class CRecordingTaskbar : public ITaskbarList3
{
public:
    CRecordingTaskbar(std::vector<SCall>& calls, LONG& alive, bool bOffersList)
        : m_calls(calls), m_alive(alive), m_bOffersList(bOffersList)
    {
        ++m_alive;
    }
    virtual ~CRecordingTaskbar() { --m_alive; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || (m_bOffersList && (iid == IID_ITaskbarList || iid == IID_ITaskbarList2 ||
                                                       iid == IID_ITaskbarList3)))
            *out = static_cast<ITaskbarList3*>(this);
        if (*out == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    STDMETHODIMP HrInit() override { return Record("HrInit"); }
    STDMETHODIMP AddTab(HWND) override { return Record("AddTab"); }
    STDMETHODIMP DeleteTab(HWND) override { return Record("DeleteTab"); }
    STDMETHODIMP ActivateTab(HWND) override { return Record("ActivateTab"); }
    STDMETHODIMP SetActiveAlt(HWND) override { return Record("SetActiveAlt"); }
    STDMETHODIMP MarkFullscreenWindow(HWND, WINBOOL) override { return Record("MarkFullscreenWindow"); }
    STDMETHODIMP SetProgressValue(HWND window, ULONGLONG completed, ULONGLONG total) override
    {
        m_calls.push_back({"SetProgressValue", window, completed, total});
        return E_FAIL; // failures are ignored
    }
    STDMETHODIMP SetProgressState(HWND window, TBPFLAG state) override
    {
        m_calls.push_back({"SetProgressState", window, static_cast<ULONGLONG>(state), 0});
        return E_FAIL;
    }
    STDMETHODIMP RegisterTab(HWND, HWND) override { return Record("RegisterTab"); }
    STDMETHODIMP UnregisterTab(HWND) override { return Record("UnregisterTab"); }
    STDMETHODIMP SetTabOrder(HWND, HWND) override { return Record("SetTabOrder"); }
    STDMETHODIMP SetTabActive(HWND, HWND, DWORD) override { return Record("SetTabActive"); }
    STDMETHODIMP ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return Record("ThumbBarAddButtons"); }
    STDMETHODIMP ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return Record("ThumbBarUpdateButtons"); }
    STDMETHODIMP ThumbBarSetImageList(HWND, HIMAGELIST) override { return Record("ThumbBarSetImageList"); }
    STDMETHODIMP SetOverlayIcon(HWND, HICON, LPCWSTR) override { return Record("SetOverlayIcon"); }
    STDMETHODIMP SetThumbnailTooltip(HWND, LPCWSTR) override { return Record("SetThumbnailTooltip"); }
    STDMETHODIMP SetThumbnailClip(HWND, RECT*) override { return Record("SetThumbnailClip"); }

private:
    HRESULT Record(const char* name)
    {
        m_calls.push_back({name, nullptr, 0, 0});
        return S_OK;
    }

    std::vector<SCall>& m_calls;
    LONG& m_alive;
    bool m_bOffersList;
    LONG m_refs = 1;
};

// Stands in for the shell's TaskbarList class in this process while it lives:
// CoCreateInstance finds a class object registered by the process first. One at a
// time: Wine answers a second registration of the class with S_OK and cookie 0
// and keeps using the first.
class CTaskbarClassScope : public IClassFactory
{
public:
    enum EMode { kRecording, kWithoutList, kFailing };

    void SetMode(EMode mode) { m_mode = mode; }

    explicit CTaskbarClassScope(EMode mode) : m_mode(mode)
    {
        m_hr = CoRegisterClassObject(CLSID_TaskbarList, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    }
    virtual ~CTaskbarClassScope()
    {
        if (SUCCEEDED(m_hr)) {
            EXPECT_EQ(S_OK, CoRevokeClassObject(m_cookie));
        }
    }
    CTaskbarClassScope(const CTaskbarClassScope&) = delete;
    CTaskbarClassScope& operator=(const CTaskbarClassScope&) = delete;

    HRESULT Registered() const { return m_hr; }
    std::vector<SCall>& Calls() { return m_calls; }
    LONG Alive() const { return m_alive; }
    int Created() const { return m_created; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The scope owns itself on the stack.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (m_mode == kFailing)
            return REGDB_E_CLASSNOTREG;
        ++m_created;
        CRecordingTaskbar* object = new CRecordingTaskbar(m_calls, m_alive, m_mode == kRecording);
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    EMode m_mode;
    HRESULT m_hr = E_FAIL;
    DWORD m_cookie = 0;
    std::vector<SCall> m_calls;
    LONG m_alive = 0;
    int m_created = 0;
};

inline SCall State(HWND window, int state)
{
    return {"SetProgressState", window, static_cast<ULONGLONG>(state), 0};
}

inline SCall Value(HWND window, ULONGLONG completed, ULONGLONG total)
{
    return {"SetProgressValue", window, completed, total};
}

} // namespace TestSupport
