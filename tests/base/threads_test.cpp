#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/single_thread.h"
#include "base/wait_event.h"
#include "platform/clock.h"

using namespace locket;

TEST(WaitEvent, SignalBeforeWaitIsNotLostAndIsTakenOnce) {
    CWaitEvent ev;
    ev.SetEvent();
    EXPECT_EQ(CWaitEvent::kSignalled, ev.WaitEvent(0));
    // A timeout and a sleep each last at least as long as asked.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CWaitEvent::kTimeout, ev.WaitEvent(20));
    SleepMs(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    std::thread t([&] {
        SleepMs(20);
        ev.SetEvent();
    });
    EXPECT_EQ(CWaitEvent::kSignalled, ev.WaitEvent(CWaitEvent::kInfinite));
    t.join();
}

TEST(SingleThread, StopReturnsAfterTheCurrentPassAndNoneStartsAfter) {
    CSingleThread thread("test");
    std::atomic<int> started{0}, finished{0};
    std::atomic<bool> inPass{false};
    ASSERT_TRUE(thread.BeginThread([&] {
        inPass = true;
        ++started;
        SleepMs(5);
        ++finished;
        inPass = false;
        return true;
    }));
    EXPECT_FALSE(thread.BeginThread([] { return true; })) << "one thread per object";
    while (started < 3)
        SleepMs(1);
    thread.StopThread();
    EXPECT_FALSE(inPass.load());
    EXPECT_EQ(started.load(), finished.load());
    int after = started;
    SleepMs(20);
    EXPECT_EQ(after, started.load());
    thread.StopThread();  // twice is harmless

    // The C-style entry and a restart after a stop.
    static std::atomic<int> calls{0};
    ASSERT_TRUE(thread.BeginThread(
        [](void* arg) {
            ++*static_cast<std::atomic<int>*>(arg);
            SleepMs(1);
            return true;
        },
        &calls, 0, 0));
    while (calls < 2)
        SleepMs(1);
    thread.StopThread();
}
