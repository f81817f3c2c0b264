#include "platform/SecureBytes.h"

#include "platform/Exceptions.h"

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

void CleanseString(QString& text) noexcept {
    if (text.isDetached()) {
        OPENSSL_cleanse(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
}

TCleanseOnExit::~TCleanseOnExit() {
    OPENSSL_cleanse(FData, FSize);
}
