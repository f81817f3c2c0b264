#include "ui/LiveRefresh.h"

#include "data/uDMQueries.h"
#include "data/uDbNotifier.h"
#include "data/uDbQuery.h"
#include "platform/Exceptions.h"
#include "ui/grid/GridView.h"
#include "ui/grid/GroupingModel.h"

#include <QApplication>
#include <QItemSelection>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <optional>

namespace {

constexpr int MaxIntervalSeconds = 3600;
constexpr std::chrono::milliseconds BusyRetry{500};
const QColor ArrivedColour(255, 236, 140);

// The statement of a query wrapped so that the server answers with one short text: the
// number of rows and a digest of all of them, in the query's order.
QStringList FingerprintSql(const QStringList& sql) {
    QString inner = sql.join(QLatin1Char('\n')).trimmed();
    while (inner.endsWith(QLatin1Char(';')))
        inner = inner.chopped(1).trimmed();
    return {QStringLiteral("SELECT count(*) || '/' || coalesce(md5(string_agg(t::text, "
                           "E'\\n')), '') FROM ("),
            inner, QStringLiteral(") t")};
}

// One short text that changes with every insert, update and delete of the tables the
// grids are read from: per table the row count and the newest row version's transaction
// id. Far cheaper than the grids' own statements, so an idle network costs one scan.
const QStringList StampSql = {
    QStringLiteral("SELECT concat_ws('/',"),
    QStringLiteral(" (SELECT count(*) || '.' || coalesce(max(xmin::text::bigint), 0) FROM "
                   "lodvar.comset),"),
    QStringLiteral(" (SELECT count(*) || '.' || coalesce(max(xmin::text::bigint), 0) FROM "
                   "lodvar.lodset),"),
    QStringLiteral(" (SELECT count(*) || '.' || coalesce(max(xmin::text::bigint), 0) FROM "
                   "lodvar.arms),"),
    QStringLiteral(" (SELECT count(*) || '.' || coalesce(max(xmin::text::bigint), 0) FROM "
                   "lodvar.units))"),
};

// Walks the group rows of a view's grouping tree with their paths of group values.
template <class TVisit>
void ForEachGroup(const TGroupingModel& model, const QModelIndex& parent, QVariantList& path,
                  const TVisit& visit) {
    for (int r = 0, n = model.rowCount(parent); r < n; ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        if (!model.IsGroupRow(index))
            continue;
        path.push_back(model.data(index, TGroupingModel::GroupValueRole));
        visit(index, path);
        ForEachGroup(model, index, path, visit);
        path.pop_back();
    }
}

} // namespace

struct TLiveRefresh::TGrid {
    TGridView& View;
    TDbQuery& Query;
    QString KeyField;
    TDbQuery Probe;
    QStringList ProbeSource; // the statement the probe was made from
    std::optional<QString> Fingerprint;
    QSet<QString> Marked;      // keys as the grid's rows give them (TGridRow::Value)
    int Loads = 0;             // reloads of the query, whoever did them
    bool ClosedByLive = false; // a reload of ours failed and left the query closed

    // What the operator sees of the grid, to put back after a reload.
    struct TState {
        QByteArray Focused;
        QList<QByteArray> Selected;
        QByteArray SelectedContent;
        QSet<QByteArray> Keys;
        QList<QVariantList> Expanded;
        int VerticalScroll = 0;
        int HorizontalScroll = 0;
    };

    TGrid(TGridView& view, TDbQuery& query, QString keyField)
        : View(view), Query(query), KeyField(std::move(keyField)) {}

    QByteArray Key(int row) const {
        const TDbField* field = Query.FindField(KeyField);
        if (field == nullptr || row < 0 || row >= Query.RecordCount())
            return {};
        const std::string_view value = Query.Value(row, field->Index());
        return QByteArray(value.data(), static_cast<qsizetype>(value.size()));
    }

    QString MarkKey(int row) const {
        const TDbField* field = Query.FindField(KeyField);
        if (field == nullptr || Query.IsNull(row, field->Index()))
            return {};
        return ValueToVariant(field->DataType(), Query.Value(row, field->Index())).toString();
    }

    QByteArray RowContent(int row) const {
        QByteArray content;
        for (int f = 0; f < Query.FieldCount(); ++f) {
            const std::string_view value = Query.Value(row, f);
            content += Query.IsNull(row, f) ? QByteArray("\x01")
                                            : QByteArray(value.data(), qsizetype(value.size()));
            content += '\x1f';
        }
        return content;
    }

    QString TakeFingerprint() {
        if (!Query.Active())
            return {};
        if (ProbeSource != Query.SQL()) {
            ProbeSource = Query.SQL();
            Probe.SetSQL(FingerprintSql(ProbeSource));
        }
        Probe.SetConnection(Query.Connection());
        for (int p = 0; p < Probe.ParamCount(); ++p) {
            TDbParam& target = Probe.Params(p);
            const TDbParam* source = Query.FindParam(target.Name());
            if (source == nullptr || source->IsNull())
                target.Clear();
            else
                target.AsString(QString::fromUtf8(*source->Value()));
        }
        Probe.Open();
        const QString print = Probe.Fields(0).AsString();
        Probe.Close();
        return print;
    }

    TState Capture() const {
        TState state;
        if (!Query.Active())
            return state;
        state.Focused = Key(View.FocusedSourceRow());
        for (int row : View.SelectedSourceRows()) {
            state.Selected << Key(row);
            state.SelectedContent += RowContent(row) + '\x1e';
        }
        for (int row = 0; row < Query.RecordCount(); ++row)
            state.Keys.insert(Key(row));
        QVariantList path;
        ForEachGroup(View.Grouping(), {}, path,
                     [&](const QModelIndex& group, const QVariantList& groupPath) {
                         if (View.isExpanded(group))
                             state.Expanded << groupPath;
                     });
        state.VerticalScroll = View.verticalScrollBar()->value();
        state.HorizontalScroll = View.horizontalScrollBar()->value();
        return state;
    }

    int RowOfKey(const QByteArray& key) const {
        for (int row = 0; row < Query.RecordCount(); ++row)
            if (Key(row) == key)
                return row;
        return -1;
    }

    QByteArray SelectedContent() const {
        QByteArray content;
        for (int row : View.SelectedSourceRows())
            content += RowContent(row) + '\x1e';
        return content;
    }

    void Restore(const TState& state) {
        QVariantList path;
        ForEachGroup(View.Grouping(), {}, path,
                     [&](const QModelIndex& group, const QVariantList& groupPath) {
                         View.setExpanded(group, state.Expanded.contains(groupPath));
                     });
        const int focused = RowOfKey(state.Focused);
        if (focused >= 0 && focused != View.FocusedSourceRow())
            View.FocusSourceRow(focused);
        if (View.selectionMode() != QAbstractItemView::SingleSelection) {
            QItemSelection selection;
            for (const QByteArray& key : state.Selected) {
                const QModelIndex index = View.IndexOfSourceRow(RowOfKey(key));
                if (index.isValid())
                    selection.select(index, index);
            }
            View.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
        }
        View.verticalScrollBar()->setValue(state.VerticalScroll);
        View.horizontalScrollBar()->setValue(state.HorizontalScroll);
    }

    // Rows whose keys were not there before are marked; a grid that shows other rows
    // altogether (another command) marks nothing.
    void MarkArrived(const TState& before) {
        Marked.clear();
        if (before.Keys.isEmpty())
            return;
        for (int row = 0; row < Query.RecordCount(); ++row)
            if (!before.Keys.contains(Key(row)))
                Marked.insert(MarkKey(row));
    }

    void Reload() {
        Query.DisableControls();
        try {
            Query.Close();
            Query.Open();
        } catch (...) {
            ClosedByLive = true;
            Query.EnableControls();
            throw;
        }
        ClosedByLive = false;
        Query.EnableControls();
    }
};

TLiveRefresh::TLiveRefresh(TDMQueries& queries, TGridView& commands, TGridView& lodvars,
                           TGridView& intersections, QObject* parent)
    : QObject(parent), dm(queries), FNotifier(std::make_unique<TDbNotifier>(*queries.cnn)),
      FStamp(std::make_unique<TDbQuery>()) {
    FGrids.push_back(std::make_unique<TGrid>(commands, *dm.qCommands, QStringLiteral("_id")));
    FGrids.push_back(std::make_unique<TGrid>(lodvars, *dm.qLodvarsByCommand, QStringLiteral("id")));
    FGrids.push_back(std::make_unique<TGrid>(intersections, *dm.qIntersections,
                                             QStringLiteral("_intersection_uuid")));
    for (const auto& grid : FGrids)
        connect(&grid->Query, &TDbQuery::DataSetChanged, this, [g = grid.get()] { ++g->Loads; });
    FPoll.setInterval(std::chrono::seconds(FIntervalSeconds));
    FRetry.setSingleShot(true);
    FRetry.setInterval(BusyRetry);
    FUnmark.setSingleShot(true);
    FUnmark.setInterval(MarkDuration);
    connect(&FPoll, &QTimer::timeout, this, &TLiveRefresh::Trigger);
    connect(&FRetry, &QTimer::timeout, this, &TLiveRefresh::Trigger);
    connect(&FUnmark, &QTimer::timeout, this, [this] {
        for (const auto& grid : FGrids) {
            grid->Marked.clear();
            grid->View.viewport()->update();
        }
    });
    connect(FNotifier.get(), &TDbNotifier::Changed, this, &TLiveRefresh::Trigger);
    connect(FNotifier.get(), &TDbNotifier::Lost, this, &TLiveRefresh::Trigger);
    FStamp->SetConnection(dm.cnn);
    FStamp->SetSQL(StampSql);
}

TLiveRefresh::~TLiveRefresh() = default;

void TLiveRefresh::SetEnabled(bool on) {
    if (FEnabled == on)
        return;
    FEnabled = on;
    if (on) {
        for (const auto& grid : FGrids)
            grid->Fingerprint.reset();
        FLastStamp.reset();
        StartListening();
        FPoll.start();
        // The first look sets what "unchanged" means; it reloads only what differs.
        Trigger();
    } else {
        FPoll.stop();
        FRetry.stop();
        FNotifier->Stop();
        SetWaiting(false);
    }
}

void TLiveRefresh::SetIntervalSeconds(int seconds) {
    FIntervalSeconds =
        seconds >= 1 && seconds <= MaxIntervalSeconds ? seconds : DefaultIntervalSeconds;
    FPoll.setInterval(std::chrono::seconds(FIntervalSeconds));
}

void TLiveRefresh::StartListening() {
    try {
        FNotifier->Start();
    } catch (const Exception&) {
        // Polling carries on; the next successful refresh listens again.
    }
}

bool TLiveRefresh::Busy() const {
    return QApplication::mouseButtons() != Qt::NoButton ||
           QApplication::activePopupWidget() != nullptr ||
           QApplication::activeModalWidget() != nullptr;
}

void TLiveRefresh::Trigger() {
    if (!FEnabled)
        return;
    if (Busy()) {
        FRetry.start();
        return;
    }
    Refresh();
    if (FEnabled)
        FPoll.start();
}

void TLiveRefresh::SetWaiting(bool waiting) {
    if (FWaiting == waiting)
        return;
    FWaiting = waiting;
    emit StatusTextChanged(waiting ? WaitingText : QString());
}

bool TLiveRefresh::Refresh() {
    if (FRefreshing)
        return false;
    const QScopedValueRollback guard(FRefreshing, true);
    ++FRefreshCount;
    // The stamp is taken before the fingerprints: a change between the two shows in the
    // next stamp.
    QString stamp;
    std::vector<QString> prints;
    try {
        FStamp->Open();
        stamp = FStamp->Fields(0).AsString();
        FStamp->Close();
        // Unchanged tables since the last full look: every grid, however loaded since,
        // shows what the database holds.
        if (stamp != FLastStamp)
            for (const auto& grid : FGrids)
                prints.push_back(grid->TakeFingerprint());
    } catch (const Exception&) {
        FStamp->Close();
        SetWaiting(true);
        return false;
    }
    SetWaiting(false);
    if (!FNotifier->Listening())
        StartListening();
    if (prints.empty())
        return false;

    std::vector<bool> changed;
    bool any = false;
    for (size_t i = 0; i < FGrids.size(); ++i) {
        const TGrid& grid = *FGrids[i];
        changed.push_back((grid.Query.Active() && grid.Fingerprint != prints[i]) ||
                          grid.ClosedByLive);
        any = any || changed.back();
    }
    if (!any) {
        FLastStamp = stamp;
        return false;
    }

    std::vector<TGrid::TState> before;
    std::vector<int> loads;
    for (const auto& grid : FGrids) {
        before.push_back(grid->Capture());
        loads.push_back(grid->Loads);
    }
    TGrid& commands = *FGrids[0];
    // The detail grids hold their signals until every grid is back as it was, so the map
    // hears of their selection once, if at all.
    for (size_t i = 1; i < FGrids.size(); ++i)
        FGrids[i]->View.BeginUpdate();
    try {
        if (changed[0]) {
            commands.View.BeginUpdate();
            try {
                commands.Reload();
            } catch (const Exception&) {
                commands.View.EndUpdate();
                throw;
            }
            commands.Restore(before[0]);
            commands.MarkArrived(before[0]);
            // A focus that moved loads the new command's details (the window's handler).
            commands.View.EndUpdate();
            ++loads[0];
        }
        const bool sameCommand =
            commands.Key(commands.View.FocusedSourceRow()) == before[0].Focused;
        for (size_t i = 1; i < FGrids.size(); ++i) {
            TGrid& grid = *FGrids[i];
            const bool reloadedByWindow = grid.Loads != loads[i];
            if (changed[i] && !reloadedByWindow && (grid.Query.Active() || grid.ClosedByLive))
                grid.Reload();
            if (!sameCommand)
                continue;
            if (changed[i] || reloadedByWindow) {
                grid.Restore(before[i]);
                grid.MarkArrived(before[i]);
            }
        }
    } catch (const Exception&) {
        for (size_t i = 1; i < FGrids.size(); ++i)
            FGrids[i]->View.EndUpdate();
        SetWaiting(true);
        return false;
    }
    for (size_t i = 1; i < FGrids.size(); ++i) {
        TGrid& grid = *FGrids[i];
        // The map redraws on the selection signal: held back when the selected rows still
        // read the same.
        const bool sameSelection = grid.SelectedContent() == before[i].SelectedContent;
        const QSignalBlocker quiet(sameSelection ? &grid.View : nullptr);
        grid.View.EndUpdate();
    }
    for (size_t i = 0; i < FGrids.size(); ++i)
        FGrids[i]->Fingerprint = prints[i];
    FLastStamp = stamp;
    bool marked = false;
    for (const auto& grid : FGrids)
        marked = marked || !grid->Marked.isEmpty();
    if (marked)
        FUnmark.start();
    ++FReloadCount;
    emit Refreshed();
    return true;
}

bool TLiveRefresh::IsMarked(const TGridView& view, int sourceRow) const {
    for (const auto& grid : FGrids)
        if (&grid->View == &view)
            return !grid->Marked.isEmpty() && sourceRow >= 0 &&
                   sourceRow < grid->Query.RecordCount() &&
                   grid->Marked.contains(grid->MarkKey(sourceRow));
    return false;
}

void TLiveRefresh::DecorateCell(const TGridView& view, TGridCellDraw& cell) const {
    // A grid with a custom-draw handler leaves the selected rows' colours to it: a
    // selected row the handler before this one left alone gets the usual highlight.
    if (cell.Selected) {
        if (!cell.BrushColor.isValid()) {
            cell.BrushColor = view.palette().color(QPalette::Highlight);
            cell.FontColor = view.palette().color(QPalette::HighlightedText);
        }
        return;
    }
    for (const auto& grid : FGrids)
        if (&grid->View == &view) {
            if (!grid->Marked.isEmpty() &&
                grid->Marked.contains(cell.Row.Value(grid->KeyField).toString()))
                cell.BrushColor = ArrivedColour;
            return;
        }
}
