// The properties store of a window: chosen properties of its components, read from a
// state file when the window is created and written back when it is destroyed.
//
// The file is INI text in UTF-8 (with a byte-order mark, so that the INI service reads
// it as UTF-8 on every system): a section "Main" with Version=2, then one section per
// component, headed "<objectName>: <class name>", with one key per property, named after
// the property. Each property has a codec: its text as written (empty: not written)
// and a setter that refuses text it cannot use. Reading never fails: a missing file,
// section or key, or text a setter refuses, leaves that property as it is.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class TPropertiesStore : public QObject {
    Q_OBJECT

public:
    static constexpr int Version = 2;

    // The store's objectName is also the file's name, in the current directory.
    explicit TPropertiesStore(const QString& name, QObject* parent = nullptr);

    using TReader = std::function<QString()>;
    using TWriter = std::function<bool(const QString& text)>;
    void Add(QObject* component, const QString& property, TReader read, TWriter write);

    // "<objectName>: <class name>" of a component.
    static QString SectionName(const QObject& component);
    // The state file: the store's name in the current directory.
    QString FileName() const;

    // Sets each property whose text the file holds and its setter takes; returns how
    // many were set.
    int RestoreFrom(const QString& fileName) const;
    // Replaces the file with every property that has a value. Raises Exception when the
    // file cannot be written; the former file then stays whole.
    void StoreTo(const QString& fileName) const;

private:
    struct TProperty {
        QObject* Component;
        QString Name;
        TReader Read;
        TWriter Write;
    };
    std::vector<TProperty> FProperties;
};
