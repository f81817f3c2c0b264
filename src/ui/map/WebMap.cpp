#include "ui/map/WebMap.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <type_traits>

namespace {

void AppendNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out += "null"; // JSON has no NaN; the page leaves such an item out
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void AppendNumber(QByteArray& out, std::uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void AppendString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

// "#RRGGBB" of a colour in the platform's form $00BBGGRR.
void AppendCssColor(QByteArray& out, TColor color) {
    static const char hex[] = "0123456789abcdef";
    out += "\"#";
    for (const int shift : {0, 8, 16}) {
        const unsigned byte = (color >> shift) & 0xFF;
        out += hex[byte >> 4];
        out += hex[byte & 0xF];
    }
    out += '"';
}

// [lat, lng, lat, lng, ...], flat: a third of the size of an array of pairs.
void AppendPoints(QByteArray& out, const QVector<TCoordinate>& points) {
    out += '[';
    for (const TCoordinate& p : points) {
        AppendNumber(out, p.Latitude);
        out += ',';
        AppendNumber(out, p.Longitude);
        out += ',';
    }
    if (out.back() == ',') {
        out.chop(1);
    }
    out += ']';
}

} // namespace

void TMapItem::Changed() {
    FMap->ItemChanged(*this);
}

void TMapOverlayView::SetVisible(bool visible) {
    if (FVisible != visible) {
        FVisible = visible;
        FOwner->Changed();
    }
}

void TMapMarker::SetVisible(bool visible) {
    if (FVisible != visible) {
        FVisible = visible;
        Changed();
    }
}

void TMapMarker::SetRingColor(std::optional<TColor> color) {
    if (FRingColor != color) {
        FRingColor = color;
        Changed();
    }
}

void TMapMarker::SetLabel(const QString& text) {
    if (FLabel != text) {
        FLabel = text;
        Changed();
    }
}

TMapOverlayView& TMapMarker::AddOverlayView(const QString& html) {
    if (FOverlay) {
        FOverlay->FText = html;
    } else {
        FOverlay.reset(new TMapOverlayView(*this, html));
    }
    Changed();
    return *FOverlay;
}

void TMapPolyline::SetStrokeColor(TColor color) {
    if (FStrokeColor != color) {
        FStrokeColor = color;
        Changed();
    }
}

void TMapPolyline::SetStrokeWidth(int pixels) {
    if (FStrokeWidth != pixels) {
        FStrokeWidth = pixels;
        Changed();
    }
}

void TMapPolyline::SetGeodesic(bool geodesic) {
    if (FGeodesic != geodesic) {
        FGeodesic = geodesic;
        Changed();
    }
}

void TMapPolygon::SetStrokeColor(TColor color) {
    if (FStrokeColor != color) {
        FStrokeColor = color;
        Changed();
    }
}

void TMapPolygon::SetStrokeWidth(int pixels) {
    if (FStrokeWidth != pixels) {
        FStrokeWidth = pixels;
        Changed();
    }
}

void TMapPolygon::SetFillColor(TColor color) {
    if (FFillColor != color) {
        FFillColor = color;
        Changed();
    }
}

void TMapPolygon::SetFillOpacityPercent(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (FFillOpacity != percent) {
        FFillOpacity = percent;
        Changed();
    }
}

template <typename TItem>
void TMapItemList<TItem>::Clear() {
    FItems.clear();
    if constexpr (std::is_same_v<TItem, TMapMarker>) {
        FMap->Cleared(TWebMap::TKind::Marker);
    } else if constexpr (std::is_same_v<TItem, TMapPolyline>) {
        FMap->Cleared(TWebMap::TKind::Line);
    } else {
        FMap->Cleared(TWebMap::TKind::Polygon);
    }
}

template class TMapItemList<TMapMarker>;
template class TMapItemList<TMapPolyline>;
template class TMapItemList<TMapPolygon>;

TWebMap::TWebMap(QObject* parent)
    : QObject(parent), Markers(*this), Polylines(*this), Polygons(*this) {}

TWebMap::~TWebMap() = default;

TMapMarker& TWebMap::AddMarker(const TCoordinate& at, const QString& title,
                               const QString& iconURL) {
    Markers.FItems.emplace_back(new TMapMarker(*this, FNextId++, at, title, iconURL));
    TMapMarker& marker = *Markers.FItems.back();
    ItemChanged(marker);
    return marker;
}

TMapPolyline& TWebMap::AddPolyline(const QVector<TCoordinate>& points, bool closed) {
    Polylines.FItems.emplace_back(new TMapPolyline(*this, FNextId++, points, closed));
    TMapPolyline& line = *Polylines.FItems.back();
    ItemChanged(line);
    return line;
}

TMapPolygon& TWebMap::AddPolygon(const QVector<TCoordinate>& points) {
    Polygons.FItems.emplace_back(new TMapPolygon(*this, FNextId++, points));
    TMapPolygon& polygon = *Polygons.FItems.back();
    ItemChanged(polygon);
    return polygon;
}

void TWebMap::SetLegend(const QVector<TMapLegendEntry>& entries) {
    if (FLegend == entries) {
        return;
    }
    FLegend = entries;
    FLegendChanged = true;
    Touched();
}

void TWebMap::SetCenterCoordinate(const TCoordinate& center) {
    if (!FPageLoaded) {
        return;
    }
    if (!FViewOps.isEmpty()) {
        FViewOps += ',';
    }
    FViewOps += "[\"c\",";
    AppendNumber(FViewOps, center.Latitude);
    FViewOps += ',';
    AppendNumber(FViewOps, center.Longitude);
    FViewOps += ']';
    Touched();
}

void TWebMap::ZoomToBounds(const TCoordinate& northEast, const TCoordinate& southWest) {
    if (!FPageLoaded) {
        return;
    }
    if (!FViewOps.isEmpty()) {
        FViewOps += ',';
    }
    FViewOps += "[\"b\",";
    for (const double v :
         {northEast.Latitude, northEast.Longitude, southWest.Latitude, southWest.Longitude}) {
        AppendNumber(FViewOps, v);
        FViewOps += ',';
    }
    FViewOps.back() = ']';
    Touched();
}

void TWebMap::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FPending) {
        emit BatchReady(TakeBatch());
    }
}

void TWebMap::SetPageLoaded() {
    FPageLoaded = true;
    // A fresh page holds nothing of ours: everything goes, in the order of creation.
    FClearMarkers = true;
    FClearLines = true;
    FClearPolygons = false; // the fresh page has none
    FLegendChanged = !FLegend.isEmpty();
    FViewOps.clear();
    QueueAll();
    emit Loaded();
    Touched();
}

void TWebMap::QueueAll() {
    for (TMapMarker* m : FChangedMarkers) {
        m->FQueued = false;
    }
    for (TMapPolyline* l : FChangedLines) {
        l->FQueued = false;
    }
    for (TMapPolygon* p : FChangedPolygons) {
        p->FQueued = false;
    }
    FChangedMarkers.clear();
    FChangedLines.clear();
    FChangedPolygons.clear();
    for (const auto& m : Markers) {
        Queue(*m);
    }
    for (const auto& l : Polylines) {
        Queue(*l);
    }
    for (const auto& p : Polygons) {
        Queue(*p);
    }
}

void TWebMap::ItemChanged(TMapItem& item) {
    if (!FPageLoaded) {
        return; // the page gets everything when it has loaded
    }
    Queue(item);
    Touched();
}

void TWebMap::Queue(TMapItem& item) {
    if (!item.FQueued) {
        item.FQueued = true;
        if (auto* marker = dynamic_cast<TMapMarker*>(&item)) {
            FChangedMarkers.push_back(marker);
        } else if (auto* polygon = dynamic_cast<TMapPolygon*>(&item)) {
            FChangedPolygons.push_back(polygon);
        } else {
            FChangedLines.push_back(static_cast<TMapPolyline*>(&item));
        }
    }
}

void TWebMap::Cleared(TKind kind) {
    switch (kind) { // the queued items are gone
    case TKind::Marker:
        FChangedMarkers.clear();
        FClearMarkers = true;
        break;
    case TKind::Line:
        FChangedLines.clear();
        FClearLines = true;
        break;
    case TKind::Polygon:
        FChangedPolygons.clear();
        FClearPolygons = true;
        break;
    }
    Touched();
}

void TWebMap::Touched() {
    if (!FPageLoaded) {
        return;
    }
    FPending = true;
    if (FUpdateCount == 0) {
        emit BatchReady(TakeBatch());
    }
}

QByteArray TWebMap::TakeBatch() {
    QByteArray out;
    out.reserve(160 + 120 * static_cast<qsizetype>(FChangedMarkers.size()) +
                96 * static_cast<qsizetype>(FChangedLines.size()) + FViewOps.size());
    out += "{\"seq\":";
    AppendNumber(out, static_cast<std::uint64_t>(++FBatchSeq));
    out += ",\"cm\":";
    out += FClearMarkers ? '1' : '0';
    out += ",\"cl\":";
    out += FClearLines ? '1' : '0';

    // Markers: [id, lat, lng, title, icon index, visible, info HTML or null, info visible].
    QHash<QString, int> iconIndex;
    QByteArray icons;
    out += ",\"m\":[";
    for (TMapMarker* m : FChangedMarkers) {
        m->FQueued = false;
        auto icon = iconIndex.constFind(m->FIconURL);
        if (icon == iconIndex.cend()) {
            icon = iconIndex.insert(m->FIconURL, static_cast<int>(iconIndex.size()));
            if (!icons.isEmpty()) {
                icons += ',';
            }
            AppendString(icons, m->FIconURL);
        }
        out += '[';
        AppendNumber(out, m->Id());
        out += ',';
        AppendNumber(out, m->FCoordinate.Latitude);
        out += ',';
        AppendNumber(out, m->FCoordinate.Longitude);
        out += ',';
        AppendString(out, m->FTitle);
        out += ',';
        AppendNumber(out, static_cast<std::uint64_t>(*icon));
        out += m->FVisible ? ",1," : ",0,";
        if (m->FOverlay) {
            AppendString(out, m->FOverlay->Text());
            out += m->FOverlay->Visible() ? ",1" : ",0";
        } else {
            out += "null,0";
        }
        // Ring colour and label only when the marker has either: the plain form stays short.
        if (m->FRingColor || !m->FLabel.isEmpty()) {
            out += ',';
            if (m->FRingColor) {
                AppendCssColor(out, *m->FRingColor);
            } else {
                out += "null";
            }
            out += ',';
            AppendString(out, m->FLabel);
        }
        out += "],";
    }
    if (out.back() == ',') {
        out.chop(1);
    }

    // Lines: [id, [lat, lng, lat, lng, ...], "#rrggbb", width, geodesic, closed].
    out += "],\"l\":[";
    for (TMapPolyline* l : FChangedLines) {
        l->FQueued = false;
        out += '[';
        AppendNumber(out, l->Id());
        out += ',';
        AppendPoints(out, l->FCoordinates);
        out += ',';
        AppendCssColor(out, l->FStrokeColor);
        out += ',';
        AppendNumber(out, static_cast<std::uint64_t>(std::max(l->FStrokeWidth, 0)));
        out += l->FGeodesic ? ",1" : ",0";
        out += l->FClosed ? ",1]," : ",0],";
    }
    if (out.back() == ',') {
        out.chop(1);
    }

    out += ']';

    // Polygons and the legend only when they changed, so batches without them stay as they were.
    // Polygons: [id, [lat, lng, ...], "#stroke", width, "#fill", fill opacity percent].
    if (FClearPolygons || !FChangedPolygons.empty()) {
        out += ",\"cp\":";
        out += FClearPolygons ? '1' : '0';
        out += ",\"p\":[";
        for (TMapPolygon* p : FChangedPolygons) {
            p->FQueued = false;
            out += '[';
            AppendNumber(out, p->Id());
            out += ',';
            AppendPoints(out, p->FCoordinates);
            out += ',';
            AppendCssColor(out, p->FStrokeColor);
            out += ',';
            AppendNumber(out, static_cast<std::uint64_t>(std::max(p->FStrokeWidth, 0)));
            out += ',';
            AppendCssColor(out, p->FFillColor);
            out += ',';
            AppendNumber(out, static_cast<std::uint64_t>(p->FFillOpacity));
            out += "],";
        }
        if (out.back() == ',') {
            out.chop(1);
        }
        out += ']';
    }
    // Legend: [[name, "#rrggbb"], ...]; empty removes it.
    if (FLegendChanged) {
        out += ",\"lg\":[";
        for (const TMapLegendEntry& e : FLegend) {
            out += '[';
            AppendString(out, e.Name);
            out += ',';
            AppendCssColor(out, e.Color);
            out += "],";
        }
        if (out.back() == ',') {
            out.chop(1);
        }
        out += ']';
    }

    out += ",\"icons\":[";
    out += icons;
    out += "],\"v\":[";
    out += FViewOps;
    out += "]}";

    FChangedMarkers.clear();
    FChangedLines.clear();
    FChangedPolygons.clear();
    FClearMarkers = false;
    FClearLines = false;
    FClearPolygons = false;
    FLegendChanged = false;
    FViewOps.clear();
    FPending = false;
    return out;
}
