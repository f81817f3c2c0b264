// The INI-file service: private-profile style reads and writes of one settings
// file, named by its full path. Every operation opens the file afresh; nothing is
// held open and nothing is cached between calls.
//
// Reading rules:
// - a section line is "[" name "]"; a key line is key "=" value; lines that begin
//   with ";" are comments; section and key names match without regard to case;
// - a value loses its surrounding blanks and one pair of enclosing quotes (both
//   single or both double), and at most MaxValueLength characters of it are given;
// - lines end at a line feed; a carriage return before it, or at the end of the
//   file, belongs to no value;
// - a missing file, section or key, a key line without "=", or text that cannot be
//   read gives the caller's default; so does a file larger than MaxFileSize, or one
//   that is no regular file;
// - integers: decimal, or hexadecimal after "$", or after "0x"/"0X" when the text
//   is longer than two characters; anything else gives the default;
// - Booleans: an integer, 0 false, any other number true.
//
// Encodings: a file that begins with the UTF-16 LE byte-order mark is read and
// written in UTF-16 LE, one that begins with the UTF-8 mark in UTF-8; any other file
// and every new file are in the system's narrow encoding (UTF-8 on Linux).
//
// Writing keeps every other line of the file byte for byte, in its order, and
// replaces the file atomically (a temporary file in the same folder, then a
// rename), so a failed write leaves the old file whole, and keeps the file's mode;
// a file it creates is readable and writable by its owner only. A refused write
// raises Exception "Unable to write to <file name>".
#pragma once

#include <QString>
#include <QtGlobal>

class TIniFile {
public:
    static constexpr int MaxValueLength = 2047;        // UTF-16 code units
    static constexpr qint64 MaxFileSize = 1024 * 1024; // bytes; settings files are small

    explicit TIniFile(QString fileName);

    const QString& FileName() const noexcept { return FFileName; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // True when the file is a regular file (links followed) of at most MaxFileSize
    // bytes that this process can open for reading: one the reads take values from.
    bool CanRead() const;

    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // Creates the file (its folder must exist), the section or the key as needed.
    // Line breaks inside the names or the value are written as blanks, so that a
    // value can never add lines of its own to the file.
    void WriteString(const QString& section, const QString& key, const QString& value) const;
    // Written as plain decimal text.
    void WriteInteger(const QString& section, const QString& key, int value) const;

private:
    QString FFileName;
};
