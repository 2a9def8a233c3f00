// The DLL-call library's log switched on for every test of a program.
#pragma once

#include "common/tools/DebugLog.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <memory>

namespace TestSupport {

// Every record of the library is written: the log reads its switch once, when it
// is first used, so the switch is set before any test runs (register one with
// AddGlobalTestEnvironment).
class CDllLogSwitch : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_switch.reset(new CRegistryValueScope(CRegistryValueScope::Dword(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Velmora", L"LogLevel", OwnRegistryView(), 4)));
        ASSERT_EQ(4, CDebugLog::Instance().GetThreshold());
    }
    void TearDown() override { m_switch.reset(); }

private:
    std::unique_ptr<CRegistryValueScope> m_switch;
};

} // namespace TestSupport
