// A throwaway PostgreSQL server for test suites and benchmarks (library lodvar_pgtest).
//
// The first call of TPgTestServer::Instance() creates a cluster with initdb in a new
// temporary folder (as the "postgres" user when the process runs as root), starts it on a
// free port of 127.0.0.1 with password (SCRAM) authentication only, creates the role
// "lodvar" with the built-in password SiteConfig::DbPassword and the database "lodvar",
// and loads db/schema.sql and tests/support/fixtures.sql (see that file for its users,
// stations and commands). The binaries come from `pg_config --bindir`, else
// /usr/lib/postgresql/15/bin.
//
// The server is stopped and its folder removed after the last test (a GoogleTest
// environment that every program linking this library registers), at normal process exit,
// and by a watchdog process when the test process dies in any other way (abort, crash,
// kill): the watchdog waits on a pipe that only this process holds open.
//
// Typical use in a suite:
//     auto& server = TPgTestServer::Instance();
//     TDbConnection cnn;
//     server.PointAt(cnn);            // lodvar / SiteConfig::DbPassword on the test server
//     server.ExecAsSuperuser("UPDATE ...");
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class TDbConnection;

class TPgTestServer {
public:
    // The server of this process, started on the first call. Raises EDatabaseError when
    // the server cannot be set up (the message says which step failed).
    static TPgTestServer& Instance();
    // Whether Instance() has started a server that is still running.
    static bool IsRunning();

    ~TPgTestServer();
    TPgTestServer(const TPgTestServer&) = delete;
    TPgTestServer& operator=(const TPgTestServer&) = delete;

    QString Host() const;           // "127.0.0.1"
    QString Folder() const;         // the temporary folder of the cluster
    int Port() const;               // the TCP port the server listens on
    QString Database() const;       // "lodvar"
    QString LodvarUser() const;     // "lodvar"
    QString LodvarPassword() const; // SiteConfig::DbPassword

    // Sets Server, Port, Database, Username and Password of the connection to the role
    // "lodvar" on this server. Does not connect.
    void PointAt(TDbConnection& cnn) const;

    // libpq connection string of the superuser "postgres" for the given database.
    QByteArray SuperuserConnInfo(const QString& database = QStringLiteral("lodvar")) const;

    // Runs one or more SQL statements as the superuser in the given database. Raises
    // EDatabaseError with the server's message on failure.
    void ExecAsSuperuser(const QString& sql,
                         const QString& database = QStringLiteral("lodvar")) const;
    // Runs a query as the superuser and returns the first column of its first row as text
    // (empty for no row or NULL). Raises EDatabaseError on failure.
    QString QueryValueAsSuperuser(const QString& sql,
                                  const QString& database = QStringLiteral("lodvar")) const;
    // Runs the SQL file (plain SQL, no psql commands) as the superuser.
    void ExecFileAsSuperuser(const QString& path,
                             const QString& database = QStringLiteral("lodvar")) const;

    // Creates a login role with the password, a member of lodvar_reader (read access to
    // everything the client reads). An existing role gets the new password.
    void CreateReaderRole(const QString& name, const QString& password) const;

    // Ends the server process of the backend with this pid and waits until it is gone.
    void TerminateBackend(int pid) const;

    // Removes every row of the contract's tables and loads the test fixtures again.
    void ReloadFixtures() const;

    // Absolute path of a file of the source tree's db/ folder (e.g. "demo.sql").
    static QString DbFile(const QString& name);

    // Stops the server and removes its folder; later Instance() calls start a new one.
    static void Shutdown();

private:
    TPgTestServer();
    void Start();
    void Stop();

    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
