#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "base/vip_image.h"

using locket::CVipImage;

TEST(VipImage, AllocatesPaddedRowsSavesAJpegCopiesBeforeWriteAndFlips) {
    CVipImage img;
    EXPECT_TRUE(img.IsEmpty());
    ASSERT_TRUE(img.Allocate(5, 3));
    EXPECT_EQ(16, img.Stride());  // 15 bytes padded to 4
    EXPECT_FALSE(img.Allocate(0, 10));
    EXPECT_TRUE(img.IsEmpty());
    EXPECT_TRUE(img.Mat().empty());
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
