// The engine test fixture and its trace helpers.
#pragma once

#include "common/config/SetupConfig.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/InstallManager.h"
#include "common/tools/SetupTrace.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/DebugOutputCapture.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/RegistryScope.h"
#include "tests/support/TraceLines.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace TestSupport {

// Tests of the engine: a package built from the given files is opened by the
// configuration object (with its "\setup.xml" loaded) and an install manager is
// initialised over it, as setup does at start-up. The command line starts empty.
class CEngineTest : public ::testing::Test
{
protected:
    void SetUp() override { g_CmdLine = CCmdLineHelper(); }

    void TearDown() override
    {
        m_pManager.reset();
        Common::Config::GetSetupConfig().Close();
        g_CmdLine = CCmdLineHelper();
    }

    // Builds and loads the package; false (with a test failure) when it does not.
    // The patch, if any, changes the built package file before it is opened.
    bool LoadPackage(const PackageFiles& files, const PackageTools::SBuildOptions& options = PackageTools::SBuildOptions(),
                     const std::function<void(const std::wstring&)>& patch = nullptr)
    {
        m_pManager.reset();
        auto& config = Common::Config::GetSetupConfig();
        config.Close();
        m_strPackage = MakePackage(m_temp, files, options, L"engine" + std::to_wstring(++m_nPackages) + L".cfs");
        if (patch)
            patch(m_strPackage);
        EXPECT_TRUE(config.GetPackage().Open(m_strPackage, true, false));
        if (files.count(L"setup.xml") != 0) {
            EXPECT_TRUE(config.LoadSettings(L"\\setup.xml"));
        }
        m_pManager = std::make_unique<CInstallManager>();
        return m_pManager->Init() || files.count(L"setup.xml") == 0;
    }

    bool LoadDocument(const std::string& document) { return LoadPackage({{L"setup.xml", ToBytes(document)}}); }

    CInstallManager& Manager() { return *m_pManager; }

    CComScope m_com;
    CTempFolder m_temp;
    std::wstring m_strPackage;
    std::unique_ptr<CInstallManager> m_pManager;
    int m_nPackages = 0;
};

} // namespace TestSupport
