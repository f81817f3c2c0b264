// What the fuzz targets share: how a property that does not hold stops the run, and
// the two ways their bytes become text.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// libFuzzer keeps the input that made the run stop.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every byte one character, codes 128..255 included.
inline QString Latin1Text(const std::uint8_t* data, std::size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Pairs of bytes as UTF-16 LE code units, lone surrogates and all; an odd last byte
// is left out.
inline QString Utf16Text(const std::uint8_t* data, std::size_t size) {
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units[static_cast<qsizetype>(i / 2)] =
            QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return units;
}
