// Feeds arbitrary text to the stored-password decoding and cipher. DecryptStr never
// fails and gives half as many characters as the text decodes to bytes; the cipher
// round trip gives any text back, under the system's pass phrase and under another.
#include "FuzzSupport.h"
#include "config/uUtils.h"

namespace {

void Exercise(const QString& text, const QString& passPhrase) {
    const QByteArray decoded = DecodeBase64(text);
    Require(DecryptStr(text, passPhrase).size() == decoded.size() / 2);

    const QString stored = EncryptStr(text, passPhrase);
    Require(stored.size() == (2 * text.size() + 2) / 3 * 4);
    Require(DecryptStr(stored, passPhrase) == text);
    // A stored text as written is read back to the same bytes and written the same.
    Require(EncodeBase64(DecodeBase64(stored)) == stored);
    Require(DecodeBase64(EncodeBase64(decoded)) == decoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString latin1 = Latin1Text(data, size);
    const QString units = Utf16Text(data, size);
    for (const QString& text : {latin1, units}) {
        Exercise(text, SystemPassPhrase());
        Exercise(text, latin1.left(15));
    }
    return 0;
}
