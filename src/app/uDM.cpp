#include "app/uDM.h"

#include "app/Application.h"
#include "auth/ufrmLogin.h"
#include "config/SettingsFiles.h"
#include "config/uUtils.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/OsServices.h"

#include <QCoreApplication>
#include <QDir>
#include <exception>

Tdm::Tdm(QObject* AOwner, const TStoredSettings& AStoredSettings) : QObject(AOwner) {
    setObjectName(QStringLiteral("dm"));
    if (AStoredSettings)
        AStoredSettings(*FQueries.cnn);
    // Stored as connected: a server that cannot be reached ends the construction here.
    FQueries.cnn->SetConnected(true);
    try {
        DataModuleCreate(this);
    } catch (const Exception& e) {
        ShowStandardError(e.Message());
    } catch (const std::exception& e) {
        ShowStandardError(QString::fromLocal8Bit(e.what()));
    }
}

Tdm::~Tdm() = default;

void Tdm::DataModuleCreate(QObject*) {
    FSessionLostFlag = false;
    FQueries.cnn->SetLocalFailover(true);
    FQueries.cnn->SetConnected(false);
    FPC_name = GetPCName();
    Fnt_username = GetNTUserName();
    if (FQueries.cnn->Connected())
        FQueries.cnn->Close();

    const QChar d = Os::PathDelimiter();
    const QString localAppData = ExpandEnvStr(QStringLiteral("%LOCALAPPDATA%"));
    FHDDirPath = localAppData + d + QStringLiteral("KAVEX") + d;
    FUserBinDir = UserBinDirUnder(localAppData);
    FAppPath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + d;

    if (!ForceFolder(FHDDirPath) || !ForceFolder(FUserBinDir))
        return;
    Os::SetCurrentDir(FUserBinDir);

    const TIniFile ini(MainSettingsFileName(FUserBinDir));
    FLogRewrite = ReadKey(ini, MainSettings::LogRewrite);
    FDebug = ReadKey(ini, MainSettings::Debug);

    try {
        FisStart = ExecuteLogin(*this, Fdb_cnn);
    } catch (const Exception& e) {
        FisStart = false;
        ShowMessage(QStringLiteral("Authorization Error:") + e.Message());
        return;
    }

    try {
        if (!Fdb_cnn || !Fdb_cnn->Connect())
            FisStart = false;
    } catch (const Exception& e) {
        ShowStandardError(e.Message());
        FisStart = false;
    }
}

bool Tdm::ForceFolder(const QString& APath) {
    // A relative path (LOCALAPPDATA unset) would land wherever the process was started.
    if (QDir::isAbsolutePath(APath) && (Os::DirectoryExists(APath) || Os::CreateDir(APath)))
        return true;
    ShowMessage(QStringLiteral("Can not create Directory:\r") + APath);
    return false;
}

QString Tdm::GetPCName() {
    if (const std::optional<QString> name = Os::ComputerName())
        return *name;
    ShowMessage(QStringLiteral("Не удалось определить имя компьютера"));
    return QString();
}

QString Tdm::GetNTUserName() {
    return Os::UserName();
}
