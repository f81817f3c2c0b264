#include "platform/SecureBytes.h"

#include "platform/Exceptions.h"

#include <QStringEncoder>
#include <openssl/crypto.h>
#include <utility>

TSecureBytes::TSecureBytes(std::size_t capacity)
    : FData(capacity ? std::make_unique<std::uint8_t[]>(capacity) : nullptr), FSize(capacity),
      FCapacity(capacity) {}

TSecureBytes::~TSecureBytes() {
    Wipe();
}

TSecureBytes::TSecureBytes(TSecureBytes&& other) noexcept
    : FData(std::move(other.FData)), FSize(std::exchange(other.FSize, 0)),
      FCapacity(std::exchange(other.FCapacity, 0)) {}

TSecureBytes& TSecureBytes::operator=(TSecureBytes&& other) noexcept {
    if (this != &other) {
        Wipe();
        FData = std::move(other.FData);
        FSize = std::exchange(other.FSize, 0);
        FCapacity = std::exchange(other.FCapacity, 0);
    }
    return *this;
}

void TSecureBytes::Resize(std::size_t size) {
    if (size > FCapacity) {
        throw Exception(
            QStringLiteral("Secure buffer overflow (%1 > %2)").arg(size).arg(FCapacity));
    }
    if (size < FSize) {
        OPENSSL_cleanse(FData.get() + size, FSize - size);
    }
    FSize = size;
}

void TSecureBytes::Wipe() noexcept {
    if (FData) {
        OPENSSL_cleanse(FData.get(), FCapacity);
    }
}

TSecureBytes Utf8SecureBytes(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    TSecureBytes bytes(static_cast<std::size_t>(toUtf8.requiredSpace(text.size())));
    char* const begin = reinterpret_cast<char*>(bytes.Data());
    const char* const end = toUtf8.appendToBuffer(begin, text);
    bytes.Resize(static_cast<std::size_t>(end - begin));
    return bytes;
}

void CleanseString(QString& text) noexcept {
    if (text.isDetached()) {
        OPENSSL_cleanse(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
}

TCleanseOnExit::~TCleanseOnExit() {
    OPENSSL_cleanse(FData, FSize);
}
