#include "app/Startup.h"

#include "app/Application.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "platform/OsServices.h"
#include "platform/SingleInstance.h"
#include "ui/ufrmMain.h"

#include <cstdio>
#include <optional>

TConnectionTexts ConnectionTexts(const TDbConnection& cnn, bool ASubstitute) {
    TConnectionTexts texts{cnn.Server(), QString::number(cnn.Port()), cnn.Database()};
    if (ASubstitute && texts.Server.isEmpty())
        texts.Server = QStringLiteral("127.0.0.1");
    if (ASubstitute && texts.Database.isEmpty())
        texts.Database = QStringLiteral("DEMO");
    return texts;
}

QString ConnectionErrorText(const TConnectionTexts& ATexts, const QString& AMessage) {
    return QStringLiteral("Error while connecting to:\rServer: ") + ATexts.Server +
           QStringLiteral("\rPort: ") + ATexts.Port + QStringLiteral("\rDatabase: ") +
           ATexts.Database + QStringLiteral("\rMessage: ") + AMessage;
}

std::unique_ptr<QWidget> CreateMainWindow(Tdm& dm) {
    return std::make_unique<TfrmMain>(dm.Queries());
}

int RunSession(const TMainWindowFactory& ACreateMainWindow,
               const Tdm::TStoredSettings& AStoredSettings) {
    TConnectionTexts texts;
    try {
        // The login dialog and the boxes before the main window must not end the run.
        QApplication::setQuitOnLastWindowClosed(false);
        auto dm = std::make_unique<Tdm>(nullptr, AStoredSettings);
        texts = ConnectionTexts(dm->cnn(), true);
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
        texts = ConnectionTexts(dm->cnn(), false);
        dm.reset();
    } catch (const Exception& e) {
        ShowMessage(ConnectionErrorText(texts, e.Message()));
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
