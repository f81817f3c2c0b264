// The keys of the two settings files of the per-user folder, each with its
// section, type and default, and the file names: the one place that every reader
// and writer of these files takes them from. Reads and writes go through the INI
// service (platform/IniFile.h), which opens the file at every call.
#pragma once

#include "platform/IniFile.h"

#include <QString>

struct TIniTextKey {
    QString Section;
    QString Name;
    QString Default;
};

struct TIniIntegerKey {
    QString Section;
    QString Name;
    int Default;
};

struct TIniBoolKey {
    QString Section;
    QString Name;
    bool Default;
};

// The main settings file: the per-user folder followed by FileName.
namespace MainSettings {
inline const QString FileName = QStringLiteral("lodvar.ini");

// Alias of the connection profile; the default means "no profile configured".
inline const TIniTextKey DbAlias{QStringLiteral("CONNECTION"), QStringLiteral("DB_ALIAS"),
                                 QStringLiteral("EMPTY")};
inline const TIniBoolKey LogRewrite{QStringLiteral("DEBUG"), QStringLiteral("LOGREWRITE"), false};
inline const TIniBoolKey Debug{QStringLiteral("DEBUG"), QStringLiteral("DEBUG"), false};
// Written only when the file is first created, with DefaultLang; never read.
inline const TIniTextKey Lang{QStringLiteral("LOCALE"), QStringLiteral("LANG"), QString()};
inline const QString DefaultLang = QStringLiteral("1033");
// The login name after each successful login; never read.
inline const TIniTextKey Login{QStringLiteral("Login"), QStringLiteral("Login"), QString()};
// Seconds between the live mode's polls of the database (a site option).
inline const TIniIntegerKey LiveInterval{QStringLiteral("LIVE"), QStringLiteral("INTERVAL"), 10};
} // namespace MainSettings

// The alias value that means no connection profile is configured.
inline const QString EmptyAlias = QStringLiteral("EMPTY");

// A connection file: the per-user folder, the alias, then FileExtension. Provided
// to the workstation from outside; the system only reads it.
namespace ConnectionFile {
inline const QString FileExtension = QStringLiteral(".pdb");

inline const TIniTextKey Server{QStringLiteral("CONNECTION"), QStringLiteral("server"),
                                QStringLiteral("need_to_edit_server")};
// TCP port of the database server; the profile turns 0 (and any port out of
// range) into 5432.
inline const TIniIntegerKey Port{QStringLiteral("CONNECTION"), QStringLiteral("Port"), 0};
inline const TIniTextKey DbName{QStringLiteral("CONNECTION"), QStringLiteral("db_name"),
                                QStringLiteral("need_to_edit_idb_name")};
inline const TIniTextKey DbUserName{QStringLiteral("CONNECTION"), QStringLiteral("db_username"),
                                    QStringLiteral("need_to_edit_idb_username")};
// Login name offered by the login dialog.
inline const TIniTextKey Login{QStringLiteral("Login"), QStringLiteral("Login"),
                               QStringLiteral("admin")};
// Stored-password text (EncryptStr/DecryptStr with the system's pass phrase).
inline const TIniTextKey Password{QStringLiteral("Login"), QStringLiteral("Password"), QString()};
// Stored-password text of the profile's database password. Written with the profile,
// never read: every profile connection uses the fixed profile password.
inline const TIniTextKey DbPassword{QStringLiteral("IDB_CONNECTION"), QStringLiteral("idb_passwd"),
                                    QString()};
} // namespace ConnectionFile

// The per-user settings folder under a local application-data folder: the maker's
// folder "KAVEX", then "Lodvar", with native delimiters and a trailing one.
QString UserBinDirUnder(const QString& localAppDataFolder);

// userBinDir ends with a path delimiter.
QString MainSettingsFileName(const QString& userBinDir);
// The alias is taken as it is: no test for an extension already present.
QString ConnectionFileName(const QString& userBinDir, const QString& alias);

QString ReadKey(const TIniFile& file, const TIniTextKey& key);
int ReadKey(const TIniFile& file, const TIniIntegerKey& key);
bool ReadKey(const TIniFile& file, const TIniBoolKey& key);

// A refused write raises Exception "Unable to write to <file name>".
void WriteKey(const TIniFile& file, const TIniTextKey& key, const QString& value);
void WriteKey(const TIniFile& file, const TIniIntegerKey& key, int value);
