#include "app/Startup.h"

#include "app/Application.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "platform/OsServices.h"
#include "platform/SingleInstance.h"

#include <QMainWindow>
#include <cstdio>
#include <optional>

namespace {

// What the connection-error box names.
struct TConnectionTexts {
    QString Server;
    QString Port;
    QString Database;
};

TConnectionTexts TextsOf(const TDbConnection& cnn, bool substitute) {
    TConnectionTexts texts{cnn.Server(), QString::number(cnn.Port()), cnn.Database()};
    if (substitute && texts.Server.isEmpty())
        texts.Server = QStringLiteral("127.0.0.1");
    if (substitute && texts.Database.isEmpty())
        texts.Database = QStringLiteral("DEMO");
    return texts;
}

} // namespace

std::unique_ptr<QWidget> CreateMainWindow(Tdm&) {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Lodvar"));
    return window;
}

int RunSession(const TMainWindowFactory& ACreateMainWindow,
               const Tdm::TStoredSettings& AStoredSettings) {
    TConnectionTexts texts;
    try {
        // The login dialog and the boxes before the main window must not end the run.
        QApplication::setQuitOnLastWindowClosed(false);
        auto dm = std::make_unique<Tdm>(nullptr, AStoredSettings);
        texts = TextsOf(dm->cnn(), true);
        if (dm->isStart()) {
            std::unique_ptr<QWidget> frmMain = ACreateMainWindow(*dm);
            QApplication::setQuitOnLastWindowClosed(true);
            frmMain->showMaximized();
            QApplication::exec();
            // The window goes first: it uses the queries of dm.
            frmMain.reset();
            dm.reset();
            return ExitNormal;
        }
        texts = TextsOf(dm->cnn(), false);
        dm.reset();
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("Error while connecting to:\rServer: ") + texts.Server +
                    QStringLiteral("\rPort: ") + texts.Port + QStringLiteral("\rDatabase: ") +
                    texts.Database + QStringLiteral("\rMessage: ") + e.Message());
    }
    return ExitWithoutMainWindow;
}

int RunLodvar(int& argc, char** argv) {
    // The per-user folder is found through %LOCALAPPDATA%, which POSIX systems lack.
    Os::ExportLocalAppData();
    std::optional<TSingleInstance> guard;
    try {
        guard.emplace(SingleInstanceName);
    } catch (const EOSError& e) {
        std::fprintf(stderr, "lodvar: %s\n", e.Message().toLocal8Bit().constData());
        return ExitSystemError;
    }
    if (guard->AlreadyRunning())
        return ExitNormal;
    TApplication app(argc, argv);
    InstallMessageBoxes();
    return RunSession();
}
