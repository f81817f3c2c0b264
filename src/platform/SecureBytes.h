// Buffers for password material: each is overwritten with zeros before its memory
// is released, on every path out of the code that holds it.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Owned byte buffer of fixed capacity; never reallocates, so no stale copy is left
// behind. Move-only.
class TSecureBytes {
public:
    TSecureBytes() = default;
    explicit TSecureBytes(std::size_t capacity);
    ~TSecureBytes();

    TSecureBytes(TSecureBytes&& other) noexcept;
    TSecureBytes& operator=(TSecureBytes&& other) noexcept;
    TSecureBytes(const TSecureBytes&) = delete;
    TSecureBytes& operator=(const TSecureBytes&) = delete;

    std::uint8_t* Data() noexcept { return FData.get(); }
    const std::uint8_t* Data() const noexcept { return FData.get(); }
    std::size_t Size() const noexcept { return FSize; }
    bool Empty() const noexcept { return FSize == 0; }
    std::span<const std::uint8_t> Bytes() const noexcept { return {FData.get(), FSize}; }

    // Sets the size within the capacity; bytes dropped by shrinking are wiped.
    void Resize(std::size_t size);

private:
    void Wipe() noexcept;

    std::unique_ptr<std::uint8_t[]> FData;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

// The UTF-8 bytes of text, encoded straight into a wiping buffer (a lone surrogate
// becomes U+FFFD).
TSecureBytes Utf8SecureBytes(const QString& text);

// Wipes the characters of text when it owns its buffer alone. A buffer shared with
// another string (or static data) belongs to that other holder and is left alone.
void CleanseString(QString& text) noexcept;

// Wipes a fixed region (a stack array, a cipher state) when the scope ends.
class TCleanseOnExit {
public:
    TCleanseOnExit(void* data, std::size_t size) noexcept : FData(data), FSize(size) {}
    ~TCleanseOnExit();
    TCleanseOnExit(const TCleanseOnExit&) = delete;
    TCleanseOnExit& operator=(const TCleanseOnExit&) = delete;

private:
    void* FData;
    std::size_t FSize;
};

// Wipes a string's own buffer (see CleanseString) when the scope ends.
class TCleanseStringOnExit {
public:
    explicit TCleanseStringOnExit(QString& text) noexcept : FText(text) {}
    ~TCleanseStringOnExit() { CleanseString(FText); }
    TCleanseStringOnExit(const TCleanseStringOnExit&) = delete;
    TCleanseStringOnExit& operator=(const TCleanseStringOnExit&) = delete;

private:
    QString& FText;
};
