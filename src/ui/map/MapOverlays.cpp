#include "ui/map/MapOverlays.h"

#include "LodvarSiteConfig.h"
#include "app/Application.h"
#include "data/uDbQuery.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "ui/grid/GridSelection.h"
#include "ui/map/StationColors.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// NULL reads as empty text.
QString TextOf(const TGridRow& row, const QString& field) {
    const QVariant value = row.Value(field);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

// NULL, NaN and infinities read as no position: such a point cannot be drawn.
std::optional<double> DegreesOf(const TGridRow& row, const QString& field) {
    const QVariant value = row.Value(field);
    if (!value.isValid() || value.isNull()) {
        return std::nullopt;
    }
    bool ok = false;
    const double degrees = value.toDouble(&ok);
    if (!ok) {
        throw EConvertError(
            QStringLiteral("'%1' is not a valid floating point value").arg(value.toString()));
    }
    return std::isfinite(degrees) ? std::optional<double>(degrees) : std::nullopt;
}

std::optional<TCoordinate> PositionOf(const TGridRow& row, const QString& latitudeField,
                                      const QString& longitudeField) {
    const auto latitude = DegreesOf(row, latitudeField);
    const auto longitude = DegreesOf(row, longitudeField);
    if (!latitude || !longitude) {
        return std::nullopt;
    }
    return TCoordinate{*latitude, *longitude};
}

std::optional<int> BearingOf(const TGridRow& row, const QString& field) {
    const QVariant value = row.Value(field);
    if (!value.isValid() || value.isNull()) {
        return std::nullopt;
    }
    bool ok = false;
    const int degrees = value.toInt(&ok);
    if (!ok) {
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    }
    return degrees;
}

QString IconURL(const char* path) {
    return QStringLiteral("https://") + QString::fromUtf8(SiteConfig::IconHost) +
           QLatin1String(path);
}

} // namespace

QString AntennaIconURL() {
    return IconURL("/icons8-antenna-30-grey.png");
}

QString PlaneIconURL() {
    return IconURL("/icons8-plane-50.png");
}

QString TMapOverlays::FixIconURL() {
    // Inline, so it needs neither the icon host nor the bundle: a white cross-hair ringed
    // in black, to stand out on the base map, the tiles and the station colours alike.
    static const QString url =
        QStringLiteral("data:image/svg+xml;base64,") +
        QString::fromLatin1(
            QByteArrayLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='32' height='32' "
                              "viewBox='0 0 32 32'><g fill='none' stroke-linecap='round'>"
                              "<g stroke='#000' stroke-width='5'><circle cx='16' cy='16' r='8'/>"
                              "<path d='M16 2v8M16 22v8M2 16h8M22 16h8'/></g>"
                              "<g stroke='#fff' stroke-width='2.5'><circle cx='16' cy='16' r='8'/>"
                              "<path d='M16 2v8M16 22v8M2 16h8M22 16h8'/></g></g></svg>")
                .toBase64());
    return url;
}

TMapOverlays::TMapOverlays(TWebMap& map, TDbQuery& qUnits, const TGridSelection& lodvars,
                           const TGridSelection& intersections,
                           std::function<bool()> showUnitsChecked,
                           std::function<bool()> showInfoChecked, QObject* parent)
    : QObject(parent), FMap(map), FUnits(qUnits), FLodvars(lodvars), FIntersections(intersections),
      FShowUnitsChecked(std::move(showUnitsChecked)), FShowInfoChecked(std::move(showInfoChecked)) {
    connect(&FFixModel, &TFixModel::LeftOutChanged, this, [this] {
        if (FFixEnabled && FShown == TShown::Lodvars) {
            try { // the rows drew a moment ago; still, no exception leaves a signal
                tvLodvarsSelectionChanged();
            } catch (const Exception& e) {
                ShowStandardError(e.Message());
            }
        }
    });
}

void TMapOverlays::ShowUnitMarkers() {
    const TMapUpdate update(FMap);
    try {
        if (!FUnits.Active()) {
            FUnits.Open();
        }
        FUnits.First();
        const TDbField& latitude = FUnits.FieldByName(QStringLiteral("_x"));
        const TDbField& longitude = FUnits.FieldByName(QStringLiteral("_y"));
        const TDbField& name = FUnits.FieldByName(QStringLiteral("_unit_name"));
        while (!FUnits.Eof()) {
            if (!latitude.IsNull() && !longitude.IsNull()) {
                const QString unitName = name.AsString();
                AddMapMarker(latitude.AsFloat(), longitude.AsFloat(), unitName, AntennaIconURL(),
                             UnitMarkerTag, unitName.toHtmlEscaped());
                const TCoordinate at{latitude.AsFloat(), longitude.AsFloat()};
                FStationNames.insert(StationKey(at), unitName);
                MarkStation(FMap.Markers.Last(), at, unitName);
            }
            FUnits.Next();
        }
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("Error while creating Units' markers: \r") + e.Message());
    } catch (const std::exception& e) {
        ShowMessage(QStringLiteral("Error while creating Units' markers: \r") +
                    QString::fromLocal8Bit(e.what()));
    }
}

void TMapOverlays::HideUnitMarkers() {
    const TMapUpdate update(FMap); // one page update for the whole set
    const int count = FMap.Markers.Count();
    for (int i = 0; i < count; ++i) {
        TMapMarker& marker = FMap.Markers[i];
        if (marker.DataInteger() == UnitMarkerTag) {
            marker.SetVisible(false);
            if (TMapOverlayView* info = marker.OverlayView()) {
                info->SetVisible(false);
            }
        }
    }
}

void TMapOverlays::AddMapMarker(double latitude, double longitude, const QString& title,
                                const QString& iconURL, int tag, const QString& infoHtml) {
    TMapMarker& marker =
        FMap.AddMarker({latitude, longitude}, title, iconURL.isEmpty() ? PlaneIconURL() : iconURL);
    marker.SetDataInteger(tag);
    if (FShowInfoChecked()) {
        marker.AddOverlayView(infoHtml);
    }
}

void TMapOverlays::ClearMapOverlays() {
    FMap.Markers.Clear();
    FMap.Polylines.Clear();
    // Only the additions make polygons and a legend: without them nothing more is sent.
    if (!FMap.Polygons.IsEmpty()) {
        FMap.Polygons.Clear();
    }
    FLegend.clear();
    FMap.SetLegend(FLegend);
    FColorsInView.clear();
}

TColor TMapOverlays::LineColor(const TCoordinate& station) {
    return FStationColors ? ColorInView(StationKey(station)) : LodvarLineColor;
}

// A station keeps its own colour unless a station drawn before it in this view has it; then
// it takes the next colour of the palette that no station in view has (while there is one).
TColor TMapOverlays::ColorInView(const QString& key) {
    const auto known = FColorsInView.constFind(key);
    if (known != FColorsInView.cend()) {
        return *known;
    }
    const TColor own = StationColor(key);
    const auto at = std::find(StationPalette.begin(), StationPalette.end(), own);
    TColor color = own;
    for (size_t step = 0; step < StationPalette.size(); ++step) {
        const TColor candidate =
            StationPalette[(size_t(at - StationPalette.begin()) + step) % StationPalette.size()];
        if (!FColorsInView.values().contains(candidate)) {
            color = candidate;
            break;
        }
    }
    FColorsInView.insert(key, color);
    return color;
}

// The units list as last read for the station markers; before that, the row's own name.
QString TMapOverlays::StationName(const QString& key, const QString& fallbackName) const {
    const QString known = FStationNames.value(key);
    return known.isEmpty() ? fallbackName : known;
}

TMapLegendEntry TMapOverlays::ListStation(const TCoordinate& station, const QString& fallbackName) {
    const QString key = StationKey(station);
    const TMapLegendEntry entry{StationName(key, fallbackName), ColorInView(key)};
    if (!FLegend.contains(entry)) {
        FLegend.append(entry);
        FMap.SetLegend(FLegend);
    }
    return entry;
}

void TMapOverlays::MarkStation(TMapMarker& marker, const TCoordinate& station,
                               const QString& fallbackName) {
    if (FStationColors) {
        const TMapLegendEntry entry = ListStation(station, fallbackName);
        marker.SetRingColor(entry.Color);
        marker.SetLabel(entry.Name);
    }
}

void TMapOverlays::AddLodvarLine(const TCoordinate& station, int bearing) {
    const TCoordinate end = DestinationPoint(station, bearing, FLodvarDistance);
    TMapPolyline& line = FMap.AddPolyline({station, end}, false);
    line.SetDataInteger(LodvarLineTag);
    line.SetStrokeColor(LineColor(station));
    line.SetStrokeWidth(LodvarLineWidth);
    line.SetGeodesic(true);
}

void TMapOverlays::DrawLodvar(const QString& title, int bearing, double latitude, double longitude,
                              const QString& infoHtml) {
    const TMapUpdate update(FMap);
    TMapMarker& marker = FMap.AddMarker({latitude, longitude}, title, AntennaIconURL());
    if (FShowInfoChecked()) {
        marker.AddOverlayView(infoHtml);
    }
    AddLodvarLine({latitude, longitude}, bearing);
}

void TMapOverlays::DrawIntersection(const QString& title, const QString& infoHtml,
                                    const TCoordinate& intersection, const TCoordinate& station1,
                                    int bearing1, const TCoordinate& station2, int bearing2) {
    const TMapUpdate update(FMap);
    TMapMarker& marker = FMap.AddMarker(intersection, title, PlaneIconURL());
    if (FShowInfoChecked()) {
        marker.AddOverlayView(infoHtml);
    }
    AddLodvarLine(station1, bearing1);
    AddLodvarLine(station2, bearing2);
}

bool TMapOverlays::PlotLodvarRow(const TGridRow& row) {
    const auto station =
        PositionOf(row, QStringLiteral("unit_x_coord"), QStringLiteral("unit_y_coord"));
    const QString armName = TextOf(row, QStringLiteral("arm_name"));
    const auto bearing = BearingOf(row, QStringLiteral("lodvar"));
    const QString note = TextOf(row, QStringLiteral("note"));
    if (!station || !bearing) {
        return false;
    }
    const QString b = QString::number(*bearing);
    const QString info = QStringLiteral("<b><font color=\"red\">") + armName.toHtmlEscaped() +
                         QStringLiteral("</font></b> Пеленг:<b>") + b + QStringLiteral("</b>|") +
                         note.toHtmlEscaped() + QStringLiteral("<br>");
    const QString title = armName + QStringLiteral(" | Пеленг:") + b + QStringLiteral(" | ") + note;
    DrawLodvar(title, *bearing, station->Latitude, station->Longitude, info);
    MarkStation(FMap.Markers.Last(), *station, armName);
    if (FFixEnabled) {
        QString key = TextOf(row, QStringLiteral("id"));
        if (key.isEmpty()) { // no record id: its place in the selection stands in
            key = QLatin1Char('#') + QString::number(FFixInputs.size());
        }
        FFixInputs.push_back({key, armName + QLatin1Char(' ') + b + QStringLiteral("°"), *station,
                              double(*bearing)});
    }
    return true;
}

bool TMapOverlays::PlotIntersectionRow(const TGridRow& row) {
    const auto at = PositionOf(row, QStringLiteral("i_x"), QStringLiteral("i_y"));
    const auto station1 = PositionOf(row, QStringLiteral("_u1_x"), QStringLiteral("_u1_y"));
    const auto station2 = PositionOf(row, QStringLiteral("_u2_x"), QStringLiteral("_u2_y"));
    const auto bearing1 = BearingOf(row, QStringLiteral("_lodvar1"));
    const auto bearing2 = BearingOf(row, QStringLiteral("_lodvar2"));
    struct TSide {
        QString Unit, Arm, Note, Bearing;
    };
    TSide sides[2];
    for (int k = 0; k < 2; ++k) {
        const QString n = QString::number(k + 1);
        sides[k].Unit = TextOf(row, QStringLiteral("_unit%1_name").arg(n));
        sides[k].Arm = TextOf(row, QStringLiteral("_arm%1_name").arg(n));
        sides[k].Note = TextOf(row, QStringLiteral("_lodvar%1_note").arg(n));
    }
    if (!at || !station1 || !station2 || !bearing1 || !bearing2) {
        return false;
    }
    sides[0].Bearing = QString::number(*bearing1);
    sides[1].Bearing = QString::number(*bearing2);

    QString info;
    QString title;
    for (const TSide& s : sides) {
        if (!info.isEmpty()) {
            info += QStringLiteral("<br>");
            title += QStringLiteral("\r\n");
        }
        info += QStringLiteral("<b><font color=\"Green\">") + s.Unit.toHtmlEscaped() +
                QStringLiteral("</font></b> <b><font color=\"red\">") + s.Arm.toHtmlEscaped() +
                QStringLiteral("</font></b> Пеленг:<b>") + s.Bearing + QStringLiteral("</b>|") +
                s.Note.toHtmlEscaped();
        title += s.Unit + QStringLiteral(" | ") + s.Arm + QStringLiteral(" | Пеленг:") + s.Bearing +
                 QStringLiteral(" | ") + s.Note;
    }
    DrawIntersection(title, info, *at, *station1, *bearing1, *station2, *bearing2);
    if (FStationColors) { // the intersection's stations have no markers here, but a legend row
        ListStation(*station1, sides[0].Unit);
        ListStation(*station2, sides[1].Unit);
    }
    return true;
}

void TMapOverlays::FitOperatingArea() {
    FMap.ZoomToBounds(OperatingAreaNorthEast, OperatingAreaSouthWest);
}

QString TMapOverlays::SkippedRowsText(int count) {
    if (count <= 0) {
        return {};
    }
    return count == 1
               ? QStringLiteral("1 selected row could not be drawn: no position or bearing.")
               : QStringLiteral("%1 selected rows could not be drawn: no position or bearing.")
                     .arg(count);
}

void TMapOverlays::Redraw(const TGridSelection& grid,
                          bool (TMapOverlays::*plotRow)(const TGridRow&), bool withUnits) {
    int skipped = 0;
    {
        const TMapUpdate update(FMap);
        ClearMapOverlays();
        FShown = &grid == &FLodvars ? TShown::Lodvars : TShown::Intersections;
        if (withUnits && FShowUnitsChecked()) {
            ShowUnitMarkers();
        }
        FFixInputs.clear();
        grid.ForEachSelectedRow([&](const TGridRow& row) {
            if (!(this->*plotRow)(row)) {
                ++skipped;
            }
        });
        if (FFixEnabled && FShown == TShown::Lodvars) {
            FFixModel.SetBearings(FFixInputs);
            DrawFix();
        }
        if (!FMap.Markers.IsEmpty()) {
            FMap.SetCenterCoordinate(FMap.Markers.Last().Coordinate());
        }
    }
    emit StatusTextChanged(SkippedRowsText(skipped));
}

// The unit markers are not put back with the bearings, even with their toggle on.
void TMapOverlays::tvLodvarsSelectionChanged() {
    Redraw(FLodvars, &TMapOverlays::PlotLodvarRow, false);
}

void TMapOverlays::tvIntersectionsSelectionChanged() {
    Redraw(FIntersections, &TMapOverlays::PlotIntersectionRow, true);
}

void TMapOverlays::cbShowUnitsPropertiesEditValueChanged() {
    if (FShowUnitsChecked()) {
        ShowUnitMarkers();
    } else {
        HideUnitMarkers();
    }
}

void TMapOverlays::cbShowIntersectionInfoPropertiesEditValueChanged() {
    const bool show = FShowInfoChecked();
    const TMapUpdate update(FMap);
    for (const auto& marker : FMap.Markers) {
        if (TMapOverlayView* info = marker->OverlayView()) {
            info->SetVisible(show);
        }
    }
}

void TMapOverlays::edLodvarDistPropertiesEditValueChanged(double metres) {
    FLodvarDistance = metres;
}

void TMapOverlays::actCenterMapExecute() {
    FitOperatingArea();
}

void TMapOverlays::DrawFix() {
    const TFixEstimate& fix = FFixModel.Estimate();
    if (!fix.IsFix()) {
        return; // the panel says why; the map shows no guess
    }
    QVector<TCoordinate> outline;
    for (const TCoordinate& c : EllipsePolygon(fix, FixEllipseVertices)) {
        outline.append(c);
    }
    TMapPolygon& ellipse = FMap.AddPolygon(outline);
    ellipse.SetDataInteger(FixMarkerTag);
    ellipse.SetStrokeColor(FixEllipseColor);
    ellipse.SetFillColor(FixEllipseColor);
    ellipse.SetFillOpacityPercent(15);
    const QString summary = FFixModel.SummaryText();
    AddMapMarker(fix.Position.Latitude, fix.Position.Longitude, summary, FixIconURL(), FixMarkerTag,
                 summary.toHtmlEscaped());
}

void TMapOverlays::RedrawLast() {
    if (FShown == TShown::Lodvars) {
        tvLodvarsSelectionChanged();
    } else if (FShown == TShown::Intersections) {
        tvIntersectionsSelectionChanged();
    }
}

void TMapOverlays::SetFixEnabled(bool on) {
    if (FFixEnabled == on) {
        return;
    }
    FFixEnabled = on;
    if (!on) {
        FFixModel.SetBearings({});
    }
    if (FShown == TShown::Lodvars) {
        RedrawLast();
    }
}

void TMapOverlays::SetBearingSigma(double degrees) {
    if (FFixModel.SigmaDegrees() == degrees || !FFixModel.SetSigmaDegrees(degrees)) {
        return;
    }
    if (FFixEnabled && FShown == TShown::Lodvars) {
        RedrawLast();
    }
}

void TMapOverlays::SetStationColorsEnabled(bool on) {
    if (FStationColors == on) {
        return;
    }
    FStationColors = on;
    RedrawLast();
}

void TMapOverlays::FormShow(double lodvarDistanceMetres) {
    if (FShowUnitsChecked()) {
        ShowUnitMarkers();
    }
    FitOperatingArea();
    FLodvarDistance = lodvarDistanceMetres;
}
