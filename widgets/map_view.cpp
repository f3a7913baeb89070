#include "widgets/map_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWindow>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "widgets/tile_cache.h"

namespace locket {

namespace {

constexpr std::string_view kScriptPrefix = "javascript:";
constexpr std::string_view kArgumentSeparators = " ,'\"\t();";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// "%lf" of the C library, without its dependence on LC_NUMERIC (Qt sets the user's locale).
std::string FixedSix(double value) {
    char buffer[400];  // room for the largest finite double in fixed notation
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("nan");
}

constexpr char kRouteClick[] = "locket-route-click ";

// The map page never opens a dialog: a script asking for one would otherwise hold the
// viewer's window in a modal loop. Its clicks on the route come back as console lines.
class CMapPage : public QWebEnginePage {
public:
    CMapPage(QObject* parent, CMapView* view) : QWebEnginePage(parent), m_view(view) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString& source) override {
        if (source != CMapView::PageUrl().toString() ||
            !message.startsWith(QLatin1String(kRouteClick)))
            return;
        const QStringList parts = message.mid(sizeof kRouteClick - 1).split(QLatin1Char(' '));
        bool latOk = false, lngOk = false;
        const double lat = parts.value(0).toDouble(&latOk);
        const double lng = parts.value(1).toDouble(&lngOk);
        if (latOk && lngOk)
            emit m_view->RouteClicked(lat, lng);
    }
    void javaScriptAlert(const QUrl&, const QString& text) override {
        printf("[Map] alert: %s\n", text.toUtf8().constData());
    }
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }

private:
    CMapView* m_view;
};

QJsonArray RoutesJson(const std::vector<MapRoute>& routes) {
    QJsonArray out;
    for (const MapRoute& route : routes) {
        QJsonArray points;
        for (const RoutePoint& p : route.points)
            points.append(QJsonArray{p.latitudeDeg, p.longitudeDeg, p.speedKmh, p.timeMs,
                                     p.breaksBefore ? 1 : 0});
        out.append(QJsonObject{{QStringLiteral("name"), QString::fromStdString(route.name)},
                               {QStringLiteral("points"), points}});
    }
    return out;
}

}  // namespace

CMapView::Hosting CMapView::HostingFromEnvironment() {
    return qgetenv("LOCKET_MAP_HOST") == "embedded" ? Hosting::kEmbedded : Hosting::kContainer;
}

CMapView::CMapView(QWidget* parent) : QWidget(parent), m_hosting(HostingFromEnvironment()) {
    CTileSchemeHandler::RegisterScheme();
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    // The web engine starts once the window showed: the list comes first.
    QWidget* top = window();
    top->installEventFilter(this);
}

CMapView::~CMapView() {
    // The web view goes first: a window container would otherwise destroy its window under it.
    delete m_web;
    m_web = nullptr;
}

QUrl CMapView::PageUrl() {
    return QUrl(QStringLiteral("qrc:/map/map.html"));
}

QWebEnginePage* CMapView::Page() const {
    return m_web ? m_web->page() : nullptr;
}

void CMapView::CreatePage() {
    if (m_web)
        return;
    auto* page = new CMapPage(this, this);
    // The page comes from the resources and its tiles from the tile server.
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // The tile server's usage policy asks applications to name themselves.
    QWebEngineProfile* profile = page->profile();
    if (!profile->httpUserAgent().contains(QLatin1String("LocketKX2Viewer")))
        profile->setHttpUserAgent(profile->httpUserAgent() + QLatin1String(" LocketKX2Viewer/1.0"));
    if (!profile->urlSchemeHandler(CTileSchemeHandler::kScheme))
        profile->installUrlSchemeHandler(CTileSchemeHandler::kScheme, Tiles());

    const bool ownWindow = m_hosting == Hosting::kContainer;
    m_web = new QWebEngineView(ownWindow ? nullptr : this);
    m_web->setPage(page);
    connect(m_web, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_ready = ok;
        if (ok)
            OnPageReady();
        emit PageLoaded(ok);
    });
    m_web->load(PageUrl());
    if (!ownWindow) {
        m_web->setGeometry(rect());
        m_web->show();
        return;
    }
    // The parentless view has a window, and so a drawing surface, of its own (made once the
    // page is set, so it suits the web content's drawing); the container makes that window a
    // child window of this widget. A video frame then repaints its own view only, and the
    // main window stays a plain raster window.
    m_web->winId();
    m_container = QWidget::createWindowContainer(m_web->windowHandle(), this);
    m_container->setGeometry(rect());
    m_web->resize(size());
    m_container->show();
}

bool CMapView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && !m_web) {
        watched->removeEventFilter(this);
        // After the paint pass in progress has reached the screen and after what that pass
        // queued itself: starting the web engine holds this thread for a good while.
        QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, &CMapView::CreatePage); });
    }
    return QWidget::eventFilter(watched, event);
}

void CMapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_container) {
        // The container sizes the window; the view inside it follows only when told.
        m_container->setGeometry(rect());
        m_web->resize(size());
    } else if (m_web) {
        m_web->setGeometry(rect());
    }
}

CTileSchemeHandler* CMapView::Tiles() {
    // One handler for every map of the process, as the profile holds one per scheme; it goes
    // with the application object.
    static QPointer<CTileSchemeHandler> handler;
    if (!handler)
        handler = new CTileSchemeHandler(QCoreApplication::instance());
    return handler;
}

void CMapView::OnPageReady() {
    if (m_mph)
        CallFunction(QStringLiteral("SetSpeedUnit"), {QStringLiteral("mph")});
    if (!m_trip.empty())
        CallFunction(QStringLiteral("SetTrip"), {RoutesJson(m_trip), m_openInTrip});
    if (!m_tripInfo.isEmpty())
        CallFunction(QStringLiteral("SetTripInfo"), {m_tripInfo});
    if (m_current)
        DrawCurrent(m_current->first, m_current->second);
}

void CMapView::SetTrip(std::vector<MapRoute> routes, int open) {
    m_trip = std::move(routes);
    m_openInTrip = open;
    CallFunction(QStringLiteral("SetTrip"), {RoutesJson(m_trip), m_openInTrip});
}

void CMapView::SetSpeedInMph(bool mph) {
    m_mph = mph;
    CallFunction(QStringLiteral("SetSpeedUnit"),
                 {mph ? QStringLiteral("mph") : QStringLiteral("kmh")});
}

void CMapView::SetTripInfo(const QString& text) {
    m_tripInfo = text;
    CallFunction(QStringLiteral("SetTripInfo"), {text});
}

bool CMapView::CallFunction(const QString& name, const QJsonArray& arguments, ScriptResult done) {
    if (!m_ready || name.isEmpty())
        return false;
    // The function is looked up by name and given its arguments as data, so no text of a
    // command is ever run as script.
    QJsonArray call{name};
    for (const QJsonValue& argument : arguments)
        call.append(argument);
    const QString script =
        QStringLiteral(
            "(function (c) { var f = window[c[0]]; if (typeof f !== 'function') return null;"
            " try { return f.apply(window, c.slice(1)); } catch (e) { return null; } })(") +
        QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)) + QStringLiteral(")");
    if (done)
        Page()->runJavaScript(script, std::move(done));
    else
        Page()->runJavaScript(script);
    return true;
}

bool CMapView::ParseScriptCommand(std::string_view command, std::string* name,
                                  std::vector<std::string>* arguments) {
    if (const auto prefix = command.find(kScriptPrefix); prefix != std::string_view::npos)
        command.remove_prefix(prefix + kScriptPrefix.size());
    const auto open = command.find('(');
    const std::string_view head = Trim(command.substr(0, open));
    if (head.empty())
        return false;
    if (name)
        *name = std::string(head);
    if (arguments) {
        arguments->clear();
        std::string_view rest =
            open == std::string_view::npos ? std::string_view() : command.substr(open);
        while (!rest.empty()) {
            const auto start = rest.find_first_not_of(kArgumentSeparators);
            if (start == std::string_view::npos)
                break;
            rest.remove_prefix(start);
            const auto end = rest.find_first_of(kArgumentSeparators);
            arguments->emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        }
    }
    return true;
}

bool CMapView::RunScript(const char* command, ScriptResult done) {
    std::string name;
    std::vector<std::string> arguments;
    if (!command || !m_ready || !ParseScriptCommand(command, &name, &arguments))
        return false;
    QJsonArray values;
    for (const std::string& argument : arguments)
        values.append(QString::fromStdString(argument));
    return CallFunction(QString::fromStdString(name), values, std::move(done));
}

std::string CMapView::FormatDrawCurrent(double latitudeDeg, double longitudeDeg) {
    return "javascript:DrawCurrent('" + FixedSix(latitudeDeg) + "', '" + FixedSix(longitudeDeg) +
           "')";
}

void CMapView::DrawCurrent(double latitudeDeg, double longitudeDeg) {
    if (!std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg))
        return;
    m_current = {latitudeDeg, longitudeDeg};
    RunScript(FormatDrawCurrent(latitudeDeg, longitudeDeg).c_str());
}

void CMapView::DrawCurrent(const CGPSData& record) {
    if (record.valid)
        DrawCurrent(record.GetLatitudeDeg(), record.GetLongitudeDeg());
}

}  // namespace locket

#if defined(__SANITIZE_ADDRESS__)
// Chromium inside QtWebEngineCore frees one of its own objects through a pointer to a smaller
// base type when a page goes away (~WebContentsAdapter); AddressSanitizer would abort every
// process that hosts the map. Weak, so an executable may still bring its own options.
extern "C" __attribute__((weak, visibility("default"))) const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif
