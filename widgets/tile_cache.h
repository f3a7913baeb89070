// Map tiles for the map page: the page asks for locket-tile:/z/x/y.png, answered from a bounded
// disk cache, and fetched from the tile server (only the tiles asked for) when online.
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

#include <functional>

#include "widgets/network_reachability.h"

namespace locket {

class CTileSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr char kScheme[] = "locket-tile";
    static constexpr char kDefaultServer[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    static constexpr qint64 kDefaultCacheBytes = 200LL << 20;
    static constexpr int kMaxZoom = 19;

    // Once, before the web engine starts.
    static void RegisterScheme();
    // $XDG_CACHE_HOME/locket-viewer/tiles
    static QString DefaultCacheFolder();

    explicit CTileSchemeHandler(QObject* parent = nullptr);

    // An address with {z}, {x} and {y}; an address that is not http(s) keeps the one before.
    void SetServer(const QString& urlTemplate);
    QString Server() const { return m_server; }
    void SetCacheFolder(const QString& folder, qint64 maxBytes = kDefaultCacheBytes);
    QNetworkDiskCache* Cache() { return &m_cache; }
    // Stand-in for the machine's reachability (tests); null returns to the real one.
    void SetReachability(VNetworkReachability* reachability);

    // z/x/y of "/z/x/y.png" (".png" optional) with z <= kMaxZoom and x, y < 2^z; anything
    // else is no tile.
    static bool ParseTilePath(const QString& path, int* z, int* x, int* y);

    // The tile's bytes (empty when neither the cache nor the server has it) to done, on this
    // thread. Offline only the cache is asked; online a failed fetch falls back to it.
    using Done = std::function<void(const QByteArray& bytes)>;
    void Fetch(int z, int x, int y, Done done);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QUrl TileUrl(int z, int x, int y) const;
    void Get(const QUrl& url, bool cacheOnly, Done done);

    QString m_server = QString::fromLatin1(kDefaultServer);
    QNetworkAccessManager m_network;
    // Owned by the network manager once set; this pointer only reaches it.
    QNetworkDiskCache& m_cache;
    CNetworkReachability m_ownReachability;
    VNetworkReachability* m_reachability = &m_ownReachability;
};

}  // namespace locket
