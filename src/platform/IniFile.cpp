#include "platform/IniFile.h"

#include "platform/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

enum class TTextEncoding { Narrow, Utf8, Utf16Le };

#ifdef Q_OS_WIN
const QString NativeLineBreak = QStringLiteral("\r\n");
#else
const QString NativeLineBreak = QStringLiteral("\n");
#endif

// One line of the file: its bytes as found (terminator included) and its text
// without the terminator. Lines that are not changed are written back from raw.
struct TLine {
    QByteArray Raw;
    QString Text;
    bool Terminated = false;
};

// The whole file, split so that it can be written back unchanged but for one line.
struct TDocument {
    TTextEncoding Encoding = TTextEncoding::Narrow;
    QByteArray Mark;   // byte-order mark, kept as found
    QByteArray Tail;   // the odd last byte of a UTF-16 file
    QString LineBreak; // the file's own line break, used for lines added
    std::vector<TLine> Lines;
};

QString Decode(TTextEncoding encoding, const QByteArray& bytes) {
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

// Splits the bytes after the mark into lines at each line feed; a carriage return
// before it belongs to the terminator.
void SplitLines(TDocument& doc, const QByteArray& body) {
    const qsizetype unit = doc.Encoding == TTextEncoding::Utf16Le ? 2 : 1;
    const qsizetype usable = body.size() - body.size() % unit;
    doc.Tail = body.mid(usable);
    qsizetype start = 0;
    for (qsizetype pos = 0; pos < usable; pos += unit) {
        const bool lineFeed = body[pos] == '\n' && (unit == 1 || body[pos + 1] == '\0');
        if (!lineFeed && pos + unit < usable) {
            continue;
        }
        TLine line;
        line.Raw = body.mid(start, pos + unit - start);
        line.Terminated = lineFeed;
        line.Text = Decode(doc.Encoding, line.Raw);
        if (lineFeed) {
            line.Text.chop(1);
            if (line.Text.endsWith(QLatin1Char('\r'))) {
                line.Text.chop(1);
            }
        }
        doc.Lines.push_back(std::move(line));
        start = pos + unit;
    }
}

QString DetectLineBreak(const TDocument& doc) {
    for (const TLine& line : doc.Lines) {
        if (line.Terminated) {
            const QString text = Decode(doc.Encoding, line.Raw);
            return text.endsWith(QLatin1String("\r\n")) ? QStringLiteral("\r\n")
                                                        : QStringLiteral("\n");
        }
    }
    return NativeLineBreak;
}

TDocument Parse(const QByteArray& bytes) {
    TDocument doc;
    QByteArray body = bytes;
    if (bytes.startsWith(Utf16LeBom)) {
        doc.Encoding = TTextEncoding::Utf16Le;
        doc.Mark = Utf16LeBom;
    } else if (bytes.startsWith(Utf8Bom)) {
        doc.Encoding = TTextEncoding::Utf8;
        doc.Mark = Utf8Bom;
    }
    body.remove(0, doc.Mark.size());
    SplitLines(doc, body);
    doc.LineBreak = DetectLineBreak(doc);
    return doc;
}

std::optional<QByteArray> ReadBytes(const QString& fileName) {
    // Only regular files: opening a FIFO would block, reading a device never end.
    if (!QFileInfo(fileName).isFile()) {
        return std::nullopt;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
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
    for (const TLine& line : doc.Lines) {
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

TLine MakeLine(const TDocument& doc, const QString& text) {
    TLine line;
    line.Text = text;
    line.Raw = Encode(doc.Encoding, text + doc.LineBreak);
    line.Terminated = true;
    return line;
}

// Gives the last line a terminator before another line is put after it.
void TerminateLine(const TDocument& doc, TLine& line) {
    if (!line.Terminated) {
        line.Raw += Encode(doc.Encoding, doc.LineBreak);
        line.Terminated = true;
    }
}

void InsertLine(TDocument& doc, std::size_t index, const QString& text) {
    if (index > 0) {
        TerminateLine(doc, doc.Lines[index - 1]);
    }
    doc.Lines.insert(doc.Lines.begin() + static_cast<std::ptrdiff_t>(index), MakeLine(doc, text));
}

void SetValue(TDocument& doc, const QString& section, const QString& key, const QString& value) {
    bool inSection = false;
    std::optional<std::size_t> insertAt; // after the last key line of the first matching section
    bool firstSectionDone = false;
    for (std::size_t i = 0; i < doc.Lines.size(); ++i) {
        TLine& line = doc.Lines[i];
        const TLineMeaning meaning = Classify(line.Text);
        if (meaning.Kind == TLineKind::Section) {
            if (inSection) {
                firstSectionDone = true;
            }
            inSection = SameName(meaning.Name, section);
            if (inSection && !insertAt) {
                insertAt = i + 1;
            }
        } else if (inSection && meaning.Kind == TLineKind::Key) {
            if (SameName(meaning.Name, key)) {
                // The line keeps its own terminator (or its lack of one).
                const QString terminator = Decode(doc.Encoding, line.Raw).sliced(line.Text.size());
                line.Text = meaning.Name.toString() + QLatin1Char('=') + value;
                line.Raw = Encode(doc.Encoding, line.Text + terminator);
                return;
            }
            if (!firstSectionDone) {
                insertAt = i + 1;
            }
        }
    }
    const QString keyLine = key + QLatin1Char('=') + value;
    if (insertAt) {
        InsertLine(doc, *insertAt, keyLine);
        return;
    }
    if (!doc.Lines.empty() && !doc.Lines.back().Text.isEmpty()) {
        InsertLine(doc, doc.Lines.size(), QString());
    }
    InsertLine(doc, doc.Lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
    InsertLine(doc, doc.Lines.size(), keyLine);
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

void WriteDocument(const QString& fileName, const QString& target, const TDocument& doc) {
    QByteArray bytes = doc.Mark;
    for (const TLine& line : doc.Lines) {
        bytes += line.Raw;
    }
    bytes += doc.Tail;
    QSaveFile file(target);
    // Unbuffered: a short write (disk full, size limit) shows in write()'s count;
    // through the buffer it would be lost at the flush and a cut file committed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        RaiseWriteError(fileName);
    }
    const QFileInfo old(target);
    if (old.exists()) {
        file.setPermissions(old.permissions());
    }
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
    const std::optional<QByteArray> bytes = ReadBytes(FFileName);
    if (!bytes) {
        return defaultValue;
    }
    return FindValue(Parse(*bytes), section, key).value_or(defaultValue);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QByteArray> bytes = ReadBytes(FFileName);
    if (!bytes) {
        return defaultValue;
    }
    const std::optional<QString> text = FindValue(Parse(*bytes), section, key);
    if (!text) {
        return defaultValue;
    }
    return ParseInteger(*text).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) const {
    const QString target = WriteTarget(FFileName);
    const QFileInfo info(target);
    TDocument doc;
    if (info.exists()) {
        const std::optional<QByteArray> bytes = ReadBytes(target);
        // A file that cannot be read (or is no file) must not be replaced by one line.
        if (!bytes || !info.isFile() || !info.isWritable()) {
            RaiseWriteError(FFileName);
        }
        doc = Parse(*bytes);
    } else {
        doc.LineBreak = NativeLineBreak;
    }
    SetValue(doc, OneLine(section), OneLine(key), OneLine(value));
    WriteDocument(FFileName, target, doc);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) const {
    WriteString(section, key, QString::number(value));
}
