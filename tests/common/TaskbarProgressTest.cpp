// Tests of the taskbar progress.
#include "common/ui/TaskbarProgress.h"

#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using UI::CTaskbarProgress;

namespace {

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

std::ostream& operator<<(std::ostream& out, const SCall& call)
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

const HWND kWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
const HWND kOtherWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x5678));

SCall State(HWND window, int state)
{
    return {"SetProgressState", window, static_cast<ULONGLONG>(state), 0};
}

SCall Value(HWND window, ULONGLONG completed, ULONGLONG total)
{
    return {"SetProgressValue", window, completed, total};
}

class TaskbarProgressTest : public ::testing::Test
{
protected:
    TestSupport::CComScope m_com;
};

TEST_F(TaskbarProgressTest, CopyRunAsTheEngineDrivesIt)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        EXPECT_TRUE(progress.HasTaskbarList());
        EXPECT_EQ(kWindow, progress.GetWindow());
        // No other initialisation call is made on the interface.
        EXPECT_TRUE(shell.Calls().empty());

        progress.SetState(CTaskbarProgress::kNormal);
        progress.m_ullTotal = 3;
        progress.m_ullStep = 1;
        progress.SetValue(0);
        for (int item = 0; item < 3; ++item)
            progress.SetValue(progress.GetCompleted() + progress.m_ullStep);
        EXPECT_EQ(3u, progress.GetCompleted());
        progress.SetState(CTaskbarProgress::kError);
        EXPECT_EQ(CTaskbarProgress::kError, progress.GetState());
        EXPECT_EQ(1, shell.Alive());
    }
    const std::vector<SCall> expected = {
        State(kWindow, 2), Value(kWindow, 0, 3), Value(kWindow, 1, 3), Value(kWindow, 2, 3), Value(kWindow, 3, 3),
        State(kWindow, 4),
        State(kWindow, 0), // the destructor takes the progress off the button
    };
    EXPECT_EQ(expected, shell.Calls());
    EXPECT_EQ(0, shell.Alive()); // and releases the interface
}

TEST_F(TaskbarProgressTest, DestructorResetsOnlyAfterAStateOtherThanNone)
{
    const struct {
        const char* name;
        std::vector<int> states;
        bool bReset;
    } cases[] = {
        {"no state", {}, false},
        {"normal", {2}, true},
        {"indeterminate", {1}, true},
        {"paused", {8}, true},
        {"normal, then none", {2, 0}, false},
        {"none, then error", {0, 4}, true},
    };
    for (const auto& c : cases) {
        CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
        ASSERT_EQ(S_OK, shell.Registered());
        {
            CTaskbarProgress progress;
            ASSERT_TRUE(progress.Init(kWindow));
            progress.SetValue(7);
            for (int state : c.states)
                progress.SetState(state);
        }
        std::vector<SCall> expected = {Value(kWindow, 7, 0)};
        for (int state : c.states)
            expected.push_back(State(kWindow, state));
        if (c.bReset)
            expected.push_back(State(kWindow, 0));
        EXPECT_EQ(expected, shell.Calls()) << c.name;
        EXPECT_EQ(0, shell.Alive()) << c.name;
    }
}

TEST_F(TaskbarProgressTest, WithoutTheInterfaceNothingIsCalledOrRemembered)
{
    const struct {
        const char* name;
        bool bInit;
        CTaskbarClassScope::EMode mode;
    } cases[] = {
        {"before Init", false, CTaskbarClassScope::kRecording},
        {"object without ITaskbarList3", true, CTaskbarClassScope::kWithoutList},
        {"class that cannot be created", true, CTaskbarClassScope::kFailing},
    };
    for (const auto& c : cases) {
        CTaskbarClassScope shell(c.mode);
        ASSERT_EQ(S_OK, shell.Registered());
        {
            CTaskbarProgress progress;
            if (c.bInit) {
                EXPECT_FALSE(progress.Init(kWindow)) << c.name;
                EXPECT_EQ(kWindow, progress.GetWindow()) << c.name;
            }
            EXPECT_FALSE(progress.HasTaskbarList()) << c.name;
            progress.m_ullTotal = 10;
            progress.SetState(CTaskbarProgress::kNormal);
            progress.SetValue(5);
            EXPECT_EQ(0, progress.GetState()) << c.name;
            EXPECT_EQ(0u, progress.GetCompleted()) << c.name;
        }
        EXPECT_TRUE(shell.Calls().empty()) << c.name;
        EXPECT_EQ(0, shell.Alive()) << c.name;
    }
}

TEST_F(TaskbarProgressTest, InitAgainReleasesTheOldInterfaceAndTakesTheNewWindow)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        progress.SetState(CTaskbarProgress::kPaused);
        ASSERT_TRUE(progress.Init(kOtherWindow));
        EXPECT_EQ(2, shell.Created());
        EXPECT_EQ(1, shell.Alive());
        progress.SetState(CTaskbarProgress::kIndeterminate);
    }
    const std::vector<SCall> expected = {State(kWindow, 8), State(kOtherWindow, 1), State(kOtherWindow, 0)};
    EXPECT_EQ(expected, shell.Calls());
    EXPECT_EQ(0, shell.Alive());
}

TEST_F(TaskbarProgressTest, AFailedInitAfterAGoodOneKeepsNoInterface)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        shell.SetMode(CTaskbarClassScope::kWithoutList);
        EXPECT_FALSE(progress.Init(kOtherWindow));
        EXPECT_FALSE(progress.HasTaskbarList());
        EXPECT_EQ(2, shell.Created());
        EXPECT_EQ(0, shell.Alive());
        progress.SetState(CTaskbarProgress::kNormal);
        EXPECT_EQ(0, progress.GetState());
    }
    EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(TaskbarProgressTest, TheSystemTaskbarListIsObtained)
{
    // Wine's shell object accepts every call; this only shows the real class and
    // interface are found by the ids used.
    CTaskbarProgress progress;
    ASSERT_TRUE(progress.Init(nullptr));
    progress.m_ullTotal = 4;
    progress.SetState(CTaskbarProgress::kNormal);
    progress.SetValue(2);
    EXPECT_EQ(CTaskbarProgress::kNormal, progress.GetState());
    EXPECT_EQ(2u, progress.GetCompleted());
}

TEST(TaskbarProgressWithoutCom, InitFails)
{
    CTaskbarProgress progress;
    EXPECT_FALSE(progress.Init(kWindow));
    progress.SetState(CTaskbarProgress::kNormal);
    EXPECT_EQ(0, progress.GetState());
}

} // namespace
