#include "widgets/map_view.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <charconv>
#include <cmath>
#include <cstdio>

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

// The map page never opens a dialog: a script asking for one would otherwise hold the
// viewer's window in a modal loop.
class CMapPage : public QWebEnginePage {
public:
    explicit CMapPage(QObject* parent) : QWebEnginePage(parent) {}

protected:
    void javaScriptAlert(const QUrl&, const QString& text) override {
        printf("[Map] alert: %s\n", text.toUtf8().constData());
    }
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
};

}  // namespace

CMapView::CMapView(QWidget* parent) : QWebEngineView(parent) {
    setPage(new CMapPage(this));
    // The page comes from the resources and its tiles from the tile server.
    page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // The tile server's usage policy asks applications to name themselves.
    QWebEngineProfile* profile = page()->profile();
    if (!profile->httpUserAgent().contains(QLatin1String("LocketKX2Viewer")))
        profile->setHttpUserAgent(profile->httpUserAgent() + QLatin1String(" LocketKX2Viewer/1.0"));
}

QUrl CMapView::PageUrl() {
    return QUrl(QStringLiteral("qrc:/map/map.html"));
}

void CMapView::SetReachability(VNetworkReachability* reachability) {
    m_reachability = reachability ? reachability : &m_ownReachability;
}

bool CMapView::LoadPageIfOnline() {
    if (m_pageLoaded || !m_reachability->IsOnline())
        return false;
    m_pageLoaded = true;
    load(PageUrl());
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
    if (!command || !m_pageLoaded || !ParseScriptCommand(command, &name, &arguments))
        return false;
    // The function is looked up by name and given its arguments as data, so no text of the
    // command is ever run as script.
    QJsonArray call{QString::fromStdString(name)};
    for (const std::string& argument : arguments)
        call.append(QString::fromStdString(argument));
    const QString script =
        QStringLiteral(
            "(function (c) { var f = window[c[0]]; if (typeof f !== 'function') return null;"
            " try { return f.apply(window, c.slice(1)); } catch (e) { return null; } })(") +
        QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)) + QStringLiteral(")");
    if (done)
        page()->runJavaScript(script, std::move(done));
    else
        page()->runJavaScript(script);
    return true;
}

std::string CMapView::FormatDrawCurrent(double latitudeDeg, double longitudeDeg) {
    return "javascript:DrawCurrent('" + FixedSix(latitudeDeg) + "', '" + FixedSix(longitudeDeg) +
           "')";
}

void CMapView::DrawCurrent(double latitudeDeg, double longitudeDeg) {
    if (!std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg))
        return;
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
