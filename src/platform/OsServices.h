// Operating-system services the session and the settings need, behind one
// interface: OsServices_posix.cpp on Linux, OsServices_win.cpp (Win32) on Windows.
// Paths use the native separator (PathDelimiter()).
#pragma once

#include <QChar>
#include <QString>
#include <optional>

namespace Os {

// "/" on POSIX, "\" on Windows.
QChar PathDelimiter();

// Replaces every %NAME% by the value of the environment variable NAME (named apart
// from the Win32 macro ExpandEnvironmentStrings, which would rename it). A name that
// is not defined stays as written, percent signs included; "%%" stays "%%", and a
// "%" without a closing one stays as it is. Empty when the system cannot expand.
QString ExpandEnvironment(const QString& text);

// True when a directory exists at the path; links are followed.
bool DirectoryExists(const QString& path);

// True when a file that is not a directory exists at the path; links are followed.
bool FileExists(const QString& path);

// Creates one directory level; the parent must exist. False when the system
// refuses (the path exists already, the parent is missing, no permission...).
bool CreateDir(const QString& path);

// Moves a file onto another name in the same folder, replacing a file there in one
// step (readers see the old file or the new one, never a mix); false on failure.
// (Not named ReplaceFile: that is a Win32 macro.)
bool MoveReplacing(const QString& from, const QString& to);

enum class TMoveOutcome { Moved, NameTaken, Failed };

// Moves a file onto another name in the same folder only when nothing stands at that
// name. The test and the move are one step, so a file that appears meanwhile is never
// replaced: the outcome is then NameTaken and the file stays where it was.
TMoveOutcome MoveNoReplace(const QString& from, const QString& to);

// Makes the path the process's current directory; false on failure.
bool SetCurrentDir(const QString& path);

// The machine name: the Windows computer name (at most 15 characters), on POSIX
// the host name up to its first "." and cut to 15 characters. Empty optional when
// the system cannot tell.
std::optional<QString> ComputerName();

// The name of the user the process runs as; "Unknown" when the system cannot tell
// or the name is longer than 254 characters.
QString UserName();

// The local application-data folder, without a trailing delimiter: LOCALAPPDATA
// when set; on POSIX otherwise $XDG_DATA_HOME (when absolute), else
// ~/.local/share. Empty when none can be found.
QString LocalAppDataFolder();

// Sets LOCALAPPDATA to LocalAppDataFolder() when it is not set, so that expanding
// "%LOCALAPPDATA%" finds the folder. Called once at start.
void ExportLocalAppData();

} // namespace Os
