// Free utility functions: the stored-password cipher of the settings files, the
// first main settings file, and environment expansion.
#pragma once

#include <QByteArray>
#include <QString>

// The system's pass phrase, the only key used with EncryptStr and DecryptStr.
QString SystemPassPhrase();

// Stored-password text of a password: AES-192 in CFB-8 over the password's UTF-16 LE
// bytes, Base64 encoded. Key: SHA-1 of the pass phrase's UTF-16 LE bytes followed
// by four zero bytes; initial vector: the key's encryption of a zero block. The
// same password and pass phrase always give the same text; empty gives empty.
// Raises Exception only if the crypto library itself fails, never for a text.
QString EncryptStr(const QString& text, const QString& passPhrase);

// The password of a stored-password text. Never fails: a damaged text or a wrong
// pass phrase gives a wrong text; an odd last decoded byte is dropped.
QString DecryptStr(const QString& text, const QString& passPhrase);

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
QString EncodeBase64(const QByteArray& bytes);

// The stored-password decoding: groups of 4 alphabet characters, each giving 3
// bytes, 2 when its fourth character is "=", 1 when its third is "="; characters
// after the last whole group are ignored, and characters outside the alphabet are
// skipped.
QByteArray DecodeBase64(const QString& text);

// Writes [LOCALE] LANG = "1033" to a new main settings file when no file exists
// under the name (links followed); the folder must exist. An existing file is left
// untouched. A refused write raises Exception "Unable to write to <file name>".
void CreateDefaultSettingsFile(const QString& fileName);

// Expands %NAME% references (undefined ones stay as written) and removes every
// character with a code of 32 or less from the end of the result.
QString ExpandEnvStr(const QString& text);
