#include "data/uDbRowSet.h"

#include "platform/Exceptions.h"

#include <cstring>

TDbRowSet::TDbRowSet(const PGresult* result, const std::vector<int>& columns)
    : FRows(PQntuples(result)), FColumns(static_cast<int>(columns.size())) {
    size_t total = 0;
    for (int row = 0; row < FRows; ++row)
        for (const int column : columns)
            total += static_cast<size_t>(PQgetlength(result, row, column));
    if (total >= NullBit)
        throw EDatabaseError(QStringLiteral("The result is too large to be held (%1 bytes)")
                                 .arg(static_cast<qulonglong>(total)));

    FText.reset(new char[total == 0 ? 1 : total]);
    FTextSize = total;
    FOffsets.resize(static_cast<size_t>(FRows) * columns.size() + 1);
    uint32_t offset = 0;
    size_t cell = 0;
    for (int row = 0; row < FRows; ++row) {
        for (const int column : columns) {
            const auto length = static_cast<uint32_t>(PQgetlength(result, row, column));
            std::memcpy(FText.get() + offset, PQgetvalue(result, row, column), length);
            FOffsets[cell++] = PQgetisnull(result, row, column) ? (offset | NullBit) : offset;
            offset += length;
        }
    }
    FOffsets[cell] = offset;
}
