// The main window: a ribbon with the date range, the refresh, the grouping toggles, the
// command query mode and the map controls; on the left, in one page, the commands of the
// date range, the bearings and the intersections of the focused command, each in a grid
// under its label with splitters between them; the map panel on the right; a status bar.
//
// Every component is a child object named as the window's design names it (tests and the
// properties store find them by name). The properties store "cxPropertiesStore1" reads
// the state file of the current directory while the window is constructed and writes it
// when the window is destroyed: the five check boxes, the two dates and five panel
// heights. The query mode and the bearing distance are not kept: every start begins
// without a mode and with 2000000 m.
//
// Showing the window runs FormShow: the refresh, the station markers (with "Показати МРПК"
// on), the operating area on the map, then the bearing distance is taken. The map panel
// holds the map `tmsMap` in its page view; what goes on it is TMapOverlays' work.
// Each operation reports its failure in a message box with its own label before the
// error's message, and the window goes on working.
//
// Additions, off at every start: the bearings' ribbon group turns on the fix estimate (its
// panel under the map lists the estimate and each bearing's residual, with a check box to
// leave a bearing out) with the bearing standard deviation it assumes, and the station
// colours on the map.
#pragma once

#include <QMainWindow>

class QAction;
class QCheckBox;
class QDoubleSpinBox;
class QTableView;
class QLabel;
class QSplitter;
class QTabWidget;
class TDMQueries;
class TMapOverlays;
class TWebMap;
class TWebMapView;
class TDbQuery;
class TGrid;
class TLiveRefresh;
class TGridSelection;
class TGridView;
class TNullableDateEdit;
class TNumberEdit;
class TPropertiesStore;
class TRadioGroup;
class TRibbon;
class TRibbonGroup;
struct TGridCellDraw;

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int InitialLodvarDistance = 2000000; // metres

    explicit TfrmMain(TDMQueries& queries, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // What the map reads of the window: the selected rows of the two lower grids (their
    // views signal SelectionChanged) and the length of bearing lines.
    const TGridSelection& LodvarsSelection() const;
    const TGridSelection& IntersectionsSelection() const;
    double LodvarDistance() const noexcept; // metres
    void SetLodvarDistance(double metres);
    // The query mode last chosen (1, 2 or 3); 0 until the first choice.
    int CommandsQueryMode() const noexcept { return FCommandsQueryMode; }

    void FormShow();
    void actRefreshCommandsExecute();
    void QueryCommands(int mode);
    void LoadCommandLodvars(int commandId);
    void LoadCommandIntersections(int commandId);
    void rbgComandsQueryModePropertiesEditValueChanged();
    void tvCommandsFocusedRecordChanged();
    void tvCommandsCustomDrawCell(TGridCellDraw& cell) const;
    void cbGroupCommandsPropertiesEditValueChanged();
    void cbGroupLodvarsPropertiesEditValueChanged();
    void cbGroupIntersectionsPropertiesEditValueChanged();

    // Components, by their design names.
    TRibbon* dxRibbon1;
    QWidget* pnlPageControl;
    QTabWidget* pageCntrl;
    QWidget* pageInterception;
    QWidget* dxPanel1;          // the map panel
    TWebMap* tmsMap;            // what the map shows
    TWebMapView* tmsMapView;    // the map's page, in dxPanel1
    TMapOverlays* FMapOverlays; // the window's map operations and handlers
    QSplitter* splitMain;       // handle cxSplitter2: between the page and the map panel
    QWidget* pnlCommandsAndLodvars;
    QWidget* pnlCommands;
    QWidget* pnlLodvars;
    QWidget* pnlIntersections;
    QSplitter* splitPage;               // handle cxSplitter1: under pnlCommandsAndLodvars
    QSplitter* splitCommandsAndLodvars; // handle cxSplitter4: under pnlCommands
    QLabel* cxLabel1;
    QLabel* cxLabel2;
    QLabel* cxLabel3;
    TGrid* gridCommands;
    TGrid* gridLodvars;
    TGrid* gridInterceptions;
    TGridView* tvCommands;
    TGridView* tvLodvars;
    TGridView* tvIntersections;
    TNullableDateEdit* edDateBegin;
    TNullableDateEdit* edDateEnd;
    QCheckBox* cbGroupCommands;
    QCheckBox* cbGroupLodvars;
    QCheckBox* cbGroupIntersections;
    TRadioGroup* rbgComandsQueryMode;
    TNumberEdit* edLodvarDist;
    QCheckBox* cbShowUnits;
    QCheckBox* cbShowIntersectionInfo;
    QObject* alMain;
    QAction* actRefreshCommands;
    QAction* actCenterMap;
    TPropertiesStore* cxPropertiesStore1;

    // The fix estimate and the station colours.
    QCheckBox* cbFixEstimate;
    QDoubleSpinBox* edBearingSigma; // degrees
    QCheckBox* cbStationColors;
    QWidget* pnlFix;   // under the map, shown while the fix estimate is on
    QLabel* lblFix;    // the estimate, or why there is none
    QTableView* tvFix; // the bearings with their residuals
    // Live mode: the ribbon toggle "Автооновлення" (off by default, kept in the state
    // file) and what it drives; the poll interval comes from the main settings file.
    QCheckBox* cbLiveUpdate;
    TLiveRefresh* FLiveRefresh;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateRibbon();
    void CreatePage();
    void CreateStore();
    void CreateMap();
    void AddFixRibbonItems(TRibbonGroup& group);
    void CreateFixPanel();
    void ConnectFix();
    void CreateLiveRefresh();
    void SetDateParams();
    // Re-runs a query of the focused command's details; failure: the label, then the error.
    void LoadCommandDetail(TDbQuery& query, int commandId, const QString& failure);
    int PanelHeight(const QWidget& panel, int designed) const;

    TDMQueries& dm;
    int FCommandsQueryMode = 0;
    bool FShown = false;
    int FCommandsHeight;           // pixels, until the window is first shown
    int FCommandsAndLodvarsHeight; // pixels, until the window is first shown
};
