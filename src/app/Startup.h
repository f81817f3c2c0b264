// The start-up of the program after its single-instance guard: the session context,
// then either the main window with the message loop or the end.
#pragma once

#include "app/uDM.h"

#include <QWidget>
#include <functional>
#include <memory>

// Exit codes of the program.
enum TExitCode : int {
    ExitNormal = 0,            // the main window ran and was closed, or another instance runs
    ExitWithoutMainWindow = 1, // ended before the main window: cancelled, refused or failed
    ExitSystemError = 2,       // the single-instance guard could not be created
};

// What the connection-error box names: the session connection's server, port and
// database; with ASubstitute an empty server reads "127.0.0.1" and an empty database
// "DEMO".
struct TConnectionTexts {
    QString Server;
    QString Port;
    QString Database;
};
TConnectionTexts ConnectionTexts(const TDbConnection& cnn, bool ASubstitute);
QString ConnectionErrorText(const TConnectionTexts& ATexts, const QString& AMessage);

using TMainWindowFactory = std::function<std::unique_ptr<QWidget>(Tdm& dm)>;

// The main window of a session.
std::unique_ptr<QWidget> CreateMainWindow(Tdm& dm);

// Constructs the session context, then, when it says so, the main window, shown
// maximised until it closes. An error of the general class on the way is shown as
// "Error while connecting to:\rServer: ...\rPort: ...\rDatabase: ...\rMessage: ...".
// Needs a QApplication; returns the exit code.
int RunSession(const TMainWindowFactory& ACreateMainWindow = CreateMainWindow,
               const Tdm::TStoredSettings& AStoredSettings = {});

// The whole start-up: the guard, the application object with its title and boxes, and
// the session. A second instance of the session ends at once, silently.
int RunLodvar(int& argc, char** argv);
