#include "ui/uPropertiesStore.h"

#include "platform/Exceptions.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QSaveFile>

TPropertiesStore::TPropertiesStore(const QString& name, QObject* parent) : QObject(parent) {
    setObjectName(name);
}

void TPropertiesStore::Add(QObject* component, const QString& property, TReader read,
                           TWriter write) {
    FProperties.push_back({component, property, std::move(read), std::move(write)});
}

QString TPropertiesStore::SectionName(const QObject& component) {
    return component.objectName() + QStringLiteral(": ") +
           QString::fromLatin1(component.metaObject()->className());
}

QString TPropertiesStore::FileName() const {
    return QDir::current().filePath(objectName());
}

int TPropertiesStore::RestoreFrom(const QString& fileName) const {
    if (!QFileInfo(fileName).isFile())
        return 0;
    const TIniFile ini(fileName);
    // A key that is missing reads as this text, which no property accepts.
    const QString missing = QStringLiteral("\x01");
    int set = 0;
    for (const TProperty& p : FProperties) {
        const QString text = ini.ReadString(SectionName(*p.Component), p.Name, missing);
        if (text != missing && p.Write(text))
            ++set;
    }
    return set;
}

void TPropertiesStore::StoreTo(const QString& fileName) const {
    // Each value goes on one line of its own, whatever it holds.
    const auto oneLine = [](QString text) {
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return text;
    };
    QString text = QStringLiteral("[Main]\r\nVersion=%1\r\n").arg(Version);
    QString section;
    for (const TProperty& p : FProperties) {
        const QString value = p.Read();
        if (value.isEmpty())
            continue;
        const QString name = SectionName(*p.Component);
        if (name != section) {
            text += QStringLiteral("\r\n[%1]\r\n").arg(oneLine(name));
            section = name;
        }
        text += oneLine(p.Name) + QLatin1Char('=') + oneLine(value) + QStringLiteral("\r\n");
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write("\xEF\xBB\xBF") != 3 ||
        file.write(text.toUtf8()) < 0 || !file.commit())
        throw Exception(QStringLiteral("Unable to write to %1").arg(fileName));
}
