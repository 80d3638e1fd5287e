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

void WaitForGo(void* arg)
{
    auto* go = static_cast<std::atomic<bool>*>(arg);
    while (!*go) Sleep(1);
}

void Forever(void* arg)
{
    *static_cast<std::atomic<bool>*>(arg) = true;
    for (;;) Sleep(10);
}

struct Counted {
    Counted() { ++constructed; Sleep(20); }
    static std::atomic<int> constructed;
};
std::atomic<int> Counted::constructed{0};

}  // namespace

TEST(ZThreadTest, StartNeedsAProcAndNoRunningThread)
{
    ZThread t;
    EXPECT_FALSE(t.Start(false));
    EXPECT_TRUE(t.IsFinished());

    std::atomic<bool> go{false};
    t.SetProc(&WaitForGo, &go);
    ASSERT_TRUE(t.Start(false));
    EXPECT_FALSE(t.Start(false));
    go = true;
    t.Stop(true);
    EXPECT_TRUE(t.IsFinished());
}

TEST(ZThreadTest, LoopModeCallsUntilStopped)
{
    g_calls = 0;
    ZThread t;
    t.SetProc(&Count, nullptr);
    ASSERT_TRUE(t.Start(true));
    while (g_calls < 100) Sleep(1);
    t.Stop(true);
    EXPECT_TRUE(t.IsFinished());
    const int after = g_calls;
    Sleep(20);
    EXPECT_EQ(g_calls, after);
    // Stop resets the thread: it needs a proc again.
    EXPECT_FALSE(t.Start(true));
}

TEST(ZThreadTest, OnceModeRunsOnceAndCanBeRestarted)
{
    g_calls = 0;
    ZThread t;
    t.SetProc(&Count, nullptr);
    ASSERT_TRUE(t.Start(false));
    while (!t.IsFinished()) Sleep(1);
    EXPECT_EQ(g_calls, 1);
    t.Stop(false);
    t.SetProc(&Count, nullptr);
    ASSERT_TRUE(t.Start(false));
    t.Stop(true);
    EXPECT_EQ(g_calls, 2);
}

TEST(ZThreadTest, StopWithoutWaitTerminatesAThreadThatDoesNotFinish)
{
    ZThread t;
    std::atomic<bool> running{false};
    t.SetProc(&Forever, &running);
    ASSERT_TRUE(t.Start(false));
    // Terminating a thread still in its start-up could leave loader locks held.
    while (!running) Sleep(1);
    t.Stop(false);
    EXPECT_TRUE(t.IsFinished());
}

TEST(ZLockTest, ReentrantForItsOwnerAndExclusiveAcrossThreads)
{
    ZSemiAutoIntLock lock;
    {
        ZLocker outer(lock);
        ZLocker inner(lock);  // the same thread may enter again
    }
    ZSemiAutoIntLock spinning(4000);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < 20000; ++k) {
                ZLocker guard(spinning);
                long v = counter;
                if ((k & 1023) == 0) Sleep(0);
                counter = v + 1;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(counter, 80000);
}

TEST(TSingletonTest, ManyThreadsGetOneInstance)
{
    std::vector<Counted*> seen(8, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go) std::this_thread::yield();
            seen[i] = Base::Utility::TSingleton<Counted>::Instance();
        });
    }
    go = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(Counted::constructed, 1);
    for (Counted* p : seen) EXPECT_EQ(p, seen[0]);
    EXPECT_EQ(Base::Utility::TSingleton<Counted>::Instance(), seen[0]);
}

TEST(ZDateTimeTest, FieldsAreLocalTime)
{
    ZDateTime zero(false);
    EXPECT_EQ(zero.Time(), 0u);
    std::time_t t0 = 0;
    std::tm local = *std::localtime(&t0);
    EXPECT_EQ(zero.Year(), local.tm_year + 1900);
    EXPECT_EQ(zero.Month(), local.tm_mon + 1);
    EXPECT_EQ(zero.Day(), local.tm_mday);
    EXPECT_EQ(zero.Hour(), local.tm_hour);
    EXPECT_EQ(zero.Minute(), local.tm_min);

    ZDateTime now(true);
    EXPECT_GE(now.Year(), 2024);
    EXPECT_LE(static_cast<std::time_t>(now.Time()), std::time(nullptr));

    // 2026-12-05 05:32:23 UTC
    ZDateTime fixed = ZDateTime::FromTime(1796448743u);
    std::time_t tf = 1796448743;
    std::tm lf = *std::localtime(&tf);
    EXPECT_EQ(fixed.Day(), lf.tm_mday);
    EXPECT_EQ(fixed.Year(), 2026);
}

TEST(WinsockTest, StartedBeforeMain)
{
    EXPECT_TRUE(IsWinsockStarted());
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_NE(s, INVALID_SOCKET);
    closesocket(s);
}
