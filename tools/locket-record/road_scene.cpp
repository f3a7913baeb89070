#include "tools/locket-record/road_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "tools/locket-record/frame_marker_painter.h"
#include "tools/locket-record/seeded_random.h"

namespace locket {

namespace {

constexpr double kNearM = 2.5;  // distance seen at the bottom edge
constexpr double kFarM = 120;   // drawn up to here
constexpr double kDashPeriodM = 9;
constexpr double kDashLengthM = 4;
constexpr double kPostPeriodM = 18;
constexpr double kRoadHalfWidthM = 3.6;

}  // namespace

CRoadScene::CRoadScene(int width, int height, bool rear, uint32_t seed)
    : m_width(width), m_height(height), m_rear(rear) {
    CSeededRandom rng(seed * 40503u + (rear ? 7 : 3));
    m_background.create(height, width, CV_8UC3);
    const int horizon = static_cast<int>(height * 0.42);
    for (int y = 0; y < height; ++y) {
        cv::Vec3b c;
        if (y < horizon) {
            const double f = static_cast<double>(y) / std::max(1, horizon);
            // BGR: deep blue overhead, pale at the horizon; the rear view looks into the evening.
            c = rear ? cv::Vec3b(static_cast<uint8_t>(150 + 60 * f),
                                 static_cast<uint8_t>(120 + 80 * f),
                                 static_cast<uint8_t>(110 + 120 * f))
                     : cv::Vec3b(static_cast<uint8_t>(200 + 40 * f),
                                 static_cast<uint8_t>(140 + 80 * f),
                                 static_cast<uint8_t>(70 + 130 * f));
        } else {
            const double f = static_cast<double>(y - horizon) / std::max(1, height - horizon);
            c = cv::Vec3b(static_cast<uint8_t>(40 + 20 * f), static_cast<uint8_t>(110 + 40 * f),
                          static_cast<uint8_t>(60 + 20 * f));
        }
        m_background.row(y).setTo(cv::Scalar(c[0], c[1], c[2]));
    }
    // Far hills: a few soft shapes on the horizon.
    for (int i = 0; i < 5; ++i) {
        const int cx = rng.Int(0, width);
        const int rx = rng.Int(width / 8, width / 3);
        const int ry = std::max(2, rng.Int(height / 20, height / 9));
        cv::ellipse(m_background, cv::Point(cx, horizon), cv::Size(rx, ry), 0, 180, 360,
                    cv::Scalar(rng.Int(60, 90), rng.Int(100, 130), rng.Int(70, 100)), cv::FILLED);
    }
    m_postColour = cv::Scalar(rng.Int(20, 80), rng.Int(60, 140), rng.Int(140, 240));
    m_carColour = cv::Scalar(rng.Int(30, 200), rng.Int(30, 200), rng.Int(30, 200));
    m_carPhase = rng.Range(0, 6.28);
}

double CRoadScene::RoadCentreX(const SceneInput& in, double z) const {
    // Looking back, the road bends the other way.
    const double bend = (m_rear ? -1 : 1) * in.yawRateDegS * 0.00012 * m_width;
    return m_width / 2.0 + bend * z * z / 40;
}

void CRoadScene::Draw(const SceneInput& in, cv::Mat* bgr) const {
    m_background.copyTo(*bgr);
    cv::Mat& m = *bgr;
    DrawRoad(in, m);
    DrawCarAhead(in, m);
    DrawOverlay(in, m);
    PaintFrameMarker(m, in.frame);
}

void CRoadScene::DrawRoad(const SceneInput& in, cv::Mat& m) const {
    const double horizon = m_height * 0.42;
    const double bottom = m_height;
    // Looking back, the marks run away from the camera.
    auto project = [&](double z, double lateralM, cv::Point* p) {
        const double f = kNearM / z;  // 1 at the bottom edge, towards 0 at the horizon
        const double y = horizon + (bottom - horizon) * f;
        const double centre = RoadCentreX(in, z);
        const double x = centre + lateralM * f * (m_width * 0.42 / kRoadHalfWidthM);
        *p = cv::Point(static_cast<int>(x), static_cast<int>(y));
    };
    // The road surface as a strip of quads so that it can bend.
    const int strips = 24;
    for (int i = 0; i < strips; ++i) {
        const double z0 = kNearM * std::pow(kFarM / kNearM, static_cast<double>(i) / strips);
        const double z1 = kNearM * std::pow(kFarM / kNearM, static_cast<double>(i + 1) / strips);
        cv::Point q[4];
        project(z0, -kRoadHalfWidthM, &q[0]);
        project(z0, kRoadHalfWidthM, &q[1]);
        project(z1, kRoadHalfWidthM, &q[2]);
        project(z1, -kRoadHalfWidthM, &q[3]);
        cv::fillConvexPoly(m, q, 4, cv::Scalar(70, 72, 75));
    }
    const double travelled = m_rear ? -in.distanceM : in.distanceM;
    const double phase = std::fmod(travelled, kDashPeriodM);
    for (double z = kNearM - phase; z < kFarM; z += kDashPeriodM) {
        const double z0 = std::max(kNearM, z);
        const double z1 = z + kDashLengthM;
        if (z1 <= kNearM)
            continue;
        cv::Point q[4];
        project(z0, -0.12, &q[0]);
        project(z0, 0.12, &q[1]);
        project(z1, 0.12, &q[2]);
        project(z1, -0.12, &q[3]);
        cv::fillConvexPoly(m, q, 4, cv::Scalar(235, 235, 235));
    }
    // Edge lines.
    for (double side : {-1.0, 1.0}) {
        cv::Point a, b;
        for (int i = 0; i < strips; ++i) {
            const double z0 = kNearM * std::pow(kFarM / kNearM, static_cast<double>(i) / strips);
            const double z1 =
                kNearM * std::pow(kFarM / kNearM, static_cast<double>(i + 1) / strips);
            project(z0, side * (kRoadHalfWidthM - 0.2), &a);
            project(z1, side * (kRoadHalfWidthM - 0.2), &b);
            cv::line(m, a, b, cv::Scalar(60, 200, 240), std::max(1, m_width / 320));
        }
    }
    // Roadside posts, far ones first so near ones cover them.
    const double postPhase = std::fmod(travelled, kPostPeriodM);
    for (double z = kFarM - std::fmod(kFarM, kPostPeriodM) - postPhase + kPostPeriodM; z >= kNearM;
         z -= kPostPeriodM) {
        if (z > kFarM)
            continue;
        for (double side : {-1.0, 1.0}) {
            cv::Point base;
            project(z, side * (kRoadHalfWidthM + 1.5), &base);
            const double f = kNearM / z;
            const int h = std::max(2, static_cast<int>(m_height * 0.9 * f));
            const int w = std::max(1, static_cast<int>(m_width * 0.03 * f));
            cv::rectangle(m, cv::Rect(base.x - w / 2, base.y - h, w, h), m_postColour, cv::FILLED);
            cv::circle(m, cv::Point(base.x, base.y - h), std::max(1, w * 2),
                       cv::Scalar(40, 120, 50), cv::FILLED);
        }
    }
}

void CRoadScene::DrawCarAhead(const SceneInput& in, cv::Mat& m) const {
    const double horizon = m_height * 0.42;
    const double z = 14 + 6 * std::sin(in.seconds * 0.4 + m_carPhase);
    const double f = kNearM / z;
    const double y = horizon + (m_height - horizon) * f;
    const int w = std::max(4, static_cast<int>(m_width * 0.42 * 1.8 / kRoadHalfWidthM * f));
    const int h = std::max(3, w * 3 / 5);
    const int x = static_cast<int>(RoadCentreX(in, z)) - w / 2;
    cv::rectangle(m, cv::Rect(x, static_cast<int>(y) - h, w, h), m_carColour, cv::FILLED);
    cv::rectangle(m, cv::Rect(x + w / 8, static_cast<int>(y) - h + h / 8, w * 3 / 4, h / 3),
                  cv::Scalar(60, 50, 40), cv::FILLED);
    // Its brake lights follow ours: both slow down together in traffic.
    const cv::Scalar lamp = in.brake ? cv::Scalar(40, 40, 255) : cv::Scalar(30, 30, 120);
    const int r = std::max(1, w / 12);
    cv::circle(m, cv::Point(x + r + 1, static_cast<int>(y) - h / 3), r, lamp, cv::FILLED);
    cv::circle(m, cv::Point(x + w - r - 1, static_cast<int>(y) - h / 3), r, lamp, cv::FILLED);
}

void CRoadScene::DrawOverlay(const SceneInput& in, cv::Mat& m) const {
    char text[96];
    std::snprintf(text, sizeof text, "%s  %3d km/h", in.clockText.c_str(),
                  static_cast<int>(std::lround(in.speedKmh)));
    const int margin = std::max(2, m_width / 60);
    double scale = std::max(0.25, m_height / 720.0 * 0.9);
    int thickness = std::max(1, static_cast<int>(scale * 2));
    int baseline = 0;
    cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, thickness, &baseline);
    // Small pictures: the text shrinks to the width, as a recorder's would.
    if (size.width > m_width - 2 * margin) {
        scale *= static_cast<double>(m_width - 2 * margin) / size.width;
        thickness = 1;
        size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, thickness, &baseline);
    }
    const cv::Point at(margin, m_height - std::max(3, m_height / 40));
    cv::rectangle(
        m, cv::Rect(at.x - 2, at.y - size.height - 2, size.width + 4, size.height + baseline + 4),
        cv::Scalar(0, 0, 0), cv::FILLED);
    cv::putText(m, text, at, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255, 255, 255), thickness,
                cv::LINE_AA);
    const char* label = m_rear ? "LOCKET KX2 REAR" : "LOCKET KX2";
    const cv::Size ls =
        cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, scale * 0.8, thickness, &baseline);
    const int labelX = m_width - ls.width - margin;
    if (labelX > at.x + size.width + margin) {
        cv::putText(m, label, cv::Point(labelX, at.y), cv::FONT_HERSHEY_SIMPLEX, scale * 0.8,
                    cv::Scalar(220, 220, 220), thickness, cv::LINE_AA);
    }
}

}  // namespace locket
