#include "platform/IniFile.h"

#include "platform/Exceptions.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

enum class TTextEncoding { Narrow, Utf8, Utf16Le };

#ifdef Q_OS_WIN
const QString NativeLineBreak = QStringLiteral("\r\n");
#else
const QString NativeLineBreak = QStringLiteral("\n");
#endif

// The file as read: its bytes and the encoding its mark tells. The text lies between
// Begin (after the mark) and End (before the odd last byte a UTF-16 file may have,
// which stays last, as found).
struct TDocument {
    QByteArray Bytes;
    TTextEncoding Encoding = TTextEncoding::Narrow;
    qsizetype Begin = 0;
    qsizetype End = 0;

    qsizetype Unit() const { return Encoding == TTextEncoding::Utf16Le ? 2 : 1; }
};

QString Decode(TTextEncoding encoding, QByteArrayView bytes) {
    switch (encoding) {
    case TTextEncoding::Utf16Le: {
        QString text(bytes.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto lo = static_cast<unsigned char>(bytes[2 * i]);
            const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
            text[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
        }
        return text;
    }
    case TTextEncoding::Utf8:
        return QString::fromUtf8(bytes);
    case TTextEncoding::Narrow:
        break;
    }
    return QString::fromLocal8Bit(bytes);
}

QByteArray Encode(TTextEncoding encoding, const QString& text) {
    switch (encoding) {
    case TTextEncoding::Utf16Le: {
        QByteArray bytes(text.size() * 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i].unicode();
            bytes[2 * i] = static_cast<char>(unit & 0xFF);
            bytes[2 * i + 1] = static_cast<char>(unit >> 8);
        }
        return bytes;
    }
    case TTextEncoding::Utf8:
        return text.toUtf8();
    case TTextEncoding::Narrow:
        break;
    }
    return text.toLocal8Bit();
}

TDocument Parse(QByteArray bytes) {
    TDocument doc;
    if (bytes.startsWith(Utf16LeBom)) {
        doc.Encoding = TTextEncoding::Utf16Le;
        doc.Begin = Utf16LeBom.size();
    } else if (bytes.startsWith(Utf8Bom)) {
        doc.Encoding = TTextEncoding::Utf8;
        doc.Begin = Utf8Bom.size();
    }
    doc.End = bytes.size() - (bytes.size() - doc.Begin) % doc.Unit();
    doc.Bytes = std::move(bytes);
    return doc;
}

// One line as offsets into the document's bytes: its text runs from Begin to TextEnd
// (without the line feed and a carriage return before it or at the end of the file),
// its bytes to End (terminator included).
struct TLine {
    qsizetype Begin = 0;
    qsizetype TextEnd = 0;
    qsizetype End = 0;
    bool Terminated = false; // ends in a line feed
    QString Text;
};

// Walks the lines of a document in place; only the current line is decoded, so a
// read costs the file's bytes and one line, whatever the number of lines.
class TLineReader {
public:
    explicit TLineReader(const TDocument& doc) : FDoc(doc), FPos(doc.Begin) {}

    bool Next(TLine& line) {
        if (FPos >= FDoc.End) {
            return false;
        }
        const qsizetype unit = FDoc.Unit();
        const qsizetype lineFeed = FindUnit(FPos, '\n');
        line.Begin = FPos;
        line.Terminated = lineFeed < FDoc.End;
        line.TextEnd = lineFeed;
        line.End = line.Terminated ? lineFeed + unit : FDoc.End;
        if (line.TextEnd > line.Begin && IsUnit(line.TextEnd - unit, '\r')) {
            line.TextEnd -= unit;
        }
        line.Text =
            Decode(FDoc.Encoding,
                   QByteArrayView(FDoc.Bytes).sliced(line.Begin, line.TextEnd - line.Begin));
        FPos = line.End;
        return true;
    }

private:
    bool IsUnit(qsizetype pos, char c) const {
        return FDoc.Bytes[pos] == c && (FDoc.Unit() == 1 || FDoc.Bytes[pos + 1] == '\0');
    }

    // Offset of the next code unit c from pos on, or End.
    qsizetype FindUnit(qsizetype pos, char c) const {
        if (FDoc.Unit() == 1) {
            const qsizetype found = QByteArrayView(FDoc.Bytes).first(FDoc.End).indexOf(c, pos);
            return found < 0 ? FDoc.End : found;
        }
        while (pos < FDoc.End && !IsUnit(pos, c)) {
            pos += 2;
        }
        return pos;
    }

    const TDocument& FDoc;
    qsizetype FPos;
};

// The file's own line break (that of its first terminated line), used for lines added.
QString DetectLineBreak(const TDocument& doc) {
    TLineReader reader(doc);
    TLine line;
    while (reader.Next(line)) {
        if (line.Terminated) {
            return line.End - line.TextEnd == 2 * doc.Unit() ? QStringLiteral("\r\n")
                                                             : QStringLiteral("\n");
        }
    }
    return NativeLineBreak;
}

// Only regular files, and only small ones: opening a FIFO would block, reading a
// device never end, and a huge file is no settings file.
bool OpenForReading(QFile& file) {
    const QFileInfo info(file.fileName());
    return info.isFile() && info.size() <= TIniFile::MaxFileSize && file.open(QIODevice::ReadOnly);
}

std::optional<QByteArray> ReadBytes(const QString& fileName) {
    QFile file(fileName);
    if (!OpenForReading(file)) {
        return std::nullopt;
    }
    // One byte more than the size found tells a file that grew past the limit since.
    QByteArray bytes = file.read(std::min(file.size(), TIniFile::MaxFileSize) + 1);
    if (bytes.size() > TIniFile::MaxFileSize) {
        return std::nullopt;
    }
    return bytes;
}

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView TrimBlanks(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.mid(first, last - first);
}

enum class TLineKind { Other, Section, Key };

// What a line of the file says: a section with its name, or a key with its name
// and raw value. Comments, a "[" without "]" and a key without "=" say nothing.
struct TLineMeaning {
    TLineKind Kind = TLineKind::Other;
    QStringView Name;
    QStringView Value;
};

TLineMeaning Classify(const QString& text) {
    const QStringView line = TrimBlanks(text);
    TLineMeaning meaning;
    if (line.startsWith(QLatin1Char('['))) {
        const qsizetype close = line.indexOf(QLatin1Char(']'));
        if (close > 0) {
            meaning.Kind = TLineKind::Section;
            meaning.Name = TrimBlanks(line.mid(1, close - 1));
        }
        return meaning;
    }
    if (line.startsWith(QLatin1Char(';'))) {
        return meaning;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals >= 0) {
        meaning.Kind = TLineKind::Key;
        meaning.Name = TrimBlanks(line.first(equals));
        meaning.Value = line.mid(equals + 1);
    }
    return meaning;
}

bool SameName(QStringView a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString CleanValue(QStringView raw) {
    QStringView value = TrimBlanks(raw);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))) {
        value = value.mid(1, value.size() - 2);
    }
    if (value.size() > TIniFile::MaxValueLength) {
        value.truncate(TIniFile::MaxValueLength);
        // Never hand out half of a surrogate pair.
        if (value.back().isHighSurrogate()) {
            value.chop(1);
        }
    }
    return value.toString();
}

std::optional<QString> FindValue(const TDocument& doc, const QString& section, const QString& key) {
    bool inSection = false;
    TLineReader reader(doc);
    TLine line;
    while (reader.Next(line)) {
        const TLineMeaning meaning = Classify(line.Text);
        if (meaning.Kind == TLineKind::Section) {
            inSection = SameName(meaning.Name, section);
        } else if (inSection && meaning.Kind == TLineKind::Key && SameName(meaning.Name, key)) {
            return CleanValue(meaning.Value);
        }
    }
    return std::nullopt;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

std::optional<int> ParseHex(QStringView digits) {
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const QChar c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    // Eight hex digits are a 32-bit pattern: "$FFFFFFFF" reads as -1.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::optional<int> ParseDecimal(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == QLatin1Char('-') || text.front() == QLatin1Char('+'))) {
        negative = text.front() == QLatin1Char('-');
        text = text.mid(1);
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::int64_t{INT32_MAX} + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> ParseInteger(QStringView text) {
    if (text.size() > 2 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        return ParseHex(text.mid(2));
    }
    if (text.startsWith(QLatin1Char('$'))) {
        return ParseHex(text.mid(1));
    }
    return ParseDecimal(text);
}

QString OneLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// The document's bytes with lines put in after the line before (or at the start),
// each ended by the line break. A line before them without a terminator gets one
// first: a line feed alone when it ends in a carriage return already, which then
// stays no part of its value.
QByteArray Spliced(const TDocument& doc, const std::optional<TLine>& before,
                   const QStringList& lines, const QString& lineBreak) {
    const qsizetype at = before ? before->End : doc.Begin;
    QByteArray bytes = doc.Bytes.first(at);
    if (before && !before->Terminated) {
        bytes +=
            Encode(doc.Encoding, before->TextEnd < before->End ? QStringLiteral("\n") : lineBreak);
    }
    for (const QString& line : lines) {
        bytes += Encode(doc.Encoding, line + lineBreak);
    }
    bytes += QByteArrayView(doc.Bytes).sliced(at);
    return bytes;
}

// The file's bytes with the key set: its first line in the section replaced (keeping
// its terminator, or its lack of one), else a line added after the last key line of
// the first such section, else the section added at the end.
QByteArray WithValue(const TDocument& doc, const QString& section, const QString& key,
                     const QString& value) {
    const QString lineBreak = DetectLineBreak(doc);
    bool inSection = false;
    bool firstSectionDone = false;
    std::optional<TLine> insertAfter;
    std::optional<TLine> last;
    TLineReader reader(doc);
    TLine line;
    while (reader.Next(line)) {
        const TLineMeaning meaning = Classify(line.Text);
        if (meaning.Kind == TLineKind::Section) {
            if (inSection) {
                firstSectionDone = true;
            }
            inSection = SameName(meaning.Name, section);
            if (inSection && !insertAfter) {
                insertAfter = line;
            }
        } else if (inSection && meaning.Kind == TLineKind::Key) {
            if (SameName(meaning.Name, key)) {
                QByteArray bytes = doc.Bytes.first(line.Begin);
                bytes += Encode(doc.Encoding, meaning.Name.toString() + QLatin1Char('=') + value);
                bytes += QByteArrayView(doc.Bytes).sliced(line.TextEnd);
                return bytes;
            }
            if (!firstSectionDone) {
                insertAfter = line;
            }
        }
        last = line;
    }
    const QString keyLine = key + QLatin1Char('=') + value;
    if (insertAfter) {
        return Spliced(doc, insertAfter, {keyLine}, lineBreak);
    }
    QStringList added;
    if (last && !last->Text.isEmpty()) {
        added.append(QString());
    }
    added.append(QLatin1Char('[') + section + QLatin1Char(']'));
    added.append(keyLine);
    return Spliced(doc, last, added, lineBreak);
}

[[noreturn]] void RaiseWriteError(const QString& fileName) {
    throw Exception(QStringLiteral("Unable to write to %1").arg(fileName));
}

// The file that a write replaces: the target of a link, so that the link stays.
QString WriteTarget(const QString& fileName) {
    const QFileInfo info(fileName);
    if (info.isSymLink() && info.exists()) {
        return info.canonicalFilePath();
    }
    return fileName;
}

void WriteBytes(const QString& fileName, const QString& target, const QByteArray& bytes) {
    QSaveFile file(target);
    // Unbuffered: a short write (disk full, size limit) shows in write()'s count;
    // through the buffer it would be lost at the flush and a cut file committed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        RaiseWriteError(fileName);
    }
    // A file written again keeps its mode; a new one is its owner's alone, as it may
    // hold a stored password.
    // (The "user" bits say what this process may do, not the mode: they are left out.)
    const QFileInfo old(target);
    const QFileDevice::Permissions userBits =
        QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    file.setPermissions(old.exists() ? old.permissions() & ~userBits
                                     : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
    }
    if (!file.commit()) {
        RaiseWriteError(fileName);
    }
}

} // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    std::optional<QByteArray> bytes = ReadBytes(FFileName);
    if (!bytes) {
        return defaultValue;
    }
    return FindValue(Parse(std::move(*bytes)), section, key).value_or(defaultValue);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    std::optional<QByteArray> bytes = ReadBytes(FFileName);
    if (!bytes) {
        return defaultValue;
    }
    const std::optional<QString> text = FindValue(Parse(std::move(*bytes)), section, key);
    if (!text) {
        return defaultValue;
    }
    return ParseInteger(*text).value_or(defaultValue);
}

bool TIniFile::CanRead() const {
    QFile file(FFileName);
    return OpenForReading(file);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) const {
    const QString target = WriteTarget(FFileName);
    const QFileInfo info(target);
    TDocument doc;
    if (info.exists()) {
        std::optional<QByteArray> bytes = ReadBytes(target);
        // A file that cannot be read (or is no file) must not be replaced by one line.
        if (!bytes || !info.isFile() || !info.isWritable()) {
            RaiseWriteError(FFileName);
        }
        doc = Parse(std::move(*bytes));
    }
    WriteBytes(FFileName, target, WithValue(doc, OneLine(section), OneLine(key), OneLine(value)));
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) const {
    WriteString(section, key, QString::number(value));
}
