// What the main window puts on its map and when: the station ("unit") markers, the bearing
// lines of the selected bearings, the selected intersections with their two bearing lines,
// the info boxes, and the four ribbon controls that act on the map. The window owns one
// instance over its map, the units query and its two lower grids, and calls these methods
// from its handlers; nothing here needs a display.
//
// Database text goes into the info boxes escaped for HTML (the markup of the boxes is ours)
// and into the titles as plain text. A selected row without a position or a bearing is left
// out rather than drawn at (0, 0); each redraw reports how many it left out
// (StatusTextChanged). A station without a position gets no marker.
//
// Two additions, both off until the window turns them on, leave the above untouched while
// off: the fix estimate (each bearings redraw also draws the estimated position and its 95 %
// error ellipse, from the bearings the fix model holds) and the station colours (bearing
// lines, station rings, intersection lines in the colours of their stations (two stations in
// one view never share a colour while the palette lasts), a legend, and
// the station names as labels beside the info boxes; the names are those of the units list
// as last read for the station markers, else the row's own).
#pragma once

#include "ui/DestinationPoint.h"
#include "ui/map/FixModel.h"
#include "ui/map/WebMap.h"

#include <QHash>

#include <QObject>
#include <QString>
#include <functional>

class TDbQuery;
class TGridRow;
class TGridSelection;

// Icon URLs of the markers, on the configured icon host; the map page serves them from
// its bundle, so they show without a network.
QString AntennaIconURL();
QString PlaneIconURL();

class TMapOverlays : public QObject {
    Q_OBJECT

public:
    // Tags (DataInteger) of the items this window puts on the map; other markers keep 0.
    static constexpr int UnitMarkerTag = 555;
    static constexpr int LodvarLineTag = 6;
    static constexpr TColor LodvarLineColor = clBlue; // RGB #0000FF
    static constexpr int LodvarLineWidth = 3;         // pixels
    static constexpr int FixMarkerTag = 557;
    static constexpr TColor FixEllipseColor = 0x00FFFFFF; // white: none of the stations' colours
    static constexpr int FixEllipseVertices = 72;
    // The rectangle that the centre-map action fits the view to, degrees.
    static constexpr TCoordinate OperatingAreaNorthEast{55.15242200298276, 47.00449557216678};
    static constexpr TCoordinate OperatingAreaSouthWest{45.3473299028322, 23.950354756230258};

    // showUnitsChecked and showInfoChecked read the check boxes "Показати МРПК" and
    // "Інфо маркерів" at the moment they matter. The grids give their selected rows top to
    // bottom; qUnits is opened on first use and then kept open.
    TMapOverlays(TWebMap& map, TDbQuery& qUnits, const TGridSelection& lodvars,
                 const TGridSelection& intersections, std::function<bool()> showUnitsChecked,
                 std::function<bool()> showInfoChecked, QObject* parent = nullptr);

    // Length of every bearing line drawn from now on, metres.
    double LodvarDistance() const noexcept { return FLodvarDistance; }

    // Adds a complete set of station markers (tag 555). Errors are shown in a message box;
    // the markers added before the error stay.
    void ShowUnitMarkers();
    // Hides every station marker and its info box; nothing is removed.
    void HideUnitMarkers();
    // An empty icon URL means the plane icon; the info box only with the info toggle on.
    void AddMapMarker(double latitude, double longitude, const QString& title,
                      const QString& iconURL, int tag, const QString& infoHtml);
    void ClearMapOverlays();
    // A station marker and its bearing line; ABearing in whole degrees clockwise from north.
    void DrawLodvar(const QString& title, int bearing, double latitude, double longitude,
                    const QString& infoHtml);
    // An intersection marker and the bearing lines of its two stations (no station markers).
    void DrawIntersection(const QString& title, const QString& infoHtml,
                          const TCoordinate& intersection, const TCoordinate& station1,
                          int bearing1, const TCoordinate& station2, int bearing2);
    // Draw one grid row; false when the row lacks a position or a bearing and was left out.
    // A value that is no number raises EConvertError.
    bool PlotLodvarRow(const TGridRow& row);
    bool PlotIntersectionRow(const TGridRow& row);
    void FitOperatingArea();

    // Handlers of the window's controls.
    void tvLodvarsSelectionChanged();
    void tvIntersectionsSelectionChanged();
    void cbShowUnitsPropertiesEditValueChanged();
    void cbShowIntersectionInfoPropertiesEditValueChanged();
    void edLodvarDistPropertiesEditValueChanged(double metres);
    void actCenterMapExecute();
    // The map steps of the window's show, after its first refresh of the commands:
    // the station markers (toggle on), the operating area, then the bearing distance.
    void FormShow(double lodvarDistanceMetres);

    // The status-bar text after a redraw that left n selected rows out; empty for 0.
    static QString SkippedRowsText(int count);

    // The fix estimate: the model the panel shows; with it on, every bearings redraw feeds
    // it the drawn bearings and draws its estimate. Turning it on or off, changing the
    // standard deviation or leaving a bearing out redraws the bearings if they are shown.
    TFixModel& FixModel() noexcept { return FFixModel; }
    bool FixEnabled() const noexcept { return FFixEnabled; }
    void SetFixEnabled(bool on);
    void SetBearingSigma(double degrees);
    // Station colours, legend and labels.
    bool StationColorsEnabled() const noexcept { return FStationColors; }
    void SetStationColorsEnabled(bool on);
    // Icon of the estimated position (a cross-hair drawn in the page).
    static QString FixIconURL();

signals:
    // After each redraw: SkippedRowsText of the rows it could not draw (empty: all drawn).
    void StatusTextChanged(const QString& text);

private:
    // Clears the map, optionally puts the units back, draws the selected rows of the grid
    // and centres on the last marker.
    void Redraw(const TGridSelection& grid, bool (TMapOverlays::*plotRow)(const TGridRow&),
                bool withUnits);
    void AddLodvarLine(const TCoordinate& station, int bearing);
    // The last redraw again, for a change of an addition's settings.
    void RedrawLast();
    void DrawFix();
    // The station's row of the legend, added once; its name from the units list if known.
    TMapLegendEntry ListStation(const TCoordinate& station, const QString& fallbackName);
    // Colours on: the station's ring, label and legend row. Off: nothing.
    void MarkStation(TMapMarker& marker, const TCoordinate& station, const QString& fallbackName);
    TColor LineColor(const TCoordinate& station);
    TColor ColorInView(const QString& stationKey);
    QString StationName(const QString& key, const QString& fallbackName) const;

    TWebMap& FMap;
    TDbQuery& FUnits;
    const TGridSelection& FLodvars;
    const TGridSelection& FIntersections;
    std::function<bool()> FShowUnitsChecked;
    std::function<bool()> FShowInfoChecked;
    double FLodvarDistance = 0;

    enum class TShown { Nothing, Lodvars, Intersections };
    TShown FShown = TShown::Nothing;
    TFixModel FFixModel;
    bool FFixEnabled = false;
    std::vector<TFixInput> FFixInputs; // the bearings of the redraw in progress
    bool FStationColors = false;
    QHash<QString, QString> FStationNames; // key -> name, from the units list
    QVector<TMapLegendEntry> FLegend;      // of the redraw in progress
    QHash<QString, TColor> FColorsInView;  // station key -> its colour in this redraw
};
