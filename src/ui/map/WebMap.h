// The map of the main window (its field `tmsMap`): markers, lines and info boxes as plain
// data, and the view requests, kept in C++ so that everything the window does to the map is
// testable without a browser. The page in the embedded browser (TWebMapView) only shows it.
//
// - Markers, Polylines and Polygons keep their items in the order of creation; the map owns them.
// - BeginUpdate/EndUpdate nest. The outermost EndUpdate sends every change since the last
//   update to the page as one compact batch (signal BatchReady); a change made outside a
//   bracket is sent at once. An update with no change sends nothing.
// - Before the page has loaded nothing is sent: markers and lines wait and appear, all in
//   one batch, when it has loaded; SetCenterCoordinate and ZoomToBounds made before that are
//   dropped, not deferred.
#pragma once

#include "ui/DestinationPoint.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TWebMap;
class TMapMarker;

// A colour in the platform's form $00BBGGRR (blue in the third byte from the right).
using TColor = std::uint32_t;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clRed = 0x000000FF;

// Base of the map's items: a change of a property reaches the page with the next update.
class TMapItem {
public:
    TMapItem(const TMapItem&) = delete;
    TMapItem& operator=(const TMapItem&) = delete;
    virtual ~TMapItem() = default;

    // Identifies the item to the page; never reused within one map.
    std::uint64_t Id() const noexcept { return FId; }
    int DataInteger() const noexcept { return FDataInteger; }
    void SetDataInteger(int value) noexcept { FDataInteger = value; }

protected:
    TMapItem(TWebMap& map, std::uint64_t id) : FMap(&map), FId(id) {}
    void Changed();

private:
    friend class TWebMap;
    TWebMap* FMap;
    std::uint64_t FId;
    int FDataInteger = 0; // the caller's tag; the page does not use it
    bool FQueued = false; // waits in the map's list of changes for the next batch
};

// A marker's info box: HTML shown next to the marker while both are visible.
class TMapOverlayView {
public:
    const QString& Text() const noexcept { return FText; }
    bool Visible() const noexcept { return FVisible; }
    void SetVisible(bool visible);

private:
    friend class TMapMarker;
    TMapOverlayView(TMapMarker& owner, QString html) : FOwner(&owner), FText(std::move(html)) {}
    TMapMarker* FOwner;
    QString FText;
    bool FVisible = true;
};

class TMapMarker : public TMapItem {
public:
    const TCoordinate& Coordinate() const noexcept { return FCoordinate; }
    // Plain text, shown as the marker's hover text; may span lines.
    const QString& Title() const noexcept { return FTitle; }
    const QString& IconURL() const noexcept { return FIconURL; }
    bool Visible() const noexcept { return FVisible; }
    void SetVisible(bool visible);
    // A ring of the colour around the icon (e.g. the colour of the marker's station).
    const std::optional<TColor>& RingColor() const noexcept { return FRingColor; }
    void SetRingColor(std::optional<TColor> color);
    // Plain text shown as a small label under the marker while its info box is shown.
    const QString& Label() const noexcept { return FLabel; }
    void SetLabel(const QString& text);

    // Creates the marker's info box with the HTML; a marker has at most one, so a second
    // call replaces the text of the first.
    TMapOverlayView& AddOverlayView(const QString& html);
    // The marker's info box, or nullptr.
    TMapOverlayView* OverlayView() const noexcept { return FOverlay.get(); }

private:
    friend class TWebMap;
    friend class TMapOverlayView;
    TMapMarker(TWebMap& map, std::uint64_t id, TCoordinate at, QString title, QString icon)
        : TMapItem(map, id), FCoordinate(at), FTitle(std::move(title)), FIconURL(std::move(icon)) {}
    TCoordinate FCoordinate;
    QString FTitle;
    QString FIconURL;
    bool FVisible = true;
    std::unique_ptr<TMapOverlayView> FOverlay;
    std::optional<TColor> FRingColor;
    QString FLabel;
};

class TMapPolyline : public TMapItem {
public:
    const QVector<TCoordinate>& Coordinates() const noexcept { return FCoordinates; }
    bool Closed() const noexcept { return FClosed; }
    TColor StrokeColor() const noexcept { return FStrokeColor; }
    void SetStrokeColor(TColor color);
    int StrokeWidth() const noexcept { return FStrokeWidth; } // pixels
    void SetStrokeWidth(int pixels);
    // Drawn along great circles rather than straight on the projection.
    bool Geodesic() const noexcept { return FGeodesic; }
    void SetGeodesic(bool geodesic);

private:
    friend class TWebMap;
    TMapPolyline(TWebMap& map, std::uint64_t id, QVector<TCoordinate> points, bool closed)
        : TMapItem(map, id), FCoordinates(std::move(points)), FClosed(closed) {}
    QVector<TCoordinate> FCoordinates;
    bool FClosed;
    TColor FStrokeColor = clBlue;
    int FStrokeWidth = 2;
    bool FGeodesic = false;
};

// A filled area, drawn straight on the projection (e.g. an error ellipse as many vertices).
class TMapPolygon : public TMapItem {
public:
    const QVector<TCoordinate>& Coordinates() const noexcept { return FCoordinates; }
    TColor StrokeColor() const noexcept { return FStrokeColor; }
    void SetStrokeColor(TColor color);
    int StrokeWidth() const noexcept { return FStrokeWidth; } // pixels
    void SetStrokeWidth(int pixels);
    TColor FillColor() const noexcept { return FFillColor; }
    void SetFillColor(TColor color);
    int FillOpacityPercent() const noexcept { return FFillOpacity; } // 0 (none) to 100
    void SetFillOpacityPercent(int percent);

private:
    friend class TWebMap;
    TMapPolygon(TWebMap& map, std::uint64_t id, QVector<TCoordinate> points)
        : TMapItem(map, id), FCoordinates(std::move(points)) {}
    QVector<TCoordinate> FCoordinates;
    TColor FStrokeColor = clRed;
    int FStrokeWidth = 2;
    TColor FFillColor = clRed;
    int FFillOpacity = 20;
};

// One row of the map's legend: a name beside a swatch of its colour.
struct TMapLegendEntry {
    QString Name; // plain text
    TColor Color = clBlue;
    bool operator==(const TMapLegendEntry&) const = default;
};

// An ordered list of the map's items of one kind.
template <typename TItem>
class TMapItemList {
public:
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    bool IsEmpty() const noexcept { return FItems.empty(); }
    TItem& operator[](int index) const { return *FItems.at(static_cast<size_t>(index)); }
    TItem& Last() const { return *FItems.back(); }
    void Clear();

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    friend class TWebMap;
    explicit TMapItemList(TWebMap& map) : FMap(&map) {}
    TWebMap* FMap;
    std::vector<std::unique_ptr<TItem>> FItems;
};

class TWebMap : public QObject {
    Q_OBJECT

public:
    // The first view of the map, until a view request of the window.
    static constexpr TCoordinate DefaultCenter{51.507833, 27.509642};
    static constexpr double DefaultZoomLevel = 12.0;

    explicit TWebMap(QObject* parent = nullptr);
    ~TWebMap() override;

    TMapItemList<TMapMarker> Markers;
    TMapItemList<TMapPolyline> Polylines;
    TMapItemList<TMapPolygon> Polygons;

    TMapMarker& AddMarker(const TCoordinate& at, const QString& title, const QString& iconURL);
    TMapPolyline& AddPolyline(const QVector<TCoordinate>& points, bool closed);
    TMapPolygon& AddPolygon(const QVector<TCoordinate>& points);

    // The legend in a corner of the map, in the order given; empty: no legend.
    const QVector<TMapLegendEntry>& Legend() const noexcept { return FLegend; }
    void SetLegend(const QVector<TMapLegendEntry>& entries);

    // Moves the view to the coordinate, keeping the zoom; dropped before the page has loaded.
    void SetCenterCoordinate(const TCoordinate& center);
    // Fits the view to the rectangle; dropped before the page has loaded.
    void ZoomToBounds(const TCoordinate& northEast, const TCoordinate& southWest);

    void BeginUpdate() noexcept { ++FUpdateCount; }
    void EndUpdate();
    int UpdateCount() const noexcept { return FUpdateCount; }

    bool PageLoaded() const noexcept { return FPageLoaded; }
    // The page reports that it has loaded (again): it is sent everything the map holds.
    void SetPageLoaded();
    // The page went away (reload, crash): nothing is sent until it reports loaded again.
    void SetPageUnloaded() noexcept { FPageLoaded = false; }

    // Number of the last batch sent (0: none yet).
    int LastBatch() const noexcept { return FBatchSeq; }

signals:
    void Loaded();
    // One update of the page: a JSON object numbered by "seq" (see web/map.js for the form).
    void BatchReady(const QByteArray& batch);

private:
    friend class TMapItem;
    template <typename>
    friend class TMapItemList;

    void ItemChanged(TMapItem& item);
    void Queue(TMapItem& item);
    enum class TKind { Marker, Line, Polygon };
    void Cleared(TKind kind);
    void Touched();
    void QueueAll();
    QByteArray TakeBatch();

    int FUpdateCount = 0;
    bool FPageLoaded = false;
    int FBatchSeq = 0;
    std::uint64_t FNextId = 1;

    // Pending changes since the last batch.
    bool FClearMarkers = false;
    bool FClearLines = false;
    bool FClearPolygons = false;
    bool FLegendChanged = false;
    std::vector<TMapMarker*> FChangedMarkers; // added or changed, in order of the first change
    std::vector<TMapPolyline*> FChangedLines;
    std::vector<TMapPolygon*> FChangedPolygons;
    QVector<TMapLegendEntry> FLegend;
    QByteArray FViewOps; // JSON array elements, comma-separated
    bool FPending = false;
};

// Brackets a batch of map changes; EndUpdate runs on every path out of the scope.
class TMapUpdate {
public:
    explicit TMapUpdate(TWebMap& map) : FMap(map) { FMap.BeginUpdate(); }
    ~TMapUpdate() { FMap.EndUpdate(); }
    TMapUpdate(const TMapUpdate&) = delete;
    TMapUpdate& operator=(const TMapUpdate&) = delete;

private:
    TWebMap& FMap;
};
