// Feeds arbitrary bytes to LoadByAlias as a connection file. A small regular file
// always loads, without a message: the port lies within 1..65534 and every value is
// the one the INI service reads from the file (or its placeholder default).
#include "FuzzSupport.h"
#include "config/SettingsFiles.h"
#include "config/uLodvarClasses.h"
#include "data/uDbConnection.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString& Folder() {
    static const QTemporaryDir folder;
    static const QString path = folder.path() + QLatin1Char('/');
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString fileName = Folder() + QStringLiteral("fuzz.pdb");
    {
        QFile file(fileName);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    const TIniFile ini(fileName);
    TDbConnection cnn;
    // Both spellings of an alias name the same file.
    for (const QString& alias : {QStringLiteral("fuzz"), QStringLiteral("fuzz.pdb")}) {
        TLodvarConnection profile(Folder(), cnn);
        const MessageRecorder messages;
        Require(profile.LoadByAlias(alias, false));
        Require(messages.Messages().isEmpty());
        Require(profile.Alias() == QStringLiteral("fuzz"));
        Require(profile.Port() >= 1 && profile.Port() <= 65534);
        Require(profile.server() == ReadKey(ini, ConnectionFile::Server));
        Require(profile.DBName() == ReadKey(ini, ConnectionFile::DbName));
        Require(profile.DBUserName() == ReadKey(ini, ConnectionFile::DbUserName));
        const int port = ReadKey(ini, ConnectionFile::Port);
        Require(profile.Port() == (port >= 1 && port <= 65534 ? port : 5432));
    }
    return 0;
}
