// Tests of the resource cache.
#include "common/tools/ResourceCache.h"

#include "common/tools/FileTools.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using Common::Tools::CResourceCache;
using Common::Tools::LoadResourceToGlobal;
using TestSupport::Bytes;

namespace {

// A copy of the test's child program with RCDATA resources added, loaded as data.
// The program carries an empty one, 152, of its own.
class ResourceCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strModule = m_temp / L"with-resources.exe";
        ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"childprog.exe").c_str(), m_strModule.c_str(), FALSE));
        HANDLE update = BeginUpdateResourceW(m_strModule.c_str(), FALSE);
        ASSERT_NE(nullptr, update);
        Add(update, 150, m_first.data(), static_cast<DWORD>(m_first.size()));
        Add(update, 151, m_second.data(), static_cast<DWORD>(m_second.size()));
        ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
        m_module.Reset(LoadLibraryExW(m_strModule.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module.IsValid());
    }

    static void Add(HANDLE update, WORD id, BYTE* data, DWORD size)
    {
        ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(id),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data, size));
    }

    static Bytes BlockBytes(HGLOBAL block)
    {
        const BYTE* data = static_cast<const BYTE*>(GlobalLock(block));
        Bytes bytes;
        if (data != nullptr) {
            bytes.assign(data, data + GlobalSize(block));
            GlobalUnlock(block);
        }
        return bytes;
    }

    // A freed movable block is no longer a valid handle.
    static bool IsFreed(HGLOBAL block) { return GlobalSize(block) == 0; }

    TestSupport::CTempFolder m_temp;
    std::wstring m_strModule;
    CModuleHolder m_module;
    Bytes m_first = TestSupport::Noise(70000, 11);
    Bytes m_second = TestSupport::Pattern(3, 12);
};

TEST_F(ResourceCacheTest, CopiesEachResourceOnceIntoMovableMemory)
{
    CResourceCache cache;
    HGLOBAL first = LoadResourceToGlobal(cache, m_module.Get(), 150);
    HGLOBAL second = LoadResourceToGlobal(cache, m_module.Get(), 151);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(m_first, BlockBytes(first));
    EXPECT_EQ(m_second, BlockBytes(second));
    // Movable memory: the handle is not the address of the bytes.
    EXPECT_NE(first, GlobalLock(first));
    GlobalUnlock(first);
    EXPECT_EQ(first, cache.Find(150));

    // From the cache, without touching the module again (it is gone).
    m_module.Reset();
    EXPECT_EQ(first, LoadResourceToGlobal(cache, nullptr, 150));
    EXPECT_EQ(second, LoadResourceToGlobal(cache, nullptr, 151));
}

TEST_F(ResourceCacheTest, MissingAndEmptyResourcesGiveNullAndCacheNothing)
{
    CResourceCache cache;
    const struct {
        const char* name;
        HMODULE module;
        UINT id;
    } cases[] = {
        {"missing id", m_module.Get(), 999},
        {"empty resource", m_module.Get(), 152},
        {"the test program itself", nullptr, 150},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nullptr, LoadResourceToGlobal(cache, c.module, c.id)) << c.name;
        EXPECT_EQ(nullptr, cache.Find(c.id)) << c.name;
    }
    // The id that failed for the test program is found in the module afterwards.
    EXPECT_NE(nullptr, LoadResourceToGlobal(cache, m_module.Get(), 150));
}

TEST_F(ResourceCacheTest, TheCacheFreesBlocksItReplacesAndAllAtTheEnd)
{
    HGLOBAL first = nullptr, replaced = nullptr, kept = nullptr;
    {
        CResourceCache cache;
        first = LoadResourceToGlobal(cache, m_module.Get(), 150);
        replaced = LoadResourceToGlobal(cache, m_module.Get(), 151);
        ASSERT_NE(nullptr, first);
        ASSERT_NE(nullptr, replaced);
        // Storing the block already held keeps it.
        cache.Store(150, first);
        EXPECT_FALSE(IsFreed(first));
        kept = GlobalAlloc(GMEM_MOVEABLE, 8);
        ASSERT_NE(nullptr, kept);
        cache.Store(151, kept);
        EXPECT_TRUE(IsFreed(replaced));
        EXPECT_EQ(kept, cache.Find(151));
        EXPECT_EQ(kept, LoadResourceToGlobal(cache, m_module.Get(), 151));
    }
    EXPECT_TRUE(IsFreed(first));
    EXPECT_TRUE(IsFreed(kept));
}

TEST(ResourceCacheMemory, FreeGlobalMemoryFreesAndClears)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(nullptr, block);
    HGLOBAL copy = block;
    Common::Tools::FreeGlobalMemory(block);
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(0u, GlobalSize(copy));
    Common::Tools::FreeGlobalMemory(block); // nothing held: nothing done
    EXPECT_EQ(nullptr, block);
}

TEST(ResourceCacheMemory, TheProgramWideCacheIsOneObject)
{
    EXPECT_EQ(&Common::Tools::GetResourceCache(), &Common::Tools::GetResourceCache());
}

} // namespace
