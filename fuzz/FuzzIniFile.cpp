// Feeds arbitrary bytes to the INI service as a settings file, in the narrow encoding,
// in UTF-8 with its mark and in UTF-16 LE with its mark. No read may fail; a value
// written must read back exactly, and every other key must read as before.
#include "FuzzSupport.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <array>

namespace {

// A few names in both letter cases, so that reads and the write meet the file's lines.
const std::array<QString, 4> Sections{QStringLiteral("S"), QStringLiteral("s"), QStringLiteral("T"),
                                      QStringLiteral("Login")};
const std::array<QString, 4> Keys{QStringLiteral("k"), QStringLiteral("K"), QStringLiteral("j"),
                                  QStringLiteral("Login")};
// No value the file can hold: it tells a missing key from any value.
const QString Missing = QStringLiteral("\n");

const QString& FileName() {
    static const QTemporaryDir folder;
    static const QString name = folder.path() + QStringLiteral("/fuzz.ini");
    return name;
}

// A value the file holds exactly as given: bytes of the input as Latin-1 text without
// control characters, between two letters so that no blank or quote stands at an end.
QString WritableValue(const std::uint8_t* data, std::size_t size) {
    QString value = QStringLiteral("v");
    for (std::size_t i = 0; i < size && i < 64; ++i) {
        value += data[i] < 0x20 || data[i] == 0x7F ? QLatin1Char('_') : QLatin1Char(char(data[i]));
    }
    return value + QLatin1Char('v');
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static const QByteArray marks[] = {QByteArray(), QByteArray("\xEF\xBB\xBF"),
                                       QByteArray("\xFF\xFE")};
    const QByteArray bytes =
        marks[data[0] % 3] +
        QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    {
        QFile file(FileName());
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(file.write(bytes) == bytes.size());
    }
    const TIniFile ini(FileName());
    QString before[Sections.size()][Keys.size()];
    for (std::size_t s = 0; s < Sections.size(); ++s) {
        for (std::size_t k = 0; k < Keys.size(); ++k) {
            before[s][k] = ini.ReadString(Sections[s], Keys[k], Missing);
            Require(ini.ReadBool(Sections[s], Keys[k], false) ==
                    (ini.ReadInteger(Sections[s], Keys[k], 0) != 0));
        }
    }

    const QString& section = Sections[data[0] / 3 % Sections.size()];
    const QString& key = Keys[size % Keys.size()];
    const QString value = WritableValue(data + 1, size - 1);
    ini.WriteString(section, key, value);
    Require(ini.ReadString(section, key, Missing) == value);
    for (std::size_t s = 0; s < Sections.size(); ++s) {
        for (std::size_t k = 0; k < Keys.size(); ++k) {
            if (!(SameName(Sections[s], section) && SameName(Keys[k], key))) {
                Require(ini.ReadString(Sections[s], Keys[k], Missing) == before[s][k]);
            }
        }
    }
    return 0;
}
