#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "base/thread_queue.h"

using locket::CThreadQueue;

TEST(ThreadQueue, NeverHoldsAsManyBytesAsItsCapacity) {
    CThreadQueue q;
    q.Init(1048576);
    std::vector<unsigned char> big(1048576, 0xAB);
    EXPECT_FALSE(q.Push(big.data(), 1048576, 0));
    EXPECT_EQ(0, q.GetCount());
    EXPECT_TRUE(q.Push(big.data(), 1048575, 0));
    EXPECT_FALSE(q.Push(big.data(), 1, 0));
    q.Clear();
    EXPECT_EQ(0, q.GetUsedBytes());
    EXPECT_TRUE(q.Push(big.data(), 1000, 0));
}

TEST(ThreadQueue, PopsInOrderWithSizesTagsAndBytes) {
    CThreadQueue q;
    q.Init(1000);
    unsigned char a[10], b[20], c[30];
    std::memset(a, 1, sizeof a);
    std::memset(b, 2, sizeof b);
    std::memset(c, 3, sizeof c);
    ASSERT_TRUE(q.Push(a, 10, 0));
    ASSERT_TRUE(q.Push(b, 20, 1));
    ASSERT_TRUE(q.Push(c, 30, 2));

    unsigned char out[64];
    int size = -1, tag = -1;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(q.Pop(out, sizeof out, &size, &tag));
        EXPECT_EQ((i + 1) * 10, size);
        EXPECT_EQ(i, tag);
        for (int j = 0; j < size; ++j)
            ASSERT_EQ(i + 1, out[j]);
    }
    EXPECT_FALSE(q.Pop(out, sizeof out, &size, &tag));
}

TEST(ThreadQueue, TaggedPopSplitsTheHead) {
    CThreadQueue q;
    q.Init(100);
    unsigned char packet[12];
    int head = 0x30306463;
    std::memcpy(packet, &head, 4);
    for (int i = 4; i < 12; ++i)
        packet[i] = static_cast<unsigned char>(i);
    ASSERT_TRUE(q.Push(packet, 12, 7));
    unsigned char out[8];
    int gotHead = 0, size = 0, tag = 0;
    ASSERT_TRUE(q.PopTagged(&gotHead, out, sizeof out, &size, &tag));
    EXPECT_EQ(head, gotHead);
    EXPECT_EQ(8, size);
    EXPECT_EQ(7, tag);
    EXPECT_EQ(0, std::memcmp(out, packet + 4, 8));
    EXPECT_EQ(0, q.GetUsedBytes());
}

TEST(ThreadQueue, PacketLargerThanTheCallersBufferIsDroppedNotOverrun) {
    CThreadQueue q;
    q.Init(1000);
    unsigned char big[100], small[5] = {9, 9, 9, 9, 9};
    std::memset(big, 0x55, sizeof big);
    ASSERT_TRUE(q.Push(big, 100, 1));
    ASSERT_TRUE(q.Push(small, 5, 2));

    unsigned char out[16 + 8];
    std::memset(out, 0xEE, sizeof out);
    int size = -1, tag = -1;
    EXPECT_FALSE(q.Pop(out, 16, &size, &tag));
    EXPECT_EQ(0, size);
    for (int i = 0; i < 24; ++i)
        ASSERT_EQ(0xEE, out[i]) << "nothing written for a refused packet";

    // The stream goes on with the next packet.
    ASSERT_TRUE(q.Pop(out, 16, &size, &tag));
    EXPECT_EQ(5, size);
    EXPECT_EQ(2, tag);
    EXPECT_EQ(0xEE, out[5]);

    // A tagged packet too short to carry its head is refused too.
    unsigned char three[3] = {1, 2, 3};
    ASSERT_TRUE(q.Push(three, 3, 0));
    int head = 0;
    EXPECT_FALSE(q.PopTagged(&head, out, 16, &size, &tag));
    EXPECT_EQ(0, q.GetCount());
}

TEST(ThreadQueue, ZeroSizePacketAloneReadsAsEmpty) {
    CThreadQueue q;
    q.Init(100);
    ASSERT_TRUE(q.Push(nullptr, 0, 3));
    unsigned char out[4];
    int size = 0, tag = 0;
    EXPECT_FALSE(q.Pop(out, 4, &size, &tag));
    EXPECT_EQ(1, q.GetCount());
}

TEST(ThreadQueue, ConcurrentProducerAndConsumerKeepOrderAndBytes) {
    CThreadQueue q;
    q.Init(4096);
    constexpr int kPackets = 5000;
    // A queue that loses or jams packets stalls one side; the consumer gives up after this
    // long without a packet, and the producer with it.
    constexpr auto kStall = std::chrono::seconds(5);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        std::vector<unsigned char> buf(600);
        for (int i = 0; i < kPackets && !stop; ++i) {
            int size = 1 + (i * 37) % 600;
            for (int j = 0; j < size; ++j)
                buf[j] = static_cast<unsigned char>(i + j);
            while (!q.Push(buf.data(), size, i) && !stop)
                std::this_thread::yield();
        }
    });
    std::vector<unsigned char> out(600);
    int next = 0, bad = 0;
    auto lastPacket = std::chrono::steady_clock::now();
    while (next < kPackets) {
        int size = 0, tag = 0;
        if (!q.Pop(out.data(), 600, &size, &tag)) {
            if (std::chrono::steady_clock::now() - lastPacket > kStall)
                break;
            std::this_thread::yield();
            continue;
        }
        lastPacket = std::chrono::steady_clock::now();
        if (tag != next || size != 1 + (next * 37) % 600)
            ++bad;
        for (int j = 0; j < size; ++j)
            if (out[j] != static_cast<unsigned char>(next + j))
                ++bad;
        ++next;
    }
    stop = true;
    producer.join();
    ASSERT_EQ(kPackets, next) << "no packet for 5 s: the queue lost some";
    EXPECT_EQ(0, bad);
    EXPECT_EQ(0, q.GetCount());
}
