#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QNetworkCacheMetaData>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "widgets/map_view.h"
#include "widgets/network_reachability.h"
#include "widgets/tile_cache.h"

using namespace locket;

namespace {

struct FakeReachability : VNetworkReachability {
    bool online = false;
    bool IsOnline() override { return online; }
};

// Waits for the result the call hands its callback; invalid after 10 s without one.
QVariant Await(const std::function<void(CMapView::ScriptResult)>& call) {
    std::optional<QVariant> result;
    call([&](const QVariant& value) { result = value; });
    QTest::qWaitFor([&] { return result.has_value(); }, 10000);
    return result.value_or(QVariant());
}

QVariant Evaluate(CMapView& view, const QString& script) {
    return Await([&](CMapView::ScriptResult done) { view.Page()->runJavaScript(script, done); });
}

// A command through the viewer's own door, which must take it.
QVariant Call(CMapView& view, const char* command) {
    return Await([&](CMapView::ScriptResult done) {
        EXPECT_TRUE(view.RunScript(command, done)) << command;
    });
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
    std::string name;
    std::vector<std::string> arguments;  // one for all: each parse starts it afresh
    for (const Case& c : cases) {
        EXPECT_TRUE(CMapView::ParseScriptCommand(c.command, &name, &arguments)) << c.command;
        EXPECT_EQ(c.name, name);
        EXPECT_EQ(c.arguments, arguments) << c.command;
    }
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

// Runs the event loop until the condition holds or 30 s passed.
bool WaitUntil(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 30000);
}

std::vector<RoutePoint> Line(double lat, double lng, int count, double speedKmh, int firstMs = 0) {
    std::vector<RoutePoint> points;
    for (int i = 0; i < count; ++i)
        points.push_back({lat + i * 0.001, lng, speedKmh, firstMs + i * 1000, i == 0});
    return points;
}

// Puts a tile's bytes into the cache as a fetch from the server would have.
void CacheTile(QNetworkDiskCache* cache, const QUrl& url, const QByteArray& bytes) {
    QNetworkCacheMetaData meta;
    meta.setUrl(url);
    meta.setSaveToDisk(true);
    meta.setLastModified(QDateTime::currentDateTimeUtc());
    meta.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(7));
    meta.setRawHeaders({{"Content-Type", "image/png"}});
    QIODevice* device = cache->prepare(meta);
    ASSERT_NE(nullptr, device);
    device->write(bytes);
    cache->insert(device);
}

TEST(MapView, PageStartsAfterTheFirstPaintOfflineAndShowsItsState) {
    QTemporaryDir folder;
    FakeReachability offline;
    CMapView view;
    CTileSchemeHandler* tiles = view.Tiles();
    tiles->SetReachability(&offline);
    tiles->SetServer(QStringLiteral("https://tiles.invalid/{z}/{x}/{y}.png"));
    tiles->SetCacheFolder(folder.path());
    view.resize(400, 300);
    auto marker = [&](const char* axis) {
        return Evaluate(view, QString("currentMarker.getLatLng().") + axis).toDouble();
    };
    // Nothing runs before the page: calls are kept and shown once it is ready.
    EXPECT_FALSE(view.RunScript("javascript:DrawCurrent('1', '2')"));
    view.DrawCurrent(35.1795543, 129.0756416);
    view.SetTrip({{"REC_A", Line(35.0, 129.0, 5, 20)}, {"REC_B", Line(35.01, 129.0, 4, 100, 0)}},
                 1);
    view.SetSpeedInMph(true);
    QEvent other(QEvent::User);  // only a paint starts the page
    QCoreApplication::sendEvent(&view, &other);
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::processEvents();
    EXPECT_FALSE(view.IsPageCreated()) << "no web engine before the window showed";

    QSignalSpy loads(&view, &CMapView::PageLoaded);
    view.show();
    ASSERT_TRUE(loads.wait(60000)) << "the page loads by itself after the first paint";
    EXPECT_TRUE(WaitUntil([&] { return std::abs(marker("lat") - 35.179554) < 1e-9; }));
    EXPECT_NEAR(129.075642, marker("lng"), 1e-9);
    EXPECT_EQ(9, Call(view, "RoutePointCount()").toInt());
    EXPECT_EQ(QStringLiteral("mph"), Evaluate(view, "speedUnit").toString());
    // 20 km/h and 100 km/h lie in different bands, one line each.
    EXPECT_EQ(2, Call(view, "RouteLineCount()").toInt());

    // GPS fixes: a valid one moves the marker, one without a fix does not.
    view.DrawCurrent(CGPSData("G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394"));
    view.DrawCurrent(CGPSData("G$GPRMC,123520,V,3730.000,N,12700.000,E,0.0,0.0,230394"));
    EXPECT_TRUE(WaitUntil([&] { return std::abs(marker("lat") - 48.1173) < 1e-6; }));
    EXPECT_NEAR(11.516667, marker("lng"), 1e-6);
    EXPECT_TRUE(WaitUntil([&] {
        return std::abs(Evaluate(view, "map.getCenter().lat").toDouble() - 48.1173) < 1e-4;
    })) << "the map pans to the marker";

    // Bad input and unknown functions are swallowed; the marker stays.
    EXPECT_TRUE(Call(view, "javascript:DrawCurrent('north', 'east')").isNull());
    EXPECT_TRUE(Call(view, "NoSuchFunction(1)").isNull());
    EXPECT_TRUE(Call(view, "javascript:x=7;DrawCurrent('0', '0')").isNull());
    EXPECT_EQ(QStringLiteral("undefined"), Evaluate(view, "typeof x").toString())
        << "the name is looked up, never run as text";
    Call(view, "alert('no dialog may block the viewer')");
    EXPECT_NEAR(48.1173, marker("lat"), 1e-6);
    EXPECT_EQ(1, Call(view, "addMarker('35.1', '129.1')").toInt());
    Call(view, "deleteMarkers()");
    EXPECT_EQ(1, Call(view, "addMarker('35.3', '129.3')").toInt());

    // A click on a drawn line comes back with its position; a script's own console line
    // that only looks like one does not.
    QSignalSpy clicks(&view, &CMapView::RouteClicked);
    Evaluate(view, "console.log('locket-route-click 1 2')");
    Evaluate(view, "tripLayer.getLayers()[0].fire('click', {latlng: L.latLng(35.002, 129.0)})");
    ASSERT_TRUE(WaitUntil([&] { return !clicks.isEmpty(); }));
    EXPECT_DOUBLE_EQ(35.002, clicks.first().at(0).toDouble());
    EXPECT_DOUBLE_EQ(129.0, clicks.first().at(1).toDouble());
    EXPECT_EQ(1, loads.size()) << "no second navigation";

    // Cached tiles reach the page through the viewer's scheme: zoom 16 around 37.566 N
    // 126.978 E is tile 55883 / 25378 and its neighbours.
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    for (int x = 55881; x <= 55885; ++x)
        for (int y = 25376; y <= 25380; ++y)
            CacheTile(tiles->Cache(),
                      QUrl(QString("https://tiles.invalid/16/%1/%2.png").arg(x).arg(y)), png);
    Evaluate(view, "map.setView([37.566, 126.978], 16, {animate: false})");
    EXPECT_TRUE(WaitUntil([&] {
        return Evaluate(view, "document.querySelectorAll('img.leaflet-tile-loaded').length")
                   .toInt() > 0;
    }));

    // A view never told the unit shows km/h.
    CMapView plain;
    QSignalSpy plainLoads(&plain, &CMapView::PageLoaded);
    plain.CreatePage();
    ASSERT_TRUE(plainLoads.wait(60000));
    EXPECT_EQ(QStringLiteral("kmh"), Evaluate(plain, "speedUnit").toString());
    tiles->SetReachability(nullptr);
}

TEST(TileCache, AnswersOnlyTileAddressesInRange) {
    const std::pair<const char*, std::tuple<int, int, int>> tiles[] = {
        {"/0/0/0.png", {0, 0, 0}},
        {"/16/55870/25385.png", {16, 55870, 25385}},
        {"19/524287/524287", {19, 524287, 524287}},
    };
    int z = -1, x = -1, y = -1;
    for (const auto& [path, tile] : tiles) {
        EXPECT_TRUE(CTileSchemeHandler::ParseTilePath(QString::fromLatin1(path), &z, &x, &y));
        EXPECT_EQ(tile, std::make_tuple(z, x, y)) << path;
    }
    // x or y beyond 2^z, zoom beyond the server's, a negative column, ways out of the folder,
    // too few parts, no numbers, nothing.
    for (const char* path : {"/1/2/0.png", "/1/0/2.png", "/20/0/0.png", "/3/-1/0.png",
                             "/../../etc/passwd", "/3/1/1.png/../x", "/3/1", "/a/b/c.png", ""})
        EXPECT_FALSE(CTileSchemeHandler::ParseTilePath(QString::fromLatin1(path), &z, &x, &y))
            << path;
}

// The tile's bytes as Fetch delivers them; "unset" when nothing came within the wait.
QByteArray FetchNow(CTileSchemeHandler& tiles, int z, int x, int y) {
    QByteArray got = "unset";
    tiles.Fetch(z, x, y, [&](const QByteArray& bytes) { got = bytes; });
    WaitUntil([&] { return got != "unset"; });
    return got;
}

TEST(TileCache, FetchesOnlineNamingItselfKeepsTheTileForOfflineAndItsBound) {
    QTemporaryDir folder;
    FakeReachability network;
    // A tile server on the loopback: answers every GET with the tile or with an error, and notes
    // what it was asked. Its tiles are stale at once, so online every fetch asks it again.
    const QByteArray tile(300, 't');
    bool failing = false;
    QList<QByteArray> requests;
    QByteArray buffer;
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [&, socket] {
            buffer += socket->readAll();
            if (!buffer.contains("\r\n\r\n"))
                return;
            requests.append(std::exchange(buffer, {}));
            const QByteArray body = failing ? QByteArray("no") : tile;
            socket->write((failing ? "HTTP/1.1 500 Oops\r\n" : "HTTP/1.1 200 OK\r\n") +
                          QByteArray("Expires: Thu, 01 Jan 1970 00:00:00 GMT\r\n") +
                          "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    });
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    CTileSchemeHandler tiles;
    tiles.SetReachability(&network);
    tiles.SetServer(QStringLiteral("https://tiles.invalid/{z}/{x}/{y}.png"));
    tiles.SetServer(QStringLiteral("file:///etc/{z}/{x}/{y}"));
    EXPECT_EQ(QStringLiteral("https://tiles.invalid/{z}/{x}/{y}.png"), tiles.Server())
        << "only a web server may serve tiles";
    constexpr qint64 kBound = 200 * 1024;
    tiles.SetCacheFolder(folder.path(), kBound);
    const QByteArray big(20 * 1024, 'x');
    auto url = [](int i) { return QUrl(QString("https://tiles.invalid/5/%1/3.png").arg(i)); };
    for (int i = 0; i < 30; ++i)
        CacheTile(tiles.Cache(), url(i), big);
    // The cache trims itself at each insertion: at most one tile over, never more.
    EXPECT_LE(tiles.Cache()->cacheSize(), kBound + big.size());
    EXPECT_GT(tiles.Cache()->cacheSize(), kBound / 2);
    EXPECT_FALSE(tiles.Cache()->metaData(url(0)).isValid()) << "the oldest went first";
    // Offline the cache answers, and nothing is fetched for what it lacks.
    EXPECT_EQ(big, FetchNow(tiles, 5, 29, 3));

    network.online = true;
    tiles.SetServer(QString("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.serverPort()));
    EXPECT_EQ(tile, FetchNow(tiles, 5, 3, 7));
    ASSERT_EQ(1, requests.size());
    EXPECT_TRUE(requests[0].startsWith("GET /5/3/7.png ")) << requests[0].data();
    EXPECT_TRUE(requests[0].contains("User-Agent: LocketKX2Viewer/")) << requests[0].data();

    network.online = false;
    EXPECT_EQ(tile, FetchNow(tiles, 5, 3, 7)) << "offline from the cache";
    EXPECT_TRUE(FetchNow(tiles, 5, 3, 8).isEmpty());
    EXPECT_EQ(1, requests.size()) << "offline nothing is asked";

    // Online the server is asked again for the kept tile, and fails.
    network.online = true;
    failing = true;
    EXPECT_EQ(tile, FetchNow(tiles, 5, 3, 7)) << "a failing server leaves the kept tile";
    EXPECT_TRUE(FetchNow(tiles, 5, 4, 4).isEmpty());
    EXPECT_EQ(3, requests.size()) << "online the server is asked first";
}
