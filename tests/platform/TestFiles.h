// Small helpers for tests that work on real files in a throwaway folder.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

inline void WriteFileBytes(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray ReadFileBytes(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << fileName.toStdString();
        return {};
    }
    return file.readAll();
}

// UTF-16 LE bytes of a text, without a byte-order mark.
inline QByteArray Utf16Le(const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

// Sets (or, with nullopt, removes) an environment variable for its lifetime.
class TScopedEnv {
public:
    TScopedEnv(const char* name, std::optional<QString> value) : FName(name) {
        if (const char* old = std::getenv(name)) {
            FOld = std::string(old);
        }
        if (value) {
            ::setenv(name, value->toLocal8Bit().constData(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~TScopedEnv() {
        if (FOld) {
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        } else {
            ::unsetenv(FName.c_str());
        }
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

// A fresh folder; Path() ends with "/".
class TTempFolder {
public:
    TTempFolder() { EXPECT_TRUE(FDir.isValid()); }
    QString Path() const { return FDir.path() + QLatin1Char('/'); }
    QString File(const char* name) const { return Path() + QString::fromUtf8(name); }

private:
    QTemporaryDir FDir;
};
