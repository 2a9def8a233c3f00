// The resources that setup.exe and its companions carry.
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<char> ReadFileBytes(const std::wstring& path)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    const DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size == 0 || !ReadFile(file, bytes.data(), size, &read, nullptr) || read != size)
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

class CResourceImage
{
public:
    explicit CResourceImage(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~CResourceImage()
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    bool Loaded() const { return m_module != nullptr; }
    std::string Resource(const wchar_t* type, int id) const
    {
        HRSRC info = FindResourceW(m_module, MAKEINTRESOURCEW(id), type);
        if (info == nullptr)
            return std::string();
        HGLOBAL data = LoadResource(m_module, info);
        const char* bytes = static_cast<const char*>(LockResource(data));
        return bytes ? std::string(bytes, SizeofResource(m_module, info)) : std::string();
    }

private:
    HMODULE m_module;
};

std::wstring SetupPath()
{
    return TestSupport::ModuleFolder() + L"setup.exe";
}

std::wstring CompanionPath(const wchar_t* name)
{
    return std::wstring(COMPANION_BIN_DIR_W) + L"/" + name;
}

TEST(SetupBinary, ManifestAsksForAdministratorCommonControlsAndDpiAwareness)
{
    CResourceImage setup(SetupPath());
    ASSERT_TRUE(setup.Loaded());
    const std::string manifest = setup.Resource(RT_MANIFEST, 1);
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, manifest.find(">true</dpiAware>"));
}

TEST(SetupBinary, CarriesBothCompanionsByteForByte)
{
    CResourceImage setup(SetupPath());
    ASSERT_TRUE(setup.Loaded());
    const struct {
        int id;
        const wchar_t* name;
    } companions[] = {{134, L"callbridge.exe"}, {137, L"lockscout.exe"}};
    for (const auto& companion : companions) {
        const std::vector<char> file = ReadFileBytes(CompanionPath(companion.name));
        ASSERT_FALSE(file.empty()) << companion.id;
        const std::string resource = setup.Resource(RT_RCDATA, companion.id);
        EXPECT_TRUE(resource.size() == file.size() && std::equal(file.begin(), file.end(), resource.begin()))
            << companion.id;
    }
}

TEST(SetupBinary, CompanionsRunAsInvoker)
{
    for (const wchar_t* name : {L"callbridge.exe", L"lockscout.exe"}) {
        CResourceImage companion(CompanionPath(name));
        ASSERT_TRUE(companion.Loaded()) << name;
        const std::string manifest = companion.Resource(RT_MANIFEST, 1);
        EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << name;
        EXPECT_NE(std::string::npos, manifest.find("processorArchitecture=\"amd64\"")) << name;
    }
}

TEST(SetupBinary, VersionResourceNamesTheProgram)
{
    const std::wstring path = SetupPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(L"setup.exe", text);
}

} // namespace
