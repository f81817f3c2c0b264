#include "config/uLodvarClasses.h"

#include "LodvarSiteConfig.h"
#include "config/SettingsFiles.h"
#include "config/uUtils.h"
#include "data/uDbConnection.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/OsServices.h"
#include "platform/TcpProbe.h"

#include <utility>

namespace {

// Upper-casing of ASCII letters only, so that no other character can turn into
// (or out of) ".PDB" through a locale's case rules.
QString AsciiUpper(const QString& text) {
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return upper;
}
} // namespace

TLodvarConnection::TLodvarConnection(QString AUserBinDir, TDbConnection& Acnn)
    : FUserBinDir(std::move(AUserBinDir)), Fcnn(&Acnn) {}

void TLodvarConnection::SetPortNumber(int APort) {
    FPort = (APort >= 1 && APort <= 65534) ? APort : 5432;
}

bool TLodvarConnection::LoadByAlias(const QString& ADBAlias, bool AIgnore) {
    try {
        QString fileName;
        QString alias;
        const qsizetype at = AsciiUpper(ADBAlias).indexOf(QStringLiteral(".PDB"));
        if (at >= 0) {
            fileName = FUserBinDir + ADBAlias;
            alias = ADBAlias.left(at);
        } else {
            fileName = ConnectionFileName(FUserBinDir, ADBAlias);
            alias = ADBAlias;
        }
        if (Os::FileExists(fileName) || Os::DirectoryExists(fileName)) {
            const TIniFile file(fileName);
            // Values read from a file that cannot be read would all be the placeholders,
            // and a probe would then look up "need_to_edit_server".
            if (!file.CanRead())
                throw Exception(QStringLiteral("DB settings file ") + fileName +
                                QStringLiteral(" for alias ") + ADBAlias +
                                QStringLiteral(" cannot be read."));
            FAlias = alias;
            Fserver = ReadKey(file, ConnectionFile::Server);
            SetPortNumber(ReadKey(file, ConnectionFile::Port));
            FDBname = ReadKey(file, ConnectionFile::DbName);
            FDBUserName = ReadKey(file, ConnectionFile::DbUserName);
            return true;
        }
        if (AIgnore)
            return true;
        throw Exception(QStringLiteral("DB settings file ") + fileName +
                        QStringLiteral(" for alias ") + ADBAlias + QStringLiteral(" not found."));
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("Error in LoadByAlias: ") + e.Message() + QStringLiteral("\r0"));
        return false;
    }
}

bool TLodvarConnection::SaveByAlias(const QString& ADBAlias) const {
    const TIniFile file(ConnectionFileName(FUserBinDir, ADBAlias));
    WriteKey(file, ConnectionFile::Server, Fserver);
    WriteKey(file, ConnectionFile::Port, FPort);
    WriteKey(file, ConnectionFile::DbName, FDBname);
    WriteKey(file, ConnectionFile::DbUserName, FDBUserName);
    WriteKey(file, ConnectionFile::DbPassword, EncryptStr(FdbPasswd, SystemPassPhrase()));
    return true;
}

bool TLodvarConnection::CheckServerPort(const QString& AServer, int APort) {
    return ProbeTcpPort(AServer, APort);
}

bool TLodvarConnection::Connect() {
    if (!CheckServerPort(Fserver, FPort))
        throw Exception(QStringLiteral("PostgreSQL Server: could not connect to  ") + Fserver +
                        QStringLiteral(" on port ") + QString::number(FPort));
    try {
        Fcnn->SetConnected(false);
        Fcnn->SetServer(Fserver);
        Fcnn->SetPortNumber(FPort);
        Fcnn->SetDatabase(FDBname);
        Fcnn->SetUsername(FDBUserName);
        Fcnn->SetPassword(QString::fromLatin1(SiteConfig::ProfilePassword));
        Fcnn->SetConnected(true);
    } catch (const EDatabaseError&) {
        return false;
    }
    return Fcnn->Connected();
}
