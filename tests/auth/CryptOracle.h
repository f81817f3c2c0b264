// The system's crypt library (libxcrypt) as an independent reference for bcrypt.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// crypt_r of password bytes (no zero byte inside) with a setting such as
// "$2b$04$<22 salt characters>"; the full hash string, or an empty one on failure.
QString CryptR(const QByteArray& password, const QString& setting);

// The enhanced form built independently: SHA-256 (Qt's) of the UTF-8 text and its zero
// byte, in Base64, hashed by crypt_r as a "$2b$" password.
QString EnhancedByOracle(const QString& password, const QString& version, int cost,
                         const QString& saltText);
