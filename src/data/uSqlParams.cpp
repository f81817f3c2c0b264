#include "data/uSqlParams.h"

namespace {

// As the server's lexer: ASCII letters, "_" and every character above U+007F start a
// name or a dollar-quote tag; ASCII digits may follow.
bool IsNameStart(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_' || u > 0x7F;
}
bool IsNameChar(QChar c) {
    return IsNameStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}
bool IsIdentChar(QChar c) {
    return IsNameChar(c) || c == QLatin1Char('$');
}

// End (exclusive) of a quoted run starting at the opening quote; a doubled quote stays
// inside, and with backslash escapes (E'...') a backslash takes the next character.
qsizetype SkipQuoted(const QString& s, qsizetype i, QChar quote, bool backslashEscapes) {
    for (++i; i < s.size(); ++i) {
        if (backslashEscapes && s[i] == QLatin1Char('\\')) {
            ++i;
        } else if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    }
    return s.size();
}

// End of a line comment: the server ends one at a line feed or a carriage return.
qsizetype SkipLineComment(const QString& s, qsizetype i) {
    while (i < s.size() && s[i] != QLatin1Char('\n') && s[i] != QLatin1Char('\r'))
        ++i;
    return i;
}

// End of a (nestable) block comment starting at "/*".
qsizetype SkipBlockComment(const QString& s, qsizetype i) {
    int depth = 0;
    while (i < s.size()) {
        if (s[i] == QLatin1Char('/') && i + 1 < s.size() && s[i + 1] == QLatin1Char('*')) {
            ++depth;
            i += 2;
        } else if (s[i] == QLatin1Char('*') && i + 1 < s.size() && s[i + 1] == QLatin1Char('/')) {
            i += 2;
            if (--depth == 0)
                return i;
        } else {
            ++i;
        }
    }
    return s.size();
}

// Length of a dollar-quote tag ("$$" or "$tag$") at i, or 0 when there is none.
qsizetype DollarTagLength(const QString& s, qsizetype i) {
    qsizetype j = i + 1;
    if (j < s.size() && IsNameStart(s[j]))
        while (j < s.size() && IsNameChar(s[j]))
            ++j;
    return j < s.size() && s[j] == QLatin1Char('$') ? j - i + 1 : 0;
}

} // namespace

TParsedSql ParseNamedParams(const QString& sql) {
    TParsedSql parsed;
    QString out;
    out.reserve(sql.size() + 8);
    QStringList folded;
    qsizetype paramEnd = -1; // where the last parameter rewritten ended
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        const bool afterIdent = i > 0 && IsIdentChar(sql[i - 1]);
        qsizetype end = i + 1;
        if (c == QLatin1Char('\'')) {
            // E'...' takes backslash escapes, unless that E ends a parameter's name.
            const bool escapes =
                i > 0 && (sql[i - 1] == QLatin1Char('E') || sql[i - 1] == QLatin1Char('e')) &&
                !(i > 1 && IsIdentChar(sql[i - 2])) && paramEnd != i;
            end = SkipQuoted(sql, i, c, escapes);
        } else if (c == QLatin1Char('"')) {
            end = SkipQuoted(sql, i, c, false);
        } else if (c == QLatin1Char('-') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('-')) {
            end = SkipLineComment(sql, i);
        } else if (c == QLatin1Char('/') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('*')) {
            end = SkipBlockComment(sql, i);
        } else if (c == QLatin1Char('$') && !afterIdent) {
            if (const qsizetype tag = DollarTagLength(sql, i)) {
                const qsizetype close = sql.indexOf(sql.mid(i, tag), i + tag);
                end = close < 0 ? sql.size() : close + tag;
            }
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char(':')) {
            end = i + 2;
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() && IsNameStart(sql[i + 1])) {
            end = i + 1;
            while (end < sql.size() && IsNameChar(sql[end]))
                ++end;
            const QString name = sql.mid(i + 1, end - i - 1);
            qsizetype position = folded.indexOf(name.toLower());
            if (position < 0) {
                position = folded.size();
                folded.append(name.toLower());
                parsed.Names.append(name);
            }
            // "$n" right after a name character would join it ("a$1" is one name to
            // the server, "$t$1" opens a dollar quote): a blank keeps it a parameter.
            if (!out.isEmpty() && IsIdentChar(out.back()))
                out += QLatin1Char(' ');
            out += QLatin1Char('$') + QString::number(position + 1);
            i = paramEnd = end;
            continue;
        }
        out += QStringView(sql).mid(i, end - i);
        i = end;
    }
    parsed.Text = out.toUtf8();
    return parsed;
}
