#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

#include "widgets/map_view.h"
#include "widgets/network_reachability.h"

using namespace locket;

namespace {

struct Parsed {
    bool ok;
    std::string name;
    std::vector<std::string> arguments;
};

Parsed Parse(const char* command) {
    Parsed parsed;
    parsed.ok = CMapView::ParseScriptCommand(command, &parsed.name, &parsed.arguments);
    return parsed;
}

class FakeReachability : public VNetworkReachability {
public:
    bool online = false;
    int asked = 0;
    bool IsOnline() override {
        ++asked;
        return online;
    }
};

// Runs a script in the page and waits for its result (invalid after 10 s without one).
QVariant Evaluate(CMapView& view, const QString& script) {
    QVariant result;
    QEventLoop loop;
    bool done = false;
    view.page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    return result;
}

QVariant RunAndWait(CMapView& view, const char* command, bool* started) {
    QVariant result;
    QEventLoop loop;
    bool done = false;
    *started = view.RunScript(command, [&](const QVariant& value) {
        result = value;
        done = true;
        loop.quit();
    });
    if (*started && !done) {
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

}  // namespace

TEST(MapView, ScriptCommandsSplitIntoNameAndStringArguments) {
    Parsed p = Parse("javascript:DrawCurrent('37.566048', '126.977930')");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ("DrawCurrent", p.name);
    EXPECT_EQ((std::vector<std::string>{"37.566048", "126.977930"}), p.arguments);

    // Without the prefix the whole text is the command; text before the prefix is dropped.
    p = Parse("  addMarker ( 1.5 ,\"-2\";\t3 ) ");
    EXPECT_EQ("addMarker", p.name);
    EXPECT_EQ((std::vector<std::string>{"1.5", "-2", "3"}), p.arguments);
    p = Parse("ignored javascript: deleteMarkers()");
    EXPECT_EQ("deleteMarkers", p.name);
    EXPECT_TRUE(p.arguments.empty());
    p = Parse("showMarkers");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ("showMarkers", p.name);
    EXPECT_TRUE(p.arguments.empty());
    p = Parse("f(a b,,c)");
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), p.arguments);

    EXPECT_FALSE(Parse("javascript:  ('1')").ok);
    EXPECT_FALSE(Parse("").ok);

    EXPECT_EQ("javascript:DrawCurrent('37.566048', '126.977930')",
              CMapView::FormatDrawCurrent(37.5660483, 126.9779299));
    EXPECT_EQ("javascript:DrawCurrent('-33.856784', '-151.215297')",
              CMapView::FormatDrawCurrent(-33.8567844, -151.2152967));
    const std::string huge = CMapView::FormatDrawCurrent(1e300, 0);
    EXPECT_GT(huge.size(), 300u) << "huge values are written out, not cut";
    EXPECT_TRUE(huge.ends_with(".000000', '0.000000')")) << huge;
}

TEST(NetworkReachability, OnlineMeansADefaultRouteOnANonLoopbackInterface) {
    const std::string header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const std::string viaEth0 = header +
                                "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n" +
                                "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const std::string subnetOnly =
        header + "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    const std::string loopback =
        header + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";
    const std::string rejected =
        header + "eth0\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n";
    const std::string down =
        header + "eth0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";

    const std::string zero(32, '0');
    const std::string ipv6Loopback =
        zero + " 00 " + zero + " 00 " + zero + " ffffffff 00000001 00000001 00200200       lo\n";
    const std::string ipv6Default = zero + " 00 " + zero +
                                    " 00 fe800000000000000000000000000001 "
                                    "00000400 00000001 00000000 00000003   wlan0\n";

    EXPECT_TRUE(CNetworkReachability::HasDefaultRoute(viaEth0, ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute(subnetOnly, ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute(loopback, ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute(rejected, ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute(down, ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute(header, ipv6Loopback));
    EXPECT_TRUE(CNetworkReachability::HasDefaultRoute(header, ipv6Loopback + ipv6Default));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute("", ""));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute("garbage\nlines here\n", "x\n"));
}

TEST(MapView, PageLoadsOnceWhenOnlineAndItsMarkerFollowsDrawCurrent) {
    FakeReachability network;
    CMapView view;
    view.SetReachability(&network);
    view.resize(400, 300);
    view.show();
    QSignalSpy loads(&view, &QWebEngineView::loadFinished);

    // Offline: no page, and the script calls fail without a sound.
    EXPECT_FALSE(view.LoadPageIfOnline());
    EXPECT_FALSE(view.IsPageLoaded());
    bool started = true;
    RunAndWait(view, "javascript:DrawCurrent('1', '2')", &started);
    EXPECT_FALSE(started);
    view.DrawCurrent(1.0, 2.0);

    network.online = true;
    EXPECT_TRUE(view.LoadPageIfOnline());
    EXPECT_FALSE(view.LoadPageIfOnline()) << "loaded at most once";
    EXPECT_EQ(2, network.asked) << "once loaded, the network is not asked again";
    ASSERT_TRUE(loads.wait(60000));
    ASSERT_TRUE(loads.first().first().toBool());
    QTest::qWait(300);
    EXPECT_EQ(CMapView::PageUrl(), view.url());
    EXPECT_EQ(QStringLiteral("Remove Markers"), view.title());

    // Start view: zoom 16, centred on the marker.
    EXPECT_EQ(16, Evaluate(view, "map.getZoom()").toInt());
    EXPECT_NEAR(37.5660483, Evaluate(view, "currentMarker.getLatLng().lat").toDouble(), 1e-9);
    EXPECT_NEAR(126.9779299, Evaluate(view, "currentMarker.getLatLng().lng").toDouble(), 1e-9);
    EXPECT_NEAR(37.5660483, Evaluate(view, "map.getCenter().lat").toDouble(), 1e-6);
    EXPECT_TRUE(Evaluate(view, "document.querySelector('.leaflet-control-attribution').textContent")
                    .toString()
                    .contains(QStringLiteral("© OpenStreetMap contributors")));

    view.DrawCurrent(35.1795543, 129.0756416);
    QTest::qWait(600);  // the pan is animated
    EXPECT_NEAR(35.179554, Evaluate(view, "currentMarker.getLatLng().lat").toDouble(), 1e-9);
    EXPECT_NEAR(129.075642, Evaluate(view, "currentMarker.getLatLng().lng").toDouble(), 1e-9);
    EXPECT_NEAR(35.179554, Evaluate(view, "map.getCenter().lat").toDouble(), 1e-4);
    EXPECT_NEAR(129.075642, Evaluate(view, "map.getCenter().lng").toDouble(), 1e-4);

    // GPS fixes: a valid one moves the marker, one without a fix does not.
    view.DrawCurrent(CGPSData("G$GPRMC,123519,V,3730.000,N,12700.000,E,0.0,0.0,230394"));
    view.DrawCurrent(CGPSData("G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394"));
    view.DrawCurrent(CGPSData("G$GPRMC,123520,V,3730.000,N,12700.000,E,0.0,0.0,230394"));
    QTest::qWait(100);
    EXPECT_NEAR(48.1173, Evaluate(view, "currentMarker.getLatLng().lat").toDouble(), 1e-6);
    EXPECT_NEAR(11.516667, Evaluate(view, "currentMarker.getLatLng().lng").toDouble(), 1e-6);
    view.DrawCurrent(35.1795543, 129.0756416);

    // Bad input and unknown functions are swallowed; the marker stays.
    EXPECT_TRUE(RunAndWait(view, "javascript:DrawCurrent('north', 'east')", &started).isNull());
    EXPECT_TRUE(started);
    EXPECT_TRUE(RunAndWait(view, "NoSuchFunction(1)", &started).isNull());
    EXPECT_TRUE(RunAndWait(view, "javascript:x=7;DrawCurrent('0', '0')", &started).isNull());
    EXPECT_EQ(QStringLiteral("undefined"), Evaluate(view, "typeof x").toString())
        << "the name is looked up, never run as text";
    RunAndWait(view, "alert('no dialog may block the viewer')", &started);
    EXPECT_NEAR(35.179554, Evaluate(view, "currentMarker.getLatLng().lat").toDouble(), 1e-9);

    // The extra markers answer through RunScript.
    EXPECT_EQ(1, RunAndWait(view, "addMarker('35.1', '129.1')", &started).toInt());
    EXPECT_EQ(2, RunAndWait(view, "addMarker('35.2', '129.2')", &started).toInt());
    RunAndWait(view, "clearMarkers()", &started);
    RunAndWait(view, "deleteMarkers()", &started);
    EXPECT_EQ(1, RunAndWait(view, "addMarker('35.3', '129.3')", &started).toInt());

    EXPECT_EQ(1, loads.size()) << "no second navigation";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Headless defaults for running by hand; ctest's environment sets them too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // tests run as root in CI
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
