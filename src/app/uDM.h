// The session context: the one non-visual container of a run. It owns the database
// connection `cnn` with every query and data source (TDMQueries), and holds the
// session's state: machine and user names, the per-user settings folder, the debug
// flags of the main settings file, the connection profile chosen at login and the
// operator's login name.
//
// Construction opens `cnn` with its stored settings (an EDatabaseError then ends the
// construction), then runs the creation handler: it prepares the per-user folders
// (which become the current directory), reads the debug flags, runs the login dialog
// and connects with the chosen profile. `isStart` is set only when all of that
// succeeded; the start-up opens the main window only then. An error escaping the
// handler is shown in the standard error box and the context stays as it got.
#pragma once

#include "config/uLodvarClasses.h"
#include "data/uDMQueries.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class Tdm : public QObject {
    Q_OBJECT

public:
    // Changes the stored settings of `cnn` before it opens (a site or a test pointing
    // the session at another server); by default the built-in ones stay.
    using TStoredSettings = std::function<void(TDbConnection& cnn)>;

    explicit Tdm(QObject* AOwner = nullptr, const TStoredSettings& AStoredSettings = {});
    ~Tdm() override;

    TDMQueries& Queries() noexcept { return FQueries; }
    TDbConnection& cnn() const noexcept { return *FQueries.cnn; }

    bool isStart() const noexcept { return FisStart; }
    void setIsStart(bool AValue) noexcept { FisStart = AValue; }
    // The per-user settings folder, with a trailing path delimiter.
    const QString& UserBinDir() const noexcept { return FUserBinDir; }
    bool Debug() const noexcept { return FDebug; }
    void setDebug(bool AValue) noexcept { FDebug = AValue; }
    // The profile chosen at login; null until then.
    TLodvarConnection* db_cnn() const noexcept { return Fdb_cnn.get(); }
    const QString& Login() const noexcept { return Flogin; }
    void setLogin(const QString& AValue) { Flogin = AValue; }

private:
    void DataModuleCreate(QObject* Sender);
    // Creates the folder when no directory is there; false (after the message) when
    // the system refuses.
    bool ForceFolder(const QString& APath);
    QString GetPCName();
    QString GetNTUserName();

    TDMQueries FQueries;

    bool FisStart = false;
    bool FSessionLostFlag = false;
    QString FPC_name;
    QString Fnt_username;
    QString FHDDirPath;
    QString FUserBinDir;
    QString FAppPath;
    bool FLogRewrite = false;
    bool FDebug = false;
    // Declared after FQueries: the profile refers to `cnn` and goes first.
    std::unique_ptr<TLodvarConnection> Fdb_cnn;
    QString Flogin;
};
