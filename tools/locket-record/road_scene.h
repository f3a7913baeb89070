// The synthetic road the recorder "films": sky, a road whose lane marks and roadside posts move
// with the distance driven, a car ahead, the burnt-in date, time and speed of a real recorder,
// and the frame-number marker in the top-left corner.
#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

namespace locket {

struct SceneInput {
    int frame = 0;           // drawn as the marker
    double distanceM = 0;    // odometer: moves the lane marks
    double yawRateDegS = 0;  // bends the road
    double speedKmh = 0;
    double seconds = 0;     // time in the recording: moves the car ahead
    std::string clockText;  // "2024/03/01 08:30:05"
    bool brake = false;
};

class CRoadScene {
public:
    // rear: the rear camera's view (looking back, mirrored colours of the sky).
    CRoadScene(int width, int height, bool rear, uint32_t seed);

    // Draws one picture into *bgr (made width x height, 8-bit BGR).
    void Draw(const SceneInput& in, cv::Mat* bgr) const;

private:
    // Horizontal picture position of the road's centre line `z` metres away.
    double RoadCentreX(const SceneInput& in, double z) const;
    void DrawRoad(const SceneInput& in, cv::Mat& m) const;
    void DrawCarAhead(const SceneInput& in, cv::Mat& m) const;
    void DrawOverlay(const SceneInput& in, cv::Mat& m) const;

    int m_width;
    int m_height;
    bool m_rear;
    cv::Mat m_background;  // sky and fields, drawn once
    cv::Scalar m_postColour;
    cv::Scalar m_carColour;
    double m_carPhase;
};

}  // namespace locket
