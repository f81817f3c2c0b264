#include "CryptOracle.h"

#include <QCryptographicHash>
#include <crypt.h>
#include <memory>

QString CryptR(const QByteArray& password, const QString& setting) {
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(password.constData(), setting.toLatin1().constData(), data.get());
    if (result == nullptr || result[0] == '*') {
        return {};
    }
    return QString::fromLatin1(result);
}

QString EnhancedByOracle(const QString& password, const QString& version, int cost,
                         const QString& saltText) {
    QByteArray key = password.toUtf8();
    if (!key.isEmpty()) {
        key.append('\0');
    }
    const QByteArray prehash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    const QString standard = CryptR(
        prehash, QStringLiteral("$2b$%1$%2").arg(cost, 2, 10, QLatin1Char('0')).arg(saltText));
    return QStringLiteral("$bcrypt-sha256$%1,%2$%3$%4")
        .arg(version, QString::number(cost), saltText, standard.right(31));
}
