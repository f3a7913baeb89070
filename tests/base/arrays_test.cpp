#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "base/vip_array.h"
#include "base/vip_image.h"

using locket::CVipArray;
using locket::CVipArrBase;
using locket::CVipImage;

TEST(VipArray, CopiesShareUntilOneWrites) {
    CVipArrBase<int> a;
    for (int i = 0; i < 5; ++i)
        a.Add(i * 10);
    CVipArrBase<int> b = a;
    EXPECT_EQ(a.GetData(), b.GetData());

    b.ElementAt(2) = 99;
    EXPECT_EQ(20, a[2]);
    EXPECT_EQ(99, b[2]);
    EXPECT_EQ(a.GetCapacity(), b.GetCapacity()) << "a private copy keeps the capacity";

    // Assigning over a shared array releases only this side's share.
    CVipArrBase<int> c = a;
    c = b;
    EXPECT_EQ(1, a.GetRefCount());
    EXPECT_EQ(2, b.GetRefCount());
    EXPECT_EQ(99, c[2]);

    CVipArrBase<int> empty;
    c = empty;
    EXPECT_EQ(0, c.GetSize());
    EXPECT_EQ(nullptr, c.GetData());

    // A shared block is not changed by the other side's removal, nor by a copy cut to nothing
    // and grown back within the room they shared.
    c = a;
    c.RemoveAt(0);
    EXPECT_EQ(10, a[1]);
    EXPECT_EQ(10, c[0]);
    CVipArrBase<int> d = a;
    d.SetSize(0);
    d.SetSize(2);
    EXPECT_EQ(10, a[1]);
    EXPECT_EQ(0, d[1]);
    d.SetSize(9);  // past its room: new zeroed elements in a larger block
    EXPECT_GE(d.GetCapacity(), 9);
    EXPECT_EQ(0, d[8]);
}

TEST(VipArray, GrowthDoublesButByteStoresGrowExactlyAndRemovalKeepsStorage) {
    CVipArrBase<int> ints;
    int three[3] = {1, 2, 3};
    ints.Append(three, 3);
    EXPECT_EQ(6, ints.GetCapacity());
    ints.Append(three, 3);
    EXPECT_EQ(6, ints.GetCapacity());
    ints.Add(4);
    EXPECT_EQ(14, ints.GetCapacity());
    // Removal moves the tail down: 1 2 3 1 2 3 4 becomes 1 1 2 3 4.
    ints.RemoveAt(1, 2);
    ASSERT_EQ(5, ints.GetSize());
    EXPECT_EQ(1, ints[1]);
    EXPECT_EQ(4, ints[4]);
    ints.RemoveAt(3, 10);  // clipped to the end
    EXPECT_EQ(3, ints.GetSize());
    ints.RemoveAt(7, 1);  // out of range: nothing
    EXPECT_EQ(3, ints.GetSize());
    ints.RemoveAll();
    EXPECT_EQ(0, ints.GetSize());
    EXPECT_EQ(14, ints.GetCapacity());

    CVipArrBase<unsigned char> bytes;
    unsigned char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    bytes.Append(data, 10);
    EXPECT_EQ(10, bytes.GetCapacity());
    bytes.Append(data, 3);
    EXPECT_EQ(13, bytes.GetCapacity());
    EXPECT_EQ(2, bytes[12]);

    // Reserved room is used without reallocation.
    CVipArrBase<unsigned char> store(100);
    const unsigned char* before = store.GetData();
    store.Append(data, 10);
    store.Append(data, 10);
    store.Reserve(100);
    EXPECT_EQ(before, store.GetData());
}

TEST(VipArray, ArrayOfByteArraysOwnsItsInnerArrays) {
    CVipArray<CVipArrBase<unsigned char>> outer;
    CVipArrBase<unsigned char> inner;
    const unsigned char text[] = "hello";
    inner.Append(text, 5);
    outer.Add(inner);
    outer.Add(inner);
    EXPECT_EQ(3, inner.GetRefCount()) << "elements share the inner block";

    outer[0].Add('!');
    EXPECT_EQ(6, outer[0].GetSize());
    EXPECT_EQ(5, outer[1].GetSize());

    CVipArray<CVipArrBase<unsigned char>> copy = outer;
    copy[1].RemoveAll();
    EXPECT_EQ(5, outer[1].GetSize()) << "writing a copy leaves the original alone";
    outer.RemoveAll();
    copy.Release();
    EXPECT_EQ(1, inner.GetRefCount());
}

TEST(VipImage, AllocatesPaddedRowsSavesAJpegCopiesBeforeWriteAndFlips) {
    CVipImage img;
    EXPECT_TRUE(img.IsEmpty());
    ASSERT_TRUE(img.Allocate(5, 3));
    EXPECT_EQ(16, img.Stride());  // 15 bytes padded to 4
    EXPECT_FALSE(img.Allocate(0, 10));
    EXPECT_TRUE(img.IsEmpty());
    EXPECT_FALSE(img.SaveImage("/tmp/never.jpg"));

    ASSERT_TRUE(img.Allocate(64, 48));
    img.Mat().setTo(cv::Scalar(30, 120, 220));
    auto path = std::filesystem::temp_directory_path() / "locket_image_test.jpg";
    ASSERT_TRUE(img.SaveImage(path.string()));
    cv::Mat back = cv::imread(path.string(), cv::IMREAD_COLOR);
    std::filesystem::remove(path);
    ASSERT_EQ(64, back.cols);
    ASSERT_EQ(48, back.rows);
    cv::Vec3b px = back.at<cv::Vec3b>(20, 30);
    EXPECT_NEAR(30, px[0], 6);
    EXPECT_NEAR(120, px[1], 6);
    EXPECT_NEAR(220, px[2], 6);
    EXPECT_FALSE(img.SaveImage("/nonexistent-dir/x.jpg"));

    CVipImage a(5, 3);
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            a.Mat().at<cv::Vec3b>(y, x) = cv::Vec3b(x * 10, y * 10, 200);
    CVipImage b = a;
    EXPECT_EQ(a.Data(), b.Data());
    b._CopyBeforeWrite();
    EXPECT_NE(a.Data(), b.Data());

    b.Flip(1);  // left to right
    cv::Mat ma = a.ConstMat(), mb = b.ConstMat();
    EXPECT_EQ(ma.at<cv::Vec3b>(1, 0), mb.at<cv::Vec3b>(1, 4));
    EXPECT_EQ(ma.at<cv::Vec3b>(0, 4), mb.at<cv::Vec3b>(0, 0));

    CVipImage c = a;
    c.Flip(0);  // upside down, through a shared block
    EXPECT_EQ(ma.at<cv::Vec3b>(0, 2), c.ConstMat().at<cv::Vec3b>(2, 2));
    EXPECT_EQ(cv::Vec3b(20, 0, 200), a.ConstMat().at<cv::Vec3b>(0, 2)) << "original untouched";

    CVipImage d = a;
    d.Flip(-1);
    EXPECT_EQ(ma.at<cv::Vec3b>(0, 0), d.ConstMat().at<cv::Vec3b>(2, 4));
}
