// Feeds arbitrary text to the named-parameter rewriter. Every name it finds is a name
// as the server's lexer reads one, none twice (in any letter case), each sent as its
// own $n; and the rewritten statement holds no named parameter any more, so the
// rewriter read quotes, comments and dollar quotes the same way before and after
// (for text that UTF-8 can carry to the server).
#include "FuzzSupport.h"
#include "data/uSqlParams.h"

#include <QSet>

namespace {

bool NameStart(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_' || u > 0x7F;
}

void Exercise(const QString& sql) {
    const TParsedSql parsed = ParseNamedParams(sql);
    QSet<QString> folded;
    for (qsizetype i = 0; i < parsed.Names.size(); ++i) {
        const QString& name = parsed.Names[i];
        Require(!name.isEmpty() && NameStart(name.front()));
        Require(!folded.contains(name.toLower()));
        folded.insert(name.toLower());
        Require(parsed.Text.contains('$' + QByteArray::number(i + 1)));
    }
    // Lone surrogates have no UTF-8 form: the server gets other text for them.
    if (sql.isValidUtf16()) {
        Require(ParseNamedParams(QString::fromUtf8(parsed.Text)).Names.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Exercise(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    Exercise(Latin1Text(data, size));
    Exercise(Utf16Text(data, size));
    return 0;
}
