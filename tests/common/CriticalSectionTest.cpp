// Tests of the critical section and its lock.
#include "common/tools/CriticalSection.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Common::Tools::CCriticalSection;
using Common::Tools::ScopedLock;

bool FreeForAnotherThread(CCriticalSection& section)
{
    bool entered = false;
    std::thread probe([&] {
        entered = TryEnterCriticalSection(&section.Native()) != FALSE;
        if (entered)
            section.Leave();
    });
    probe.join();
    return entered;
}

TEST(ScopedLock, HoldsUntilDestroyed)
{
    CCriticalSection section;
    {
        ScopedLock lock(section);
        EXPECT_FALSE(FreeForAnotherThread(section));
    }
    EXPECT_TRUE(FreeForAnotherThread(section));
}

TEST(ScopedLock, UnlockLeavesOnceOnly)
{
    CCriticalSection section;
    section.Enter(); // an outer level the holder must not release
    {
        ScopedLock lock(section);
        lock.Unlock();
        lock.Unlock();
    }
    EXPECT_FALSE(FreeForAnotherThread(section));
    section.Leave();
    EXPECT_TRUE(FreeForAnotherThread(section));
}

} // namespace
