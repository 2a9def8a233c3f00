// The handle holder template: closes once, gives up, resets and moves as it says.
#include "common/tools/ScopedHandle.h"
#include "common/tools/UniqueHandle.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

// Handles made of the addresses of these slots; closing one records its index.
int g_slots[3];
std::vector<int> g_closed;

int* FakeHandle(int index)
{
    return &g_slots[index];
}

BOOL CloseFake(int* handle)
{
    g_closed.push_back(static_cast<int>(handle - g_slots));
    return TRUE;
}

using CFakeHandle = Common::Tools::CUniqueHandle<int*, &CloseFake>;
using CFakeFileHandle = Common::Tools::CUniqueHandle<int*, &CloseFake, -1>;

TEST(UniqueHandle, ClosesWhatItOwnsExactlyOnce)
{
    struct Case {
        const char* name;
        std::function<void()> run;
        std::vector<int> closed;
    } cases[] = {
        {"destroyed", [] { CFakeHandle held(FakeHandle(0)); }, {0}},
        {"empty", [] { CFakeHandle held; }, {}},
        {"null", [] { CFakeFileHandle held(nullptr); }, {}},
        {"the invalid value", [] { CFakeFileHandle held(reinterpret_cast<int*>(-1)); }, {}},
        {"released",
         [] {
             CFakeHandle held(FakeHandle(0));
             EXPECT_EQ(FakeHandle(0), held.Release());
             EXPECT_FALSE(held.IsValid());
         },
         {}},
        {"reset to another", [] {
             CFakeHandle held(FakeHandle(0));
             held.Reset(FakeHandle(1));
             EXPECT_EQ(std::vector<int>{0}, g_closed);
         },
         {0, 1}},
        {"reset to none", [] {
             CFakeHandle held(FakeHandle(0));
             held.Reset();
             held.Reset();
         },
         {0}},
        {"received anew", [] {
             CFakeHandle held(FakeHandle(0));
             int** slot = held.Receive();
             EXPECT_EQ(std::vector<int>{0}, g_closed);
             *slot = FakeHandle(2);
             EXPECT_EQ(FakeHandle(2), held.Get());
         },
         {0, 2}},
        {"moved out", [] {
             CFakeHandle held(FakeHandle(0));
             CFakeHandle taken(std::move(held));
             EXPECT_FALSE(held.IsValid());
             EXPECT_EQ(FakeHandle(0), taken.Get());
         },
         {0}},
        {"moved over another", [] {
             CFakeHandle held(FakeHandle(0));
             CFakeHandle other(FakeHandle(1));
             other = std::move(held);
             EXPECT_EQ(std::vector<int>{1}, g_closed);
         },
         {1, 0}},
    };
    for (const auto& c : cases) {
        g_closed.clear();
        c.run();
        EXPECT_EQ(c.closed, g_closed) << c.name;
    }
}

TEST(UniqueHandle, AnEmptyHolderKeepsTheInvalidValue)
{
    EXPECT_EQ(nullptr, CFakeHandle().Get());
    EXPECT_EQ(reinterpret_cast<int*>(-1), CFakeFileHandle().Get());
    CFakeFileHandle held(FakeHandle(0));
    held.Release();
    EXPECT_EQ(reinterpret_cast<int*>(-1), held.Get());
    g_closed.clear();
}

TEST(UniqueHandle, AKernelHandleIsReallyClosed)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    DWORD flags = 0;
    {
        Common::Tools::CScopedHandle held(event);
        EXPECT_TRUE(GetHandleInformation(event, &flags));
    }
    EXPECT_FALSE(GetHandleInformation(event, &flags));
}

} // namespace
