#include "config/uUtils.h"

#include "LodvarSiteConfig.h"
#include "config/SettingsFiles.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/OsServices.h"
#include "platform/SecureBytes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <vector>

namespace {

constexpr std::size_t KeySize = 24;   // AES-192
constexpr std::size_t BlockSize = 16; // AES block and initial vector
constexpr std::size_t DigestSize = 20;

const char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct TCipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const noexcept { EVP_CIPHER_CTX_free(context); }
};
// Freeing the context also clears its key schedule.
using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree>;

[[noreturn]] void RaiseCipherError() {
    const unsigned long code = ERR_get_error();
    char reason[256] = {};
    ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw Exception(
        QStringLiteral("Stored-password cipher failed: %1").arg(QString::fromLatin1(reason)));
}

void Check(int result) {
    if (result != 1) {
        RaiseCipherError();
    }
}

TSecureBytes Utf16LeBytes(const QString& text) {
    TSecureBytes bytes(static_cast<std::size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bytes.Data()[2 * i] = static_cast<unsigned char>(unit & 0xFF);
        bytes.Data()[2 * i + 1] = static_cast<unsigned char>(unit >> 8);
    }
    return bytes;
}

QString FromUtf16LeBytes(const TSecureBytes& bytes) {
    QString text(static_cast<qsizetype>(bytes.Size() / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        text[i] =
            QChar(static_cast<char16_t>(bytes.Data()[2 * i] | (bytes.Data()[2 * i + 1] << 8)));
    }
    return text;
}

TCipherContext NewContext() {
    TCipherContext context(EVP_CIPHER_CTX_new());
    if (!context) {
        RaiseCipherError();
    }
    return context;
}

// The key and initial vector of a pass phrase, built afresh at every call.
struct TKeyMaterial {
    TSecureBytes Key{KeySize};
    TSecureBytes InitialVector{BlockSize};
};

TKeyMaterial MakeKeyMaterial(const QString& passPhrase) {
    TKeyMaterial material;
    const TSecureBytes phrase = Utf16LeBytes(passPhrase);
    TSecureBytes digest(DigestSize);
    unsigned int digestLength = 0;
    Check(EVP_Digest(phrase.Data(), phrase.Size(), digest.Data(), &digestLength, EVP_sha1(),
                     nullptr));
    // A 160-bit Rijndael key padded with zero bytes to the 192-bit size.
    std::copy(digest.Data(), digest.Data() + DigestSize, material.Key.Data());

    const std::array<unsigned char, BlockSize> zeroBlock{};
    const TCipherContext context = NewContext();
    Check(EVP_EncryptInit_ex(context.get(), EVP_aes_192_ecb(), nullptr, material.Key.Data(),
                             nullptr));
    Check(EVP_CIPHER_CTX_set_padding(context.get(), 0));
    int produced = 0;
    Check(EVP_EncryptUpdate(context.get(), material.InitialVector.Data(), &produced,
                            zeroBlock.data(), static_cast<int>(zeroBlock.size())));
    return material;
}

// CFB with 8-bit feedback in either direction; the output is as long as the input.
TSecureBytes RunCfb8(const TSecureBytes& input, const QString& passPhrase, bool encrypt) {
    TSecureBytes output(input.Size());
    if (input.Size() == 0) {
        return output;
    }
    const TKeyMaterial material = MakeKeyMaterial(passPhrase);
    const TCipherContext context = NewContext();
    Check(EVP_CipherInit_ex(context.get(), EVP_aes_192_cfb8(), nullptr, material.Key.Data(),
                            material.InitialVector.Data(), encrypt ? 1 : 0));
    int produced = 0;
    Check(EVP_CipherUpdate(context.get(), output.Data(), &produced, input.Data(),
                           static_cast<int>(input.Size())));
    return output;
}

int Base64Value(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z') {
        return u - u'A';
    }
    if (u >= u'a' && u <= u'z') {
        return u - u'a' + 26;
    }
    if (u >= u'0' && u <= u'9') {
        return u - u'0' + 52;
    }
    if (u == u'+') {
        return 62;
    }
    if (u == u'/') {
        return 63;
    }
    return -1;
}

} // namespace

QString SystemPassPhrase() {
    return QString::fromLatin1(SiteConfig::PassPhrase);
}

QString EncodeBase64(const QByteArray& bytes) {
    QString text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (qsizetype i = 0; i < bytes.size(); i += 3) {
        const qsizetype count = std::min<qsizetype>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (qsizetype j = 0; j < 3; ++j) {
            group = (group << 8) | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        }
        for (qsizetype j = 0; j < 4; ++j) {
            text += j <= count ? QLatin1Char(Base64Alphabet[(group >> (18 - 6 * j)) & 0x3F])
                               : QLatin1Char('=');
        }
    }
    return text;
}

QByteArray DecodeBase64(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::array<QChar, 4> group{};
    std::size_t filled = 0;
    for (const QChar c : text) {
        // Stored texts hold no characters outside the alphabet; any that appear
        // (line breaks, blanks, damage) are skipped rather than failing the text.
        if (c != QLatin1Char('=') && Base64Value(c) < 0) {
            continue;
        }
        group[filled++] = c;
        if (filled < group.size()) {
            continue;
        }
        filled = 0;
        std::uint32_t bits = 0;
        for (const QChar g : group) {
            bits = (bits << 6) | static_cast<std::uint32_t>(std::max(Base64Value(g), 0));
        }
        const int count = group[2] == QLatin1Char('=') ? 1 : group[3] == QLatin1Char('=') ? 2 : 3;
        for (int j = 0; j < count; ++j) {
            bytes += static_cast<char>((bits >> (16 - 8 * j)) & 0xFF);
        }
    }
    return bytes;
}

QString EncryptStr(const QString& text, const QString& passPhrase) {
    const TSecureBytes cipher = RunCfb8(Utf16LeBytes(text), passPhrase, true);
    return EncodeBase64(QByteArray(reinterpret_cast<const char*>(cipher.Data()),
                                   static_cast<qsizetype>(cipher.Size())));
}

QString DecryptStr(const QString& text, const QString& passPhrase) {
    const QByteArray decoded = DecodeBase64(text);
    TSecureBytes cipher(static_cast<std::size_t>(decoded.size() / 2 * 2));
    std::copy(decoded.cbegin(), decoded.cbegin() + static_cast<qsizetype>(cipher.Size()),
              cipher.Data());
    return FromUtf16LeBytes(RunCfb8(cipher, passPhrase, false));
}

void CreateDefaultSettingsFile(const QString& fileName) {
    if (Os::FileExists(fileName)) {
        return;
    }
    WriteKey(TIniFile(fileName), MainSettings::Lang, MainSettings::DefaultLang);
}

QString ExpandEnvStr(const QString& text) {
    QString result = Os::ExpandEnvironment(text);
    qsizetype length = result.size();
    while (length > 0 && result[length - 1].unicode() <= 32) {
        --length;
    }
    result.truncate(length);
    return result;
}
