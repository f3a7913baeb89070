// The map page in a web view of its own window: the route, the position marker and the trip.
#pragma once

#include <QJsonArray>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/gps_data.h"
#include "files/route.h"

class QWebEnginePage;
class QWebEngineView;

namespace locket {

class CTileSchemeHandler;

// One recording of the trip on the map.
struct MapRoute {
    std::string name;
    std::vector<RoutePoint> points;
};

class CMapView : public QWidget {
    Q_OBJECT
public:
    using ScriptResult = std::function<void(const QVariant&)>;

    // How the web view sits in the window. It draws through OpenGL: as a plain child widget
    // it turns the whole main window into an OpenGL-composited surface, which every video
    // frame then recomposites (in software on most X servers).
    enum class Hosting {
        kEmbedded,   // a plain child widget
        kContainer,  // a window of its own, embedded through a window container
    };
    // The container; LOCKET_MAP_HOST=embedded gives the other one, for measurements.
    static Hosting HostingFromEnvironment();

    explicit CMapView(QWidget* parent = nullptr);
    ~CMapView() override;

    // The page inside the viewer's resources.
    static QUrl PageUrl();

    // Creates the web view, which starts the web engine, and loads the page; once. The page
    // is local and works offline.
    void CreatePage();
    // Done by itself after the top-level window this view sits in painted for the first
    // time, so the window and its list show before the web engine starts.
    bool IsPageCreated() const { return m_web != nullptr; }
    // The page finished loading: script calls reach it from now on.
    bool IsPageReady() const { return m_ready; }
    QWebEngineView* WebView() const { return m_web; }
    QWebEnginePage* Page() const;

    // Calls a script function of the page: "javascript:Name('a', 'b')" or "Name(a, b)". The
    // arguments go in as strings; the function's result reaches done, if given (an invalid
    // QVariant when the call failed). False, without a call, when the page is not ready or
    // the command names no function.
    bool RunScript(const char* command, ScriptResult done = {});

    // Moves the page's marker to the position and pans there. Non-finite values are ignored.
    // Remembered, so a page that becomes ready later shows it.
    void DrawCurrent(double latitudeDeg, double longitudeDeg);

    // The same for a GPS fix; a fix not flagged valid leaves the marker where it is.
    void DrawCurrent(const CGPSData& record);

    // Draws the trip's routes (oldest first), the recording `open` highlighted, marked at its
    // start and end and fitted into view. Remembered for a page that becomes ready later.
    void SetTrip(std::vector<MapRoute> routes, int open);
    const std::vector<MapRoute>& Trip() const { return m_trip; }
    int OpenInTrip() const { return m_openInTrip; }
    // Speeds of the legend and the route's colours in mph instead of km/h.
    void SetSpeedInMph(bool mph);
    // The line of text in the map's corner (the trip's distance and time); empty hides it.
    void SetTripInfo(const QString& text);

    // The tiles' server (an address with {z}, {x} and {y}) and their disk cache.
    CTileSchemeHandler* Tiles();

    // Calls a page function by name with these arguments as data; false when the page is
    // not ready.
    bool CallFunction(const QString& name, const QJsonArray& arguments, ScriptResult done = {});

    // "javascript:DrawCurrent('%lf', '%lf')", with '.' as the decimal point whatever the locale.
    static std::string FormatDrawCurrent(double latitudeDeg, double longitudeDeg);

    // Splits a command into the function name (text before the first "(", trimmed) and its
    // arguments (the rest cut at space , ' " tab ( ) ; with empty pieces dropped); anything
    // up to and including "javascript:" is skipped. False when the name is empty.
    static bool ParseScriptCommand(std::string_view command, std::string* name,
                                   std::vector<std::string>* arguments);

signals:
    // The page finished loading (ok false: it failed).
    void PageLoaded(bool ok);
    // A person clicked the drawn route at this position.
    void RouteClicked(double latitudeDeg, double longitudeDeg);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Replays what the page shows after it (re)loaded.
    void OnPageReady();

    Hosting m_hosting;
    QWebEngineView* m_web = nullptr;
    // The web view's own window inside this widget (container hosting).
    QWidget* m_container = nullptr;
    bool m_ready = false;
    std::optional<std::pair<double, double>> m_current;
    std::vector<MapRoute> m_trip;
    int m_openInTrip = -1;
    bool m_mph = false;
    QString m_tripInfo;
};

}  // namespace locket
