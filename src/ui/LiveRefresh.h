// The live mode of the main window ("Автооновлення"): the grids follow the database
// without the operator pressing "Оновити".
//
// - Change detection: a TDbNotifier on "lodvar_changes" triggers a refresh at once (its
//   bursts come coalesced); a poll timer at the interval (seconds) triggers one when no
//   notification comes, so sites without the trigger script are live too.
// - A refresh first asks the server for a stamp of the tables the grids read (row counts
//   and newest row versions, one scan): while it is unchanged nothing else is asked, so
//   an idle network costs one small answer and the grids are neither reset nor
//   repainted. When it changed, each open grid query's fingerprint (row count and a
//   digest of its rows, with its current parameters) tells which grids to reload.
// - A query that changed is reloaded keeping what the operator is doing: the focused
//   command, the selected bearings and intersections (by their keys), the scroll
//   positions and the expanded groups; grouping and the find filter live in the views'
//   proxies and survive the reload. Rows that arrived are marked (DecorateCell) for
//   MarkDuration. The selection signal that redraws the map is held back when the
//   selected rows' content is unchanged.
// - A refresh waits while a mouse button is held (a drag) or a popup or modal dialog is
//   open, and never takes the keyboard focus, so typing goes on.
// - A failure never shows a message box: the status text says the live mode waits for
//   the server, and the next poll tries again (reconnecting through the connection's
//   local failover); the text clears when the server answers again.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

class TDMQueries;
class TDbNotifier;
class TDbQuery;
class TGridView;
struct TGridCellDraw;

class TLiveRefresh : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultIntervalSeconds = 10;
    static constexpr std::chrono::milliseconds MarkDuration{5000};
    static inline const QString WaitingText =
        QStringLiteral("Автооновлення: очікування сервера бази даних…");

    TLiveRefresh(TDMQueries& dm, TGridView& commands, TGridView& lodvars, TGridView& intersections,
                 QObject* parent = nullptr);
    ~TLiveRefresh() override;

    bool Enabled() const noexcept { return FEnabled; }
    void SetEnabled(bool on);

    int IntervalSeconds() const noexcept { return FIntervalSeconds; }
    // Out of 1..3600 s: the default.
    void SetIntervalSeconds(int seconds);

    TDbNotifier& Notifier() const noexcept { return *FNotifier; }

    // One live refresh now; true when any grid was reloaded.
    bool Refresh();
    // Live refreshes run and grid reloads done since construction.
    int RefreshCount() const noexcept { return FRefreshCount; }
    int ReloadCount() const noexcept { return FReloadCount; }

    // Marks a row that arrived within MarkDuration (call from a custom-draw handler).
    void DecorateCell(const TGridView& view, TGridCellDraw& cell) const;
    bool IsMarked(const TGridView& view, int sourceRow) const;

signals:
    // The live mode's status text; empty when there is nothing to say.
    void StatusTextChanged(const QString& text);
    // A live refresh reloaded at least one grid.
    void Refreshed();

private:
    struct TGrid;
    void Trigger();
    void StartListening();
    void SetWaiting(bool waiting);
    bool Busy() const;

    TDMQueries& dm;
    std::vector<std::unique_ptr<TGrid>> FGrids; // commands, bearings, intersections
    std::unique_ptr<TDbNotifier> FNotifier;
    std::unique_ptr<TDbQuery> FStamp;
    std::optional<QString> FLastStamp;
    QTimer FPoll;
    QTimer FRetry;  // a refresh that had to wait for the operator
    QTimer FUnmark; // clears the marks of arrived rows
    bool FEnabled = false;
    bool FWaiting = false;
    bool FRefreshing = false;
    int FIntervalSeconds = DefaultIntervalSeconds;
    int FRefreshCount = 0;
    int FReloadCount = 0;
};
