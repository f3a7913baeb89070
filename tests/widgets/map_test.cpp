#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "widgets/map_view.h"
#include "widgets/network_reachability.h"

using namespace locket;

namespace {

class FakeReachability : public VNetworkReachability {
public:
    bool online = false;
    int asked = 0;
    bool IsOnline() override {
        ++asked;
        return online;
    }
};

// Starts a call with a result callback and waits for the result (invalid after 10 s without
// one); *started tells whether the call was made at all.
QVariant Await(const std::function<bool(CMapView::ScriptResult)>& call, bool* started = nullptr) {
    QVariant result;
    QEventLoop loop;
    bool done = false;
    const bool made = call([&](const QVariant& value) {
        result = value;
        done = true;
        loop.quit();
    });
    if (started)
        *started = made;
    if (made && !done) {
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

QVariant Evaluate(CMapView& view, const QString& script) {
    return Await([&](CMapView::ScriptResult done) {
        view.page()->runJavaScript(script, done);
        return true;
    });
}

QVariant Call(CMapView& view, const char* command, bool* started = nullptr) {
    return Await([&](CMapView::ScriptResult done) { return view.RunScript(command, done); },
                 started);
}

}  // namespace

TEST(MapView, ScriptCommandsSplitIntoNameAndStringArguments) {
    struct Case {
        const char* command;
        const char* name;
        std::vector<std::string> arguments;
    };
    // Without the prefix the whole text is the command; text before the prefix is dropped.
    const Case cases[] = {
        {"javascript:DrawCurrent('37.566048', '126.977930')",
         "DrawCurrent",
         {"37.566048", "126.977930"}},
        {"  addMarker ( 1.5 ,\"-2\";\t3 ) ", "addMarker", {"1.5", "-2", "3"}},
        {"ignored javascript: deleteMarkers()", "deleteMarkers", {}},
        {"showMarkers", "showMarkers", {}},
        {"f(a b,,c)", "f", {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::string name;
        std::vector<std::string> arguments;
        EXPECT_TRUE(CMapView::ParseScriptCommand(c.command, &name, &arguments));
        EXPECT_EQ(c.name, name);
        EXPECT_EQ(c.arguments, arguments);
    }
    std::string name;
    std::vector<std::string> arguments;
    EXPECT_FALSE(CMapView::ParseScriptCommand("javascript:  ('1')", &name, &arguments));
    EXPECT_FALSE(CMapView::ParseScriptCommand("", &name, &arguments));

    EXPECT_EQ("javascript:DrawCurrent('-33.856784', '-151.215297')",
              CMapView::FormatDrawCurrent(-33.8567844, -151.2152967));
    const std::string huge = CMapView::FormatDrawCurrent(1e300, 0);
    EXPECT_GT(huge.size(), 300u) << "huge values are written out, not cut";
    EXPECT_TRUE(huge.ends_with(".000000', '0.000000')")) << huge;
}

TEST(NetworkReachability, OnlineMeansADefaultRouteOnANonLoopbackInterface) {
    auto online = [](const std::string& v4Rows, const std::string& v6Rows = "") {
        return CNetworkReachability::HasDefaultRoute(
            "Iface\tDestination\tGateway "
            "\tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" +
                v4Rows,
            v6Rows);
    };
    auto v4 = [](const char* iface, const char* dest, const char* gateway, const char* flags) {
        return std::string(iface) + "\t" + dest + "\t" + gateway + "\t" + flags +
               "\t0\t0\t100\t00000000\t0\t0\t0\n";
    };
    const std::string zero(32, '0');
    const std::string v6Loopback =
        zero + " 00 " + zero + " 00 " + zero + " ffffffff 00000001 00000001 00200200       lo\n";
    const std::string v6Default = zero + " 00 " + zero +
                                  " 00 fe800000000000000000000000000001 "
                                  "00000400 00000001 00000000 00000003   wlan0\n";
    EXPECT_TRUE(online(v4("eth0", "00000000", "0101A8C0", "0003") +
                       v4("eth0", "0001A8C0", "00000000", "0001")));
    EXPECT_FALSE(online(v4("eth0", "0001A8C0", "00000000", "0001"))) << "subnet only";
    EXPECT_FALSE(online(v4("lo", "00000000", "00000000", "0001"))) << "loopback";
    EXPECT_FALSE(online(v4("eth0", "00000000", "00000000", "0201"))) << "reject route";
    EXPECT_FALSE(online(v4("eth0", "00000000", "0101A8C0", "0002"))) << "interface down";
    EXPECT_FALSE(online("", v6Loopback));
    EXPECT_TRUE(online("", v6Loopback + v6Default));
    EXPECT_FALSE(CNetworkReachability::HasDefaultRoute("garbage\nlines here\n", "x\n"));
}

TEST(MapView, PageLoadsOnceWhenOnlineAndItsMarkerFollowsDrawCurrent) {
    FakeReachability network;
    CMapView view;
    view.SetReachability(&network);
    view.resize(400, 300);
    view.show();
    QSignalSpy loads(&view, &QWebEngineView::loadFinished);
    auto marker = [&](const char* axis) {
        return Evaluate(view, QString("currentMarker.getLatLng().") + axis).toDouble();
    };

    // Offline: no page, and the script calls fail without a sound.
    EXPECT_FALSE(view.LoadPageIfOnline());
    EXPECT_FALSE(view.IsPageLoaded());
    bool started = true;
    Call(view, "javascript:DrawCurrent('1', '2')", &started);
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

    // Start view: zoom 16, centred on the marker.
    EXPECT_EQ(16, Evaluate(view, "map.getZoom()").toInt());
    EXPECT_NEAR(37.5660483, marker("lat"), 1e-9);
    EXPECT_NEAR(126.9779299, marker("lng"), 1e-9);
    EXPECT_NEAR(37.5660483, Evaluate(view, "map.getCenter().lat").toDouble(), 1e-6);

    view.DrawCurrent(35.1795543, 129.0756416);
    QTest::qWait(600);  // the pan is animated
    EXPECT_NEAR(35.179554, marker("lat"), 1e-9);
    EXPECT_NEAR(129.075642, marker("lng"), 1e-9);
    EXPECT_NEAR(35.179554, Evaluate(view, "map.getCenter().lat").toDouble(), 1e-4);
    EXPECT_NEAR(129.075642, Evaluate(view, "map.getCenter().lng").toDouble(), 1e-4);

    // GPS fixes: a valid one moves the marker, one without a fix does not.
    view.DrawCurrent(CGPSData("G$GPRMC,123519,V,3730.000,N,12700.000,E,0.0,0.0,230394"));
    view.DrawCurrent(CGPSData("G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394"));
    view.DrawCurrent(CGPSData("G$GPRMC,123520,V,3730.000,N,12700.000,E,0.0,0.0,230394"));
    QTest::qWait(100);
    EXPECT_NEAR(48.1173, marker("lat"), 1e-6);
    EXPECT_NEAR(11.516667, marker("lng"), 1e-6);

    // Bad input and unknown functions are swallowed; the marker stays.
    EXPECT_TRUE(Call(view, "javascript:DrawCurrent('north', 'east')", &started).isNull());
    EXPECT_TRUE(started);
    EXPECT_TRUE(Call(view, "NoSuchFunction(1)").isNull());
    EXPECT_TRUE(Call(view, "javascript:x=7;DrawCurrent('0', '0')").isNull());
    EXPECT_EQ(QStringLiteral("undefined"), Evaluate(view, "typeof x").toString())
        << "the name is looked up, never run as text";
    Call(view, "alert('no dialog may block the viewer')");
    EXPECT_NEAR(48.1173, marker("lat"), 1e-6);

    // The extra markers answer through RunScript.
    EXPECT_EQ(1, Call(view, "addMarker('35.1', '129.1')").toInt());
    EXPECT_EQ(2, Call(view, "addMarker('35.2', '129.2')").toInt());
    Call(view, "deleteMarkers()");
    EXPECT_EQ(1, Call(view, "addMarker('35.3', '129.3')").toInt());

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
