// Drives the wizard pages from a test.
#pragma once

#include "tests/support/GuiDriver.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

// What a page showed when the driver found it.
struct SPageSeen
{
    bool found = false;
    std::wstring title;
    std::map<int, std::wstring> texts;
    std::map<int, bool> visible;
    std::map<int, int> checks;
    std::vector<std::wstring> placeholders; // visible controls still showing a "~"
};

// The result a page gets when the driver has to end it.
const INT_PTR kPageWatchdogResult = 77;

// Waits on a thread of its own for the shown page that has control 'markerId',
// records it, then runs the actions on it while the page runs modally on the test
// thread. A page still open ten seconds later is ended with kPageWatchdogResult
// (message boxes over it first), so that a page that will not close fails the
// test instead of hanging it. TSeen may carry more findings of the actions.
template <class TSeen = SPageSeen>
class CPageDriver
{
public:
    typedef std::function<void(const CGuiDriver&, HWND, TSeen&)> Actions;
    typedef std::function<void(const CGuiDriver&, HWND)> PlainActions;

    CPageDriver(int markerId, Actions act)
    {
        m_thread = std::thread([this, markerId, act] {
            CGuiDriver driver;
            HWND page = driver.WaitFor(SWindowMatch::Dialog(markerId));
            if (page == nullptr)
                return;
            Record(driver, page);
            if (act)
                act(driver, page, m_seen);
            driver.SetTimeout(10000);
            if (driver.WaitGone(page))
                return;
            driver.SetTimeout(1000);
            for (int round = 0; round < 10 && ::IsWindow(page); ++round) {
                while (HWND box = driver.Find(SWindowMatch::Dialog(kMessageBoxTextId).OwnedBy(page)))
                    ::EndDialog(box, IDNO);
                ::EndDialog(page, kPageWatchdogResult);
                driver.WaitGone(page);
            }
        });
    }
    CPageDriver(int markerId, PlainActions act)
        : CPageDriver(markerId, Actions([act](const CGuiDriver& driver, HWND page, TSeen&) {
              if (act)
                  act(driver, page);
          }))
    {
    }
    ~CPageDriver()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    CPageDriver(const CPageDriver&) = delete;
    CPageDriver& operator=(const CPageDriver&) = delete;

    const TSeen& Seen()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_seen;
    }

private:
    void Record(const CGuiDriver& driver, HWND page)
    {
        m_seen.found = true;
        m_seen.title = driver.Title(page);
        for (HWND child = ::GetWindow(page, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
            const int id = ::GetDlgCtrlID(child);
            const std::wstring text = driver.Text(child);
            const bool shown = (::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
            if (id > 0) {
                m_seen.texts[id] = text;
                m_seen.visible[id] = shown;
                m_seen.checks[id] = driver.CheckState(page, id);
            }
            if (shown && text.find(L'~') != std::wstring::npos)
                m_seen.placeholders.push_back(text);
        }
    }

    TSeen m_seen;
    std::thread m_thread;
};

} // namespace TestSupport
