#include <gtest/gtest.h>
#include <winsock2.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#include "base/system/TSingleton.h"
#include "base/system/Winsock.h"
#include "base/system/ZDateTime.h"
#include "base/system/ZLock.h"
#include "base/system/ZThread.h"

using namespace Base::System;

namespace {

std::atomic<int> g_calls{0};
void Count(void*) { ++g_calls; }

std::atomic<DWORD> g_threadId{0};
void Forever(void*)
{
    g_threadId = GetCurrentThreadId();
    for (;;) Sleep(10);
}

std::atomic<int> g_constructed{0};
struct Counted { Counted() { ++g_constructed, Sleep(20); } };

}  // namespace

TEST(ZThreadTest, OnceAndLoopModesRunTheProcUntilStoppedAndStopWithoutWaitTerminates)
{
    ZThread t;
    EXPECT_FALSE(t.Start(false));  // no proc
    g_calls = 0;
    t.SetProc(&Count, nullptr);
    ASSERT_TRUE(t.Start(false));
    t.Stop(true);
    EXPECT_EQ(g_calls, 1);
    EXPECT_FALSE(t.Start(false)) << "Stop resets the proc";

    t.SetProc(&Count, nullptr);
    ASSERT_TRUE(t.Start(true));
    EXPECT_FALSE(t.Start(true)) << "a thread already runs";
    while (g_calls < 100) Sleep(1);
    t.Stop(true);
    EXPECT_TRUE(t.IsFinished());
    const int after = g_calls;
    Sleep(20);
    EXPECT_EQ(g_calls, after);

    // Stop without waiting terminates a thread that does not finish.
    g_threadId = 0;
    t.SetProc(&Forever, nullptr);
    ASSERT_TRUE(t.Start(false));
    // Terminating a thread still in its start-up could leave loader locks held.
    while (g_threadId == 0) Sleep(1);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, g_threadId);
    ASSERT_NE(thread, nullptr);
    t.Stop(false);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the thread still runs";
    CloseHandle(thread);
}

TEST(ZLockTest, ReentrantForItsOwnerExclusiveAcrossThreadsAndOneSingletonForThemAll)
{
    ZSemiAutoIntLock lock(4000);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 20000; ++k) {
                ZLocker guard(lock);
                ZLocker again(lock);  // the owner may enter again
                const long v = counter;
                if ((k & 1023) == 0) Sleep(0);
                counter = v + 1;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(counter, 80000);

    // Many threads get one singleton.
    std::vector<Counted*> seen(8, nullptr);
    std::atomic<bool> go{false};
    threads.clear();
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            while (!go) std::this_thread::yield();
            seen[i] = Base::Utility::TSingleton<Counted>::Instance();
        });
    go = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(g_constructed, 1);
    for (Counted* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST(ZDateTimeTest, FieldsAreLocalTimeAndWinsockIsStartedBeforeMain)
{
    const std::time_t t = 1796448743;
    const ZDateTime d = ZDateTime::FromTime(1796448743u);
    EXPECT_EQ(d.Hour() * 60 + d.Minute(), std::localtime(&t)->tm_hour * 60 + std::localtime(&t)->tm_min);
    EXPECT_LE(static_cast<std::time_t>(ZDateTime(true).Time()), std::time(nullptr));
    // That sockets then open, every network test of this program shows.
    EXPECT_TRUE(IsWinsockStarted());
}
