#include "ui/map/WebMapView.h"

#include "LodvarSiteConfig.h"
#include "ui/map/WebMap.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

const QByteArray SchemeName = QByteArrayLiteral("lodvar");
const QString PageHost = QStringLiteral("map");
const QString BundleRoot = QStringLiteral(":/lodvar-map");

// The scheme must be known before the application object exists.
void RegisterMapScheme() {
    QWebEngineUrlScheme scheme(SchemeName);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}
Q_CONSTRUCTOR_FUNCTION(RegisterMapScheme)

QString BundleUrl(const QString& path) {
    return QStringLiteral("%1://%2/%3").arg(QString::fromLatin1(SchemeName), PageHost, path);
}

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Origin (scheme://host[:port]) of a URL template, for the page's image sources.
QString OriginOf(const QString& urlTemplate) {
    const QUrl url(
        QString(urlTemplate)
            .replace(QStringLiteral("{s}"), QStringLiteral("a"))
            .replace(QRegularExpression(QStringLiteral("\\{[a-z]+\\}")), QStringLiteral("0")));
    if (!url.isValid() || url.host().isEmpty()) {
        return {};
    }
    // A template with {s} in its host names several servers.
    const QString host = urlTemplate.contains(QStringLiteral("{s}."))
                             ? QStringLiteral("*.") + url.host().section(QLatin1Char('.'), 1)
                             : url.host();
    return url.scheme() + QStringLiteral("://") + host +
           (url.port() > 0 ? QStringLiteral(":%1").arg(url.port()) : QString());
}

// Serves the page and its files from the bundle.
class TMapSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QUrl url = job->requestUrl();
        const QString path = url.path();
        if (url.host() != PageHost || path.contains(QStringLiteral(".."))) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QByteArray data;
        QByteArray mime;
        if (path == QStringLiteral("/index.html")) {
            data = ReadResource(BundleRoot + path);
            const QString tiles =
                QUrlQuery(url).queryItemValue(QStringLiteral("tiles"), QUrl::FullyDecoded);
            data.replace("%IMG_SOURCES%", OriginOf(tiles).toUtf8());
            mime = "text/html";
        } else if (path == QStringLiteral("/qwebchannel.js")) {
            data = ReadResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
            mime = "application/javascript";
        } else if (path == QStringLiteral("/basemap.js")) {
            static const QByteArray script =
                "window.lodvarBaseMap=" +
                ReadResource(BundleRoot +
                             QStringLiteral("/node_modules/world-atlas/countries-50m.json")) +
                ";";
            data = script;
            mime = "application/javascript";
        } else {
            data = ReadResource(BundleRoot + path);
            mime = path.endsWith(QStringLiteral(".html"))  ? "text/html"
                   : path.endsWith(QStringLiteral(".js"))  ? "application/javascript"
                   : path.endsWith(QStringLiteral(".css")) ? "text/css"
                   : path.endsWith(QStringLiteral(".svg")) ? "image/svg+xml"
                   : path.endsWith(QStringLiteral(".png")) ? "image/png"
                                                           : "application/octet-stream";
        }
        if (data.isEmpty()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(data);
        buffer->open(QIODevice::ReadOnly);
        job->reply(mime, buffer);
    }
};

} // namespace

// The page's end of the web channel.
class TMapBridge : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void batch(const QString& json);
    void ready();
    void batchDrawn(int seq);

public slots:
    void pageReady() { emit ready(); }
    void drawn(int seq) { emit batchDrawn(seq); }
};

QWebEngineProfile* TWebMapView::Profile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(qApp); // off the record: nothing is written to disk
        p->installUrlSchemeHandler(SchemeName, new TMapSchemeHandler(p));
        return p;
    }();
    return profile;
}

QString TWebMapView::SiteTileUrlTemplate() {
    return QString::fromUtf8(SiteConfig::MapTileUrl)
        .replace(QStringLiteral("{apikey}"), QString::fromUtf8(SiteConfig::MapApiKey));
}

TWebMapView::TWebMapView(TWebMap& map, QWidget* parent)
    : TWebMapView(map, SiteTileUrlTemplate(), parent) {}

TWebMapView::TWebMapView(TWebMap& map, const QString& tileUrlTemplate, QWidget* parent)
    : QWebEngineView(parent), FMap(map), FBridge(new TMapBridge(this)) {
    auto* page = new QWebEnginePage(Profile(), this);
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("lodvarBridge"), FBridge);
    page->setWebChannel(channel);
    page->setBackgroundColor(Qt::black);
    setPage(page);
    // The map is the only page this view shows: no menu to reload or leave it, no drops.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);

    connect(FBridge, &TMapBridge::ready, this, [this] { FMap.SetPageLoaded(); });
    connect(FBridge, &TMapBridge::batchDrawn, this, [this](int seq) {
        FDrawnBatch = seq;
        emit BatchDrawn(seq);
    });
    connect(&FMap, &TWebMap::BatchReady, FBridge,
            [this](const QByteArray& batch) { emit FBridge->batch(QString::fromUtf8(batch)); });
    connect(page, &QWebEnginePage::loadStarted, this, [this] { FMap.SetPageUnloaded(); });
    // A crashed page is loaded again and gets the whole map anew.
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this, page](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                FMap.SetPageUnloaded();
                if (status != QWebEnginePage::NormalTerminationStatus) {
                    page->triggerAction(QWebEnginePage::Reload);
                }
            });

    QUrl url(BundleUrl(QStringLiteral("index.html")));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("icons"), QString::fromUtf8(SiteConfig::IconHost));
    if (!tileUrlTemplate.isEmpty()) {
        query.addQueryItem(QStringLiteral("tiles"),
                           QString::fromUtf8(QUrl::toPercentEncoding(tileUrlTemplate)));
    }
    url.setQuery(query);
    page->load(url);
}

TWebMapView::~TWebMapView() {
    FMap.SetPageUnloaded();
    // The page must go before the view, which would otherwise still reach it.
    delete page();
}

#include "WebMapView.moc"
