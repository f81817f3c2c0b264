#include "config/SettingsFiles.h"

#include "platform/OsServices.h"

QString MainSettingsFileName(const QString& userBinDir) {
    return userBinDir + MainSettings::FileName;
}

QString ConnectionFileName(const QString& userBinDir, const QString& alias) {
    return userBinDir + alias + ConnectionFile::FileExtension;
}

QString ReadKey(const TIniFile& file, const TIniTextKey& key) {
    return file.ReadString(key.Section, key.Name, key.Default);
}

int ReadKey(const TIniFile& file, const TIniIntegerKey& key) {
    return file.ReadInteger(key.Section, key.Name, key.Default);
}

bool ReadKey(const TIniFile& file, const TIniBoolKey& key) {
    return file.ReadBool(key.Section, key.Name, key.Default);
}

void WriteKey(const TIniFile& file, const TIniTextKey& key, const QString& value) {
    file.WriteString(key.Section, key.Name, value);
}

void WriteKey(const TIniFile& file, const TIniIntegerKey& key, int value) {
    file.WriteInteger(key.Section, key.Name, value);
}

QString UserBinDirUnder(const QString& localAppDataFolder) {
    const QChar d = Os::PathDelimiter();
    return localAppDataFolder + d + QStringLiteral("KAVEX") + d + QStringLiteral("Lodvar") + d;
}
