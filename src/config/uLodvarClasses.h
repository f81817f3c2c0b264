// The connection profile: where an operator's database is (server, port, database
// and user name), loaded from the connection file of an alias in the per-user
// settings folder, probed over TCP and applied to the session's connection.
#pragma once

#include <QString>

class TDbConnection;

class TLodvarConnection {
public:
    // AUserBinDir: the per-user settings folder, ending in a path delimiter; the
    // connection files live there. Acnn: the session connection that Connect points
    // at this profile; it must outlive the profile.
    TLodvarConnection(QString AUserBinDir, TDbConnection& Acnn);

    const QString& server() const noexcept { return Fserver; }
    void setServer(const QString& AValue) { Fserver = AValue; }
    int Port() const noexcept { return FPort; }
    // Ports outside 1..65534 (0, negative, 65535 and above) become 5432.
    void SetPortNumber(int APort);
    const QString& Alias() const noexcept { return FAlias; }
    void setAlias(const QString& AValue) { FAlias = AValue; }
    const QString& DBName() const noexcept { return FDBname; }
    void setDBName(const QString& AValue) { FDBname = AValue; }
    const QString& DBUserName() const noexcept { return FDBUserName; }
    void setDBUserName(const QString& AValue) { FDBUserName = AValue; }
    const QString& dbPasswd() const noexcept { return FdbPasswd; }
    void setDbPasswd(const QString& AValue) { FdbPasswd = AValue; }

    // Loads the connection file of ADBAlias (ADBAlias + ".pdb", or ADBAlias itself when
    // it already holds ".pdb" in any letter case). A missing file is success with the
    // profile unchanged when AIgnore is true; otherwise, and on any other error (among
    // them a file that is no readable regular file of at most TIniFile::MaxFileSize
    // bytes), a message box "Error in LoadByAlias: ..." and false.
    bool LoadByAlias(const QString& ADBAlias, bool AIgnore);

    // Writes this profile as the connection file of ADBAlias in the layout that
    // LoadByAlias reads, plus the stored-password text of dbPasswd under
    // [IDB_CONNECTION] idb_passwd. Raises the INI service's error when refused.
    bool SaveByAlias(const QString& ADBAlias) const;

    // True when something accepts TCP connections at AServer:APort; nothing is sent.
    static bool CheckServerPort(const QString& AServer, int APort);

    // Probes the server's port (raising "PostgreSQL Server: could not connect to  ..."
    // when unreachable), then reconnects the session connection with this profile and
    // the fixed profile password. A database error gives false without a message.
    bool Connect();

private:
    QString FUserBinDir;
    TDbConnection* Fcnn;

    QString Fserver;
    int FPort = 0;
    QString FAlias;
    QString FDBname;
    QString FDBUserName;
    QString FdbPasswd;
};
