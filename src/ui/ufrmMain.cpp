#include "ui/ufrmMain.h"

#include "app/Application.h"
#include "config/SettingsFiles.h"
#include "data/uDMQueries.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "ui/LiveRefresh.h"
#include "ui/grid/Grid.h"
#include "ui/map/MapOverlays.h"
#include "ui/map/WebMap.h"
#include "ui/map/WebMapView.h"
#include "ui/ribbon/Ribbon.h"
#include "ui/ribbon/RibbonEdits.h"
#include "ui/ribbon/RibbonIcons.h"
#include "ui/uPropertiesStore.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int SplitterWidth = 8;              // pixels
constexpr int DesignPageWidth = 635;          // pixels
constexpr int DesignCommandsAndLodvars = 368; // pixels
constexpr int DesignCommands = 160;           // pixels
constexpr int MaxPanelHeight = 20000;         // pixels; anything taller is no real layout
const QColor Green(0, 128, 0);

// A map handler may raise (a cell that is no number); its error box shows here, so no
// exception unwinds through the grids' and Qt's signal code.
template <class THandler>
auto Guarded(THandler handler) {
    return [handler](auto&&...) {
        try {
            handler();
        } catch (const Exception& e) {
            ShowStandardError(e.Message());
        }
    };
}

TGridColumn Col(const char* field, const char* caption, bool shown, int minWidth = 20,
                int width = 0, bool centred = true) {
    return {
        QString::fromLatin1(field), QString::fromUtf8(caption), shown, minWidth, width, centred};
}

std::vector<TGridColumn> CommandColumns() {
    return {
        Col("_id", "ID", true, 30, 30),          Col("_lodvar_cnt", "Пеленгів:", true, 60),
        Col("_id_arm", "АРМ ID", false, 60, 60), Col("_date", "Дата", true, 80),
        Col("_time", "Час", true, 60),           Col("_day_num", "№", true),
        Col("_arm_name", "АРМ", true, 100),      Col("_frequency", "Частота", true, 60),
        Col("_note", "Примітки", true, 150),     Col("_address", "", false),
        Col("_command_uuid", "", false, 100),    Col("_create_date", "Час створення", false, 80),
    };
}

std::vector<TGridColumn> LodvarColumns() {
    return {
        Col("id", "", false),
        Col("id_comset", "", false),
        Col("date", "Дата", true, 80),
        Col("time", "Час", true, 80),
        Col("arm_name", "АРМ", true, 100),
        Col("lodvar", "Пеленг", true),
        Col("note", "Приміткі", true),
        Col("lodvar_uuid", "", false, 20, 0, false),
        Col("interseption_uuid", "", false, 20, 0, false),
        Col("create_date", "", false, 20, 0, false),
        Col("intersections_cnt1", "Кількість З-к по П1", true),
        Col("intersections_cnt2", "Кількість З-к по П2", true),
        Col("unit_x_coord", "", false, 20, 0, false),
        Col("unit_y_coord", "", false, 20, 0, false),
    };
}

std::vector<TGridColumn> IntersectionColumns() {
    std::vector<TGridColumn> columns = {
        Col("i_x", "Широта", true),
        Col("i_y", "Довгота", true),
        Col("_arm1_name", "АРМ1", true),
        Col("_arm2_name", "АРМ2", true),
        Col("_lodvar1_note", "Прим.1", true),
        Col("_lodvar2_note", "Прим.2", true),
        Col("_create_date", "Дата створення", true, 90, 90),
        Col("_lodvar1", "Пеленег1", false, 20, 0, false),
        Col("_lodvar2", "Пеленег2", false, 20, 0, false),
    };
    for (const char* field :
         {"_intersection_uuid", "_unit1_uuid", "_unit2_uuid", "_lodvar1_uuid", "_lodvar1_id",
          "_lodvar2_uuid", "_lodvar2_id", "_command_uuid", "_command_id", "_arm1_uuid", "_arm1_id",
          "_arm2_uuid", "_arm2_id", "_coords", "_u1_x", "_u1_y", "_u2_x", "_u2_y"})
        columns.push_back(Col(field, "", false, 20, 0, false));
    columns.push_back(Col("_unit1_name", "Комплекс1", false, 20, 0, false));
    columns.push_back(Col("_unit2_name", "Комплекс2", false, 20, 0, false));
    return columns;
}

QFont DesignFont() {
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    return font;
}

// A panel: the label in its colour above the grid.
QWidget* LabelledPanel(const char* name, QLabel* label, const QColor& colour, TGrid* grid) {
    auto* panel = new QWidget;
    panel->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    label->setFont(DesignFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    layout->addWidget(label);
    layout->addWidget(grid, 1);
    return panel;
}

QSplitter* Splitter(Qt::Orientation orientation, const char* name, const char* handleName,
                    QWidget* first, QWidget* second) {
    auto* splitter = new QSplitter(orientation);
    splitter->setObjectName(QString::fromLatin1(name));
    splitter->setHandleWidth(SplitterWidth);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(first);
    splitter->addWidget(second);
    // The first panel keeps its size; the second takes what the window gains or loses.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->handle(1)->setObjectName(QString::fromLatin1(handleName));
    return splitter;
}

// The dates of the edit for a query parameter; an empty edit has none to give.
QDateTime DateTimeOf(const TNullableDateEdit& edit, const QString& caption) {
    const QVariant value = edit.EditValue();
    if (!value.isValid())
        throw EConvertError(QStringLiteral("\"%1\" is empty: enter a date").arg(caption));
    return value.toDateTime();
}

} // namespace

TfrmMain::TfrmMain(TDMQueries& queries, QWidget* parent)
    : QMainWindow(parent), dm(queries), FCommandsHeight(DesignCommands),
      FCommandsAndLodvarsHeight(DesignCommandsAndLodvars) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Lodvar"));
    setFont(DesignFont());
    resize(1229, 786 + TRibbon::DesignHeight);
    CreateRibbon();
    CreatePage();
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    CreateMap();
    CreateFixPanel();
    CreateStore();
    CreateLiveRefresh();
    // The stored state comes back before anything runs; no handler sees it arrive, so a
    // grouping toggle that comes back unchecked leaves its group-by box shown.
    cxPropertiesStore1->RestoreFrom(cxPropertiesStore1->FileName());
    splitPage->setSizes({FCommandsAndLodvarsHeight, MaxPanelHeight});
    splitCommandsAndLodvars->setSizes({FCommandsHeight, MaxPanelHeight});

    connect(actRefreshCommands, &QAction::triggered, this, &TfrmMain::actRefreshCommandsExecute);
    connect(rbgComandsQueryMode, &TRadioGroup::EditValueChanged, this,
            &TfrmMain::rbgComandsQueryModePropertiesEditValueChanged);
    connect(tvCommands, &TGridView::FocusedRecordChanged, this,
            &TfrmMain::tvCommandsFocusedRecordChanged);
    tvCommands->SetCustomDrawCell([this](TGridCellDraw& cell) {
        tvCommandsCustomDrawCell(cell);
        FLiveRefresh->DecorateCell(*tvCommands, cell);
    });
    connect(cbGroupCommands, &QCheckBox::toggled, this,
            &TfrmMain::cbGroupCommandsPropertiesEditValueChanged);
    connect(cbGroupLodvars, &QCheckBox::toggled, this,
            &TfrmMain::cbGroupLodvarsPropertiesEditValueChanged);
    connect(cbGroupIntersections, &QCheckBox::toggled, this,
            &TfrmMain::cbGroupIntersectionsPropertiesEditValueChanged);

    TMapOverlays* map = FMapOverlays;
    connect(tvLodvars, &TGridView::SelectionChanged, map,
            Guarded([map] { map->tvLodvarsSelectionChanged(); }));
    connect(tvIntersections, &TGridView::SelectionChanged, map,
            Guarded([map] { map->tvIntersectionsSelectionChanged(); }));
    connect(cbShowUnits, &QCheckBox::toggled, map,
            Guarded([map] { map->cbShowUnitsPropertiesEditValueChanged(); }));
    connect(cbShowIntersectionInfo, &QCheckBox::toggled, map,
            Guarded([map] { map->cbShowIntersectionInfoPropertiesEditValueChanged(); }));
    connect(edLodvarDist, &TNumberEdit::valueChanged, this,
            [this](int metres) { SetLodvarDistance(metres); });
    connect(actCenterMap, &QAction::triggered, map, Guarded([map] { map->actCenterMapExecute(); }));
    connect(FMapOverlays, &TMapOverlays::StatusTextChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    });
    ConnectFix();
}

void TfrmMain::CreateMap() {
    tmsMap = new TWebMap(this);
    tmsMap->setObjectName(QStringLiteral("tmsMap"));
    tmsMapView = new TWebMapView(*tmsMap, TWebMapView::SiteTileUrlTemplate(), dxPanel1);
    tmsMapView->setObjectName(QStringLiteral("tmsMapView"));
    dxPanel1->layout()->addWidget(tmsMapView);
    FMapOverlays = new TMapOverlays(
        *tmsMap, *dm.qUnits, LodvarsSelection(), IntersectionsSelection(),
        [this] { return cbShowUnits->isChecked(); },
        [this] { return cbShowIntersectionInfo->isChecked(); }, this);
}

// Live mode: its toggle, its state-file entry and its refresh, apart from the designed
// parts of the window (with the toggle off nothing of it runs).
void TfrmMain::CreateLiveRefresh() {
    cbLiveUpdate = new QCheckBox(QStringLiteral("Автооновлення"));
    cbLiveUpdate->setObjectName(QStringLiteral("cbLiveUpdate"));
    cbLiveUpdate->setToolTip(cbLiveUpdate->text());
    // Beside "Оновити", in the settings group of the one tab.
    for (TRibbonGroup* group : dxRibbon1->widget(0)->findChildren<TRibbonGroup*>())
        if (group->Caption() == QStringLiteral("Налаштування"))
            group->AddItem(cbLiveUpdate);

    FLiveRefresh = new TLiveRefresh(dm, *tvCommands, *tvLodvars, *tvIntersections, this);
    FLiveRefresh->setObjectName(QStringLiteral("FLiveRefresh"));
    // The current directory is the per-user folder, which holds the main settings file.
    const TIniFile ini(MainSettingsFileName(QDir::currentPath() + QLatin1Char('/')));
    FLiveRefresh->SetIntervalSeconds(ReadKey(ini, MainSettings::LiveInterval));
    for (TGridView* view : {tvLodvars, tvIntersections})
        view->SetCustomDrawCell(
            [this, view](TGridCellDraw& cell) { FLiveRefresh->DecorateCell(*view, cell); });
    connect(cbLiveUpdate, &QCheckBox::toggled, FLiveRefresh, &TLiveRefresh::SetEnabled);
    connect(FLiveRefresh, &TLiveRefresh::StatusTextChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    });

    // Kept only while on: a state file of a window without live mode reads as before.
    cxPropertiesStore1->Add(
        cbLiveUpdate, QStringLiteral("EditValue"),
        [this] { return cbLiveUpdate->isChecked() ? QStringLiteral("\"True\"") : QString(); },
        [this](const QString& text) {
            const bool on = text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
            if (!on && text.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0)
                return false;
            const QSignalBlocker quiet(cbLiveUpdate);
            cbLiveUpdate->setChecked(on);
            return true;
        });
}

double TfrmMain::LodvarDistance() const noexcept {
    return FMapOverlays->LodvarDistance();
}

void TfrmMain::SetLodvarDistance(double metres) {
    FMapOverlays->edLodvarDistPropertiesEditValueChanged(metres);
}

TfrmMain::~TfrmMain() {
    try {
        cxPropertiesStore1->StoreTo(cxPropertiesStore1->FileName());
    } catch (const Exception& e) {
        ShowMessage(e.Message());
    }
}

void TfrmMain::CreateRibbon() {
    alMain = new QObject(this);
    alMain->setObjectName(QStringLiteral("alMain"));
    actRefreshCommands = new QAction(ExchangeArrowsIcon(), QStringLiteral("Оновити"), alMain);
    actRefreshCommands->setObjectName(QStringLiteral("actRefreshCommands"));
    actCenterMap = new QAction(MapIcon(), QStringLiteral("Центрувати мапу"), alMain);
    actCenterMap->setObjectName(QStringLiteral("actCenterMap"));

    dxRibbon1 = new TRibbon(this);
    dxRibbon1->setObjectName(QStringLiteral("dxRibbon1"));
    QWidget* tab = dxRibbon1->AddTab(QStringLiteral("Команди-Пеленги-Засічки"));
    const auto checkBox = [](const char* name, const char* caption) {
        auto* box = new QCheckBox(QString::fromUtf8(caption));
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(box->text());
        box->setChecked(true);
        return box;
    };

    TRibbonGroup* settings = dxRibbon1->AddGroup(tab, QStringLiteral("Налаштування"));
    edDateBegin = new TNullableDateEdit;
    edDateBegin->setObjectName(QStringLiteral("edDateBegin"));
    edDateEnd = new TNullableDateEdit;
    edDateEnd->setObjectName(QStringLiteral("edDateEnd"));
    settings->AddCaptionedItem(QStringLiteral("Початкова дата"), edDateBegin);
    settings->AddCaptionedItem(QStringLiteral("Кінцева дата"), edDateEnd);
    settings->AddLargeButton(actRefreshCommands);
    settings->AddSeparator();
    cbGroupCommands = checkBox("cbGroupCommands", "Групування команд");
    cbGroupLodvars = checkBox("cbGroupLodvars", "Групування пеленгів");
    cbGroupIntersections = checkBox("cbGroupIntersections", "Групування засічок");
    for (QCheckBox* box : {cbGroupCommands, cbGroupLodvars, cbGroupIntersections})
        settings->AddItem(box);

    TRibbonGroup* commands = dxRibbon1->AddGroup(tab, QStringLiteral("Команди"));
    rbgComandsQueryMode = new TRadioGroup;
    rbgComandsQueryMode->setObjectName(QStringLiteral("rbgComandsQueryMode"));
    rbgComandsQueryMode->AddItem(QStringLiteral("Всі команди"), 1);
    rbgComandsQueryMode->AddItem(QStringLiteral("Команди із пеленгами"), 2);
    rbgComandsQueryMode->AddItem(QStringLiteral("Команди без пеленгів"), 3);
    commands->AddItem(rbgComandsQueryMode);

    TRibbonGroup* lodvars = dxRibbon1->AddGroup(tab, QStringLiteral("Пеленги"));
    edLodvarDist = new TNumberEdit;
    edLodvarDist->setObjectName(QStringLiteral("edLodvarDist"));
    edLodvarDist->setValue(InitialLodvarDistance);
    lodvars->AddCaptionedItem(QStringLiteral("Відстань пеленга"), edLodvarDist);

    TRibbonGroup* intersections = dxRibbon1->AddGroup(tab, QStringLiteral("Засічки"));
    cbShowUnits = checkBox("cbShowUnits", "Показати МРПК");
    cbShowIntersectionInfo = checkBox("cbShowIntersectionInfo", "Інфо маркерів");
    intersections->AddItem(cbShowUnits);
    intersections->AddItem(cbShowIntersectionInfo);
    intersections->AddSeparator();
    intersections->AddLargeButton(actCenterMap);

    AddFixRibbonItems(*lodvars);
    setMenuWidget(dxRibbon1);
}

// They act on the bearings, so they stand in the bearings' group, behind a separator.
void TfrmMain::AddFixRibbonItems(TRibbonGroup& fix) {
    fix.AddSeparator();
    cbFixEstimate = new QCheckBox(QStringLiteral("Оцінка місця"));
    cbFixEstimate->setObjectName(QStringLiteral("cbFixEstimate"));
    cbFixEstimate->setToolTip(
        QStringLiteral("Найімовірніше місце джерела за всіма вибраними пеленгами, з еліпсом 95 %"));
    edBearingSigma = new QDoubleSpinBox;
    edBearingSigma->setObjectName(QStringLiteral("edBearingSigma"));
    edBearingSigma->setRange(0.1, 30);
    edBearingSigma->setDecimals(1);
    edBearingSigma->setSingleStep(0.5);
    edBearingSigma->setSuffix(QStringLiteral("°"));
    edBearingSigma->setValue(TFixModel::DefaultSigmaDegrees);
    cbStationColors = new QCheckBox(QStringLiteral("Кольори станцій"));
    cbStationColors->setObjectName(QStringLiteral("cbStationColors"));
    cbStationColors->setToolTip(cbStationColors->text());
    fix.AddItem(cbFixEstimate);
    fix.AddCaptionedItem(QStringLiteral("СКВ пеленга"), edBearingSigma);
    fix.AddItem(cbStationColors);
}

void TfrmMain::CreateFixPanel() {
    pnlFix = new QWidget;
    pnlFix->setObjectName(QStringLiteral("pnlFix"));
    auto* layout = new QVBoxLayout(pnlFix);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    lblFix = new QLabel;
    lblFix->setObjectName(QStringLiteral("lblFix"));
    lblFix->setWordWrap(true);
    lblFix->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tvFix = new QTableView;
    tvFix->setObjectName(QStringLiteral("tvFix"));
    tvFix->setModel(&FMapOverlays->FixModel());
    tvFix->verticalHeader()->hide();
    tvFix->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvFix->horizontalHeader()->setStretchLastSection(true);
    tvFix->setSelectionMode(QAbstractItemView::NoSelection);
    tvFix->verticalHeader()->setDefaultSectionSize(tvFix->fontMetrics().height() + 6);
    layout->addWidget(lblFix);
    layout->addWidget(tvFix);
    // A strip under the map: the map keeps every pixel the panel does not need.
    pnlFix->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    pnlFix->setMaximumHeight(180);
    pnlFix->setVisible(false);
    auto* mapLayout = static_cast<QVBoxLayout*>(dxPanel1->layout());
    mapLayout->addWidget(pnlFix);
    mapLayout->setStretchFactor(tmsMapView, 1);
}

void TfrmMain::ConnectFix() {
    TMapOverlays* map = FMapOverlays;
    connect(cbFixEstimate, &QCheckBox::toggled, map, Guarded([this, map] {
                pnlFix->setVisible(cbFixEstimate->isChecked());
                map->SetFixEnabled(cbFixEstimate->isChecked());
            }));
    connect(edBearingSigma, &QDoubleSpinBox::valueChanged, map,
            Guarded([this, map] { map->SetBearingSigma(edBearingSigma->value()); }));
    connect(cbStationColors, &QCheckBox::toggled, map,
            Guarded([this, map] { map->SetStationColorsEnabled(cbStationColors->isChecked()); }));
    const auto showSummary = [this] { lblFix->setText(FMapOverlays->FixModel().SummaryText()); };
    connect(&map->FixModel(), &QAbstractItemModel::modelReset, lblFix, showSummary);
    connect(&map->FixModel(), &QAbstractItemModel::dataChanged, lblFix, showSummary);
}

void TfrmMain::CreatePage() {
    gridCommands =
        new TGrid(QStringLiteral("gridCommands"), QStringLiteral("tvCommands"), CommandColumns());
    gridLodvars =
        new TGrid(QStringLiteral("gridLodvars"), QStringLiteral("tvLodvars"), LodvarColumns());
    gridInterceptions = new TGrid(QStringLiteral("gridInterceptions"),
                                  QStringLiteral("tvIntersections"), IntersectionColumns());
    tvCommands = &gridCommands->View();
    tvLodvars = &gridLodvars->View();
    tvIntersections = &gridInterceptions->View();

    tvCommands->SetDataSource(dm.srcCommands);
    gridCommands->SetFindPanelEnabled(true);
    tvCommands->SetEmptyText(QStringLiteral("<Немає даних>"));
    tvCommands->SetRowSizing(true);
    tvLodvars->SetDataSource(dm.srcLodvarsByCommand);
    tvLodvars->SetMultiSelect(true);
    tvLodvars->SetIncrementalSearch(true);
    gridLodvars->SetSelectionMarks(true);
    tvIntersections->SetDataSource(dm.srcIntersections);
    tvIntersections->SetMultiSelect(true);
    gridInterceptions->SetFindPanelEnabled(true);

    cxLabel1 = new QLabel(QStringLiteral("Команди:"));
    cxLabel1->setObjectName(QStringLiteral("cxLabel1"));
    cxLabel2 = new QLabel(QStringLiteral("Пеленги:"));
    cxLabel2->setObjectName(QStringLiteral("cxLabel2"));
    cxLabel3 = new QLabel(QStringLiteral("Засічки:"));
    cxLabel3->setObjectName(QStringLiteral("cxLabel3"));
    pnlCommands = LabelledPanel("pnlCommands", cxLabel1, QColor(255, 0, 0), gridCommands);
    pnlLodvars = LabelledPanel("pnlLodvars", cxLabel2, QColor(0, 0, 255), gridLodvars);
    pnlIntersections =
        LabelledPanel("pnlIntersections", cxLabel3, QColor(128, 128, 0), gridInterceptions);

    splitCommandsAndLodvars =
        Splitter(Qt::Vertical, "splitCommandsAndLodvars", "cxSplitter4", pnlCommands, pnlLodvars);
    pnlCommandsAndLodvars = new QWidget;
    pnlCommandsAndLodvars->setObjectName(QStringLiteral("pnlCommandsAndLodvars"));
    auto* both = new QVBoxLayout(pnlCommandsAndLodvars);
    both->setContentsMargins(0, 0, 0, 0);
    both->addWidget(splitCommandsAndLodvars);
    splitPage =
        Splitter(Qt::Vertical, "splitPage", "cxSplitter1", pnlCommandsAndLodvars, pnlIntersections);

    pageInterception = new QWidget;
    pageInterception->setObjectName(QStringLiteral("pageInterception"));
    auto* page = new QVBoxLayout(pageInterception);
    page->setContentsMargins(2, 2, 2, 2);
    page->addWidget(splitPage);
    pageCntrl = new QTabWidget;
    pageCntrl->setObjectName(QStringLiteral("pageCntrl"));
    pageCntrl->addTab(pageInterception, QStringLiteral("Команди-Пеленги-Засічки"));
    pnlPageControl = new QWidget;
    pnlPageControl->setObjectName(QStringLiteral("pnlPageControl"));
    auto* pageControl = new QVBoxLayout(pnlPageControl);
    pageControl->setContentsMargins(0, 0, 0, 0);
    pageControl->addWidget(pageCntrl);

    dxPanel1 = new QWidget;
    dxPanel1->setObjectName(QStringLiteral("dxPanel1"));
    auto* map = new QVBoxLayout(dxPanel1);
    map->setContentsMargins(0, 0, 0, 0);
    splitMain = Splitter(Qt::Horizontal, "splitMain", "cxSplitter2", pnlPageControl, dxPanel1);
    splitMain->setSizes({DesignPageWidth, MaxPanelHeight});
    setCentralWidget(splitMain);
}

int TfrmMain::PanelHeight(const QWidget& panel, int designed) const {
    return FShown ? panel.height() : designed;
}

void TfrmMain::CreateStore() {
    cxPropertiesStore1 = new TPropertiesStore(QStringLiteral("cxPropertiesStore1"), this);
    TPropertiesStore& store = *cxPropertiesStore1;
    const QString editValue = QStringLiteral("EditValue");
    const QString height = QStringLiteral("Height");
    for (QCheckBox* box : {cbGroupCommands, cbGroupIntersections, cbGroupLodvars,
                           cbShowIntersectionInfo, cbShowUnits})
        store.Add(
            box, editValue,
            [box] {
                return box->isChecked() ? QStringLiteral("\"True\"") : QStringLiteral("\"False\"");
            },
            [box](const QString& text) {
                const bool on = text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
                if (!on && text.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0)
                    return false;
                const QSignalBlocker quiet(box);
                box->setChecked(on);
                return true;
            });
    for (TNullableDateEdit* edit : {edDateBegin, edDateEnd})
        store.Add(
            edit, editValue,
            [edit] {
                const QVariant value = edit->EditValue();
                return value.isValid()
                           ? value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                           : QString();
            },
            [edit](const QString& text) {
                QDateTime value =
                    QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                if (!value.isValid())
                    value = QDateTime::fromString(text.trimmed(), Qt::ISODate);
                if (!value.isValid())
                    return false;
                const QSignalBlocker quiet(edit);
                edit->SetEditValue(value);
                return !edit->IsEmpty();
            });
    const auto heightOf = [](const QString& text, int& out) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (!ok || value < 0 || value > MaxPanelHeight)
            return false;
        out = value;
        return true;
    };
    // A panel that fills the rest of its parent follows the panels above it: its height
    // is kept in the file, but the layout decides it.
    const auto addRestPanel = [this, &store, &height, heightOf](QWidget* panel) {
        store.Add(
            panel, height,
            [this, panel] { return FShown ? QString::number(panel->height()) : QString(); },
            [heightOf](const QString& text) {
                int ignored = 0;
                return heightOf(text, ignored);
            });
    };
    addRestPanel(gridCommands);
    store.Add(
        pnlCommands, height,
        [this] { return QString::number(PanelHeight(*pnlCommands, FCommandsHeight)); },
        [this, heightOf](const QString& text) { return heightOf(text, FCommandsHeight); });
    store.Add(
        pnlCommandsAndLodvars, height,
        [this] {
            return QString::number(PanelHeight(*pnlCommandsAndLodvars, FCommandsAndLodvarsHeight));
        },
        [this, heightOf](const QString& text) {
            return heightOf(text, FCommandsAndLodvarsHeight);
        });
    addRestPanel(pnlIntersections);
    addRestPanel(pnlLodvars);
}

const TGridSelection& TfrmMain::LodvarsSelection() const {
    return *tvLodvars;
}

const TGridSelection& TfrmMain::IntersectionsSelection() const {
    return *tvIntersections;
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    FShown = true;
    FormShow();
}

void TfrmMain::FormShow() {
    // 1. The commands of the restored dates, exactly as the ribbon button loads them.
    actRefreshCommands->trigger();
    // 2. The station markers (toggle on), the operating area, and the length of bearing
    //    lines from the edit (2000000 m at every start).
    FMapOverlays->FormShow(double(edLodvarDist->value()));
    // 3. Live mode, when the operator left it on.
    FLiveRefresh->SetEnabled(cbLiveUpdate->isChecked());
}

void TfrmMain::SetDateParams() {
    TDbQuery& q = *dm.qCommands;
    q.ParamByName(QStringLiteral("DateBegin"))
        .AsDateTime(DateTimeOf(*edDateBegin, QStringLiteral("Початкова дата")));
    q.ParamByName(QStringLiteral("DateEnd"))
        .AsDateTime(DateTimeOf(*edDateEnd, QStringLiteral("Кінцева дата")));
}

void TfrmMain::actRefreshCommandsExecute() {
    TDbQuery* const queries[] = {dm.qCommands, dm.qIntersections, dm.qLodvars,
                                 dm.qLodvarsByCommand};
    TGridView* const views[] = {tvCommands, tvIntersections, tvLodvars};
    // The grids and the detail query hear of the reload once, when it is done.
    for (TDbQuery* q : queries)
        q->DisableControls();
    for (TGridView* view : views)
        view->BeginUpdate();
    try {
        if (pageCntrl->currentWidget() == pageInterception) {
            dm.qCommands->Close();
            SetDateParams();
            dm.qCommands->Open();
        }
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("Error while fetching \"commands\":\r") + e.Message());
    }
    for (TDbQuery* q : queries)
        q->EnableControls();
    for (TGridView* view : views)
        view->EndUpdate();
}

void TfrmMain::QueryCommands(int mode) {
    try {
        dm.qCommands->Close();
        SetDateParams();
        dm.qCommands->ParamByName(QStringLiteral("CommandsQueryMode")).AsInteger(mode);
        dm.qCommands->Open();
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("Error while fetching Commands:\r") + e.Message());
    }
}

void TfrmMain::rbgComandsQueryModePropertiesEditValueChanged() {
    FCommandsQueryMode = rbgComandsQueryMode->EditValue().toInt();
    QueryCommands(FCommandsQueryMode);
}

void TfrmMain::tvCommandsFocusedRecordChanged() {
    dm.qIntersections->Close();
    const TDbQuery& q = *dm.qCommands;
    // A failed reload leaves the commands closed: then there is no command to load for.
    if (!q.Active() || q.RecNo() < 0)
        return;
    if (q.FieldByName(QStringLiteral("_lodvar_cnt")).AsLargeInt() > 0) {
        const int id = q.FieldByName(QStringLiteral("_id")).AsInteger();
        LoadCommandIntersections(id);
        LoadCommandLodvars(id);
    }
}

void TfrmMain::LoadCommandDetail(TDbQuery& query, int commandId, const QString& failure) {
    try {
        if (pageCntrl->currentWidget() == pageInterception) {
            query.Close();
            query.ParamByName(QStringLiteral("command_id")).AsInteger(commandId);
            query.Open();
        }
    } catch (const Exception& e) {
        ShowMessage(failure + e.Message());
    }
}

void TfrmMain::LoadCommandLodvars(int commandId) {
    LoadCommandDetail(*dm.qLodvarsByCommand, commandId,
                      QStringLiteral("Error while fetching Lodvars:\r"));
}

void TfrmMain::LoadCommandIntersections(int commandId) {
    LoadCommandDetail(*dm.qIntersections, commandId,
                      QStringLiteral("Error while fetching \"intersections\":\r"));
}

void TfrmMain::tvCommandsCustomDrawCell(TGridCellDraw& cell) const {
    const QVariant count = cell.Row.Value(QStringLiteral("_lodvar_cnt"));
    if (count.isValid() && count.toLongLong() > 0)
        cell.BrushColor = Green;
    if (cell.Selected) {
        cell.BrushColor = palette().color(QPalette::Highlight);
        cell.FontColor = QColor(255, 255, 255);
    }
}

void TfrmMain::cbGroupCommandsPropertiesEditValueChanged() {
    tvCommands->SetGroupByBox(cbGroupCommands->isChecked());
}

void TfrmMain::cbGroupLodvarsPropertiesEditValueChanged() {
    tvLodvars->SetGroupByBox(cbGroupLodvars->isChecked());
}

void TfrmMain::cbGroupIntersectionsPropertiesEditValueChanged() {
    tvIntersections->SetGroupByBox(cbGroupIntersections->isChecked());
}
