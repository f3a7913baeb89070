#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "base/single_thread.h"
#include "base/thread_queue.h"
#include "base/wait_event.h"
#include "platform/clock.h"

using namespace locket;

TEST(ThreadQueue, PopsInOrderSplitsTheHeadOffAndRefusesWhatDoesNotFitWithoutLosingTheRest) {
    CThreadQueue q;
    q.Init(1000);
    // Packet i: 10 * i bytes counting up from 20 * i, tag i.
    const auto bytes = [](int i, int from, int n) {
        std::vector<unsigned char> v(n);
        for (int k = 0; k < n; ++k)
            v[k] = static_cast<unsigned char>(20 * i + from + k);
        return v;
    };
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(q.Push(bytes(i, 0, 10 * i).data(), 10 * i, i));
    unsigned char out[64];
    int size = -1, tag = -1, head = 0;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(q.Pop(out, sizeof out, &size, &tag));
        EXPECT_EQ(i, tag);
        EXPECT_EQ(std::vector<unsigned char>(out, out + size), bytes(i, 0, 10 * i));
    }
    // The last one with its first four bytes as the head.
    ASSERT_TRUE(q.PopTagged(&head, out, sizeof out, &size, &tag));
    EXPECT_EQ(0x53525150, head);
    EXPECT_EQ(4, tag);
    EXPECT_EQ(std::vector<unsigned char>(out, out + size), bytes(4, 4, 36));
    EXPECT_FALSE(q.Pop(out, sizeof out, &size, &tag));

    // A zero-size packet alone reads as empty.
    ASSERT_TRUE(q.Push(nullptr, 0, 3));
    EXPECT_FALSE(q.Pop(out, 4, &size, &tag));
    EXPECT_EQ(1, q.GetCount());

    // It never holds as many bytes as its capacity.
    q.Clear();
    unsigned char big[1000], small[5] = {9, 9, 9, 9, 9};
    std::memset(big, 0x55, sizeof big);
    EXPECT_FALSE(q.Push(big, 1000, 0));
    EXPECT_TRUE(q.Push(big, 999, 0));
    EXPECT_FALSE(q.Push(big, 1, 0));
    q.Clear();

    // A packet larger than the caller's buffer is dropped, nothing written, and the stream goes
    // on with the next one.
    ASSERT_TRUE(q.Push(big, 100, 1));
    ASSERT_TRUE(q.Push(small, 5, 2));
    std::memset(out, 0xEE, 24);
    size = -1;
    EXPECT_FALSE(q.Pop(out, 16, &size, &tag));
    EXPECT_EQ(0, size);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 24), std::vector<unsigned char>(24, 0xEE));
    ASSERT_TRUE(q.Pop(out, 16, &size, &tag));
    EXPECT_EQ(5, size);
    EXPECT_EQ(2, tag);
    EXPECT_EQ(0xEE, out[5]);

    // A tagged packet too short to carry its head is refused too.
    ASSERT_TRUE(q.Push(small, 3, 0));
    EXPECT_FALSE(q.PopTagged(&head, out, 16, &size, &tag));
    EXPECT_EQ(0, q.GetCount());
}

TEST(ThreadQueue, ConcurrentProducerAndConsumerKeepOrderAndBytes) {
    CThreadQueue q;
    q.Init(4096);
    constexpr int kPackets = 5000;
    const auto packet = [](int i) {
        std::vector<unsigned char> v(1 + (i * 37) % 600);
        for (size_t j = 0; j < v.size(); ++j)
            v[j] = static_cast<unsigned char>(i + j);
        return v;
    };
    // A queue that loses or jams packets stalls both sides until the deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto late = [&] { return std::chrono::steady_clock::now() > deadline; };
    std::thread producer([&] {
        for (int i = 0; i < kPackets; ++i) {
            const std::vector<unsigned char> v = packet(i);
            while (!q.Push(v.data(), static_cast<int>(v.size()), i) && !late())
                std::this_thread::yield();
        }
    });
    std::vector<unsigned char> out(600);
    int next = 0, bad = 0;
    while (next < kPackets && !late()) {
        int size = 0, tag = 0;
        if (!q.Pop(out.data(), 600, &size, &tag)) {
            std::this_thread::yield();
            continue;
        }
        if (tag != next ||
            std::vector<unsigned char>(out.begin(), out.begin() + size) != packet(next))
            ++bad;
        ++next;
    }
    producer.join();
    ASSERT_EQ(kPackets, next) << "the queue lost packets or jammed";
    EXPECT_EQ(0, bad);
}

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
    EXPECT_EQ(CWaitEvent::kTimeout, ev.WaitEvent(0)) << "the endless wait took the signal";
}

TEST(SingleThread, StopReturnsAfterTheCurrentPassAndNoneStartsAfter) {
    CSingleThread thread("test");
    std::atomic<int> started{0}, finished{0};
    ASSERT_TRUE(thread.BeginThread([&] {
        ++started;
        SleepMs(5);
        ++finished;
        return true;
    }));
    EXPECT_FALSE(thread.BeginThread([] { return true; })) << "one thread per object";
    while (started < 3)
        SleepMs(1);
    thread.StopThread();
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
