// The map page in the embedded browser, showing a TWebMap: the widget the main window puts
// into its map panel.
//
// The page and everything it needs (Leaflet, the Natural Earth base map, the icons) come from
// the program's bundle under the scheme "lodvar://map/", so the map works with no network.
// The page shows the two icon URLs the program builds (https on the configured icon host)
// with the bundle's drawings. Online tiles are optional: a URL template with {z}, {x}, {y} (and
// {apikey}, replaced by the built-in map API key); empty means offline only.
//
// The view reports the page loaded to the map, which then sends it everything it holds;
// each later batch of the map goes to the page as it comes. BatchDrawn tells when the page
// has drawn a batch.
#pragma once

#include <QWebEngineView>

class QWebEngineProfile;

class TWebMap;
class TMapBridge;

class TWebMapView : public QWebEngineView {
    Q_OBJECT

public:
    // The site's tile URL template (LODVAR_MAP_TILE_URL), with the API key filled in.
    static QString SiteTileUrlTemplate();

    // The browser profile of the map pages: off the record, serving lodvar://map/ from the
    // bundle (pages of other bundled files under /lodvar-map can use it too).
    static QWebEngineProfile* Profile();

    TWebMapView(TWebMap& map, QWidget* parent = nullptr);
    TWebMapView(TWebMap& map, const QString& tileUrlTemplate, QWidget* parent = nullptr);
    ~TWebMapView() override;

    // Number of the last batch the page has drawn (0: none).
    int DrawnBatch() const noexcept { return FDrawnBatch; }

signals:
    void BatchDrawn(int seq);

private:
    TWebMap& FMap;
    TMapBridge* FBridge;
    int FDrawnBatch = 0;
};
