#include "widgets/tile_cache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <cstdio>

namespace locket {

namespace {

// The tile server's usage policy asks every application to name itself.
QByteArray UserAgent() {
    return QByteArray("LocketKX2Viewer/") + LOCKET_VERSION +
           " (Linux desktop viewer of a car recorder; Qt)";
}

}  // namespace

void CTileSchemeHandler::RegisterScheme() {
    static const bool done = [] {
        QWebEngineUrlScheme scheme(kScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme |
                        QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)done;
}

QString CTileSchemeHandler::DefaultCacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/locket-viewer/tiles");
}

CTileSchemeHandler::CTileSchemeHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_cache(*new QNetworkDiskCache(&m_network)) {
    SetCacheFolder(DefaultCacheFolder());
    m_network.setCache(&m_cache);
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

void CTileSchemeHandler::SetServer(const QString& urlTemplate) {
    const QUrl url(QString(urlTemplate).replace(QRegularExpression("[{}]"), QString()));
    if (url.isValid() &&
        (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
        m_server = urlTemplate;
}

void CTileSchemeHandler::SetCacheFolder(const QString& folder, qint64 maxBytes) {
    QDir().mkpath(folder);
    m_cache.setCacheDirectory(folder);
    m_cache.setMaximumCacheSize(maxBytes);
}

void CTileSchemeHandler::SetReachability(VNetworkReachability* reachability) {
    m_reachability = reachability ? reachability : &m_ownReachability;
}

bool CTileSchemeHandler::ParseTilePath(const QString& path, int* z, int* x, int* y) {
    static const QRegularExpression kTile(
        QStringLiteral("^/?(\\d{1,2})/(\\d{1,7})/(\\d{1,7})(\\.png)?$"));
    const QRegularExpressionMatch match = kTile.match(path);
    if (!match.hasMatch())
        return false;
    const int zoom = match.captured(1).toInt();
    const long long column = match.captured(2).toLongLong();
    const long long row = match.captured(3).toLongLong();
    if (zoom > kMaxZoom || column >= (1LL << zoom) || row >= (1LL << zoom))
        return false;
    *z = zoom;
    *x = static_cast<int>(column);
    *y = static_cast<int>(row);
    return true;
}

QUrl CTileSchemeHandler::TileUrl(int z, int x, int y) const {
    QString text = m_server;
    text.replace(QLatin1String("{z}"), QString::number(z))
        .replace(QLatin1String("{x}"), QString::number(x))
        .replace(QLatin1String("{y}"), QString::number(y));
    return QUrl(text);
}

void CTileSchemeHandler::Get(const QUrl& url, bool cacheOnly, Done done) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    QNetworkReply* reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, cacheOnly, done] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && (status == 0 || status == 200)) {
            done(reply->readAll());
        } else if (!cacheOnly) {
            // Online but the server did not answer: what the cache holds is better than nothing.
            Get(url, true, done);
        } else {
            done({});
        }
    });
}

void CTileSchemeHandler::Fetch(int z, int x, int y, Done done) {
    Get(TileUrl(z, x, y), !m_reachability->IsOnline(), std::move(done));
}

void CTileSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    int z = 0, x = 0, y = 0;
    if (QCoreApplication::closingDown() || job->requestMethod() != "GET" ||
        !ParseTilePath(job->requestUrl().path(), &z, &x, &y)) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    QPointer<QWebEngineUrlRequestJob> alive(job);
    Fetch(z, x, y, [alive](const QByteArray& bytes) {
        if (!alive)
            return;
        if (bytes.isEmpty()) {
            alive->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(alive);
        buffer->setData(bytes);
        alive->reply("image/png", buffer);
    });
}

}  // namespace locket
