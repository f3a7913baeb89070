// The map page in a web view: loads it once when online and moves its position marker.
#pragma once

#include <QUrl>
#include <QVariant>
#include <QWebEngineView>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/gps_data.h"
#include "widgets/network_reachability.h"

namespace locket {

class CMapView : public QWebEngineView {
    Q_OBJECT
public:
    using ScriptResult = std::function<void(const QVariant&)>;

    explicit CMapView(QWidget* parent = nullptr);

    // The page inside the viewer's resources.
    static QUrl PageUrl();

    // Stand-in for the machine's reachability (tests); null returns to the real one. The
    // object must outlive the view or be replaced first.
    void SetReachability(VNetworkReachability* reachability);

    // Loads the page when the machine is online and it has not been loaded before by this
    // view; true when it started loading now. Offline, a later call tries again.
    bool LoadPageIfOnline();
    bool IsPageLoaded() const { return m_pageLoaded; }

    // Calls a script function of the page: "javascript:Name('a', 'b')" or "Name(a, b)". The
    // arguments go in as strings; the function's result reaches done, if given (an invalid
    // QVariant when the call failed). False, without a call, when no page is loaded or the
    // command names no function.
    bool RunScript(const char* command, ScriptResult done = {});

    // Moves the page's marker to the position and pans there. Non-finite values are ignored.
    void DrawCurrent(double latitudeDeg, double longitudeDeg);

    // The same for a GPS fix; a fix not flagged valid leaves the marker where it is.
    void DrawCurrent(const CGPSData& record);

    // "javascript:DrawCurrent('%lf', '%lf')", with '.' as the decimal point whatever the locale.
    static std::string FormatDrawCurrent(double latitudeDeg, double longitudeDeg);

    // Splits a command into the function name (text before the first "(", trimmed) and its
    // arguments (the rest cut at space , ' " tab ( ) ; with empty pieces dropped); anything
    // up to and including "javascript:" is skipped. False when the name is empty.
    static bool ParseScriptCommand(std::string_view command, std::string* name,
                                   std::vector<std::string>* arguments);

private:
    CNetworkReachability m_ownReachability;
    VNetworkReachability* m_reachability = &m_ownReachability;
    bool m_pageLoaded = false;
};

}  // namespace locket
