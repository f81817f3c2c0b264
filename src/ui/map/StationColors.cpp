#include "ui/map/StationColors.h"

#include <cmath>
#include <cstdint>

QString StationKey(const TCoordinate& station) {
    // Rounded, not truncated, and -0 written as 0: equal positions give one key.
    const auto micro = [](double degrees) {
        const double r = std::round(degrees * 1e6);
        return QString::number(static_cast<long long>(r == 0 ? 0 : r));
    };
    return micro(station.Latitude) + QLatin1Char(',') + micro(station.Longitude);
}

TColor StationColor(const QString& stationKey) {
    std::uint32_t hash = 2166136261u; // FNV-1a, 32 bits
    for (const char c : stationKey.toUtf8()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return StationPalette[hash % StationPalette.size()];
}
