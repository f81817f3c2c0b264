// The rows of one result, held compactly: the text of every value back to back in one
// block, and one 32-bit offset per value (its top bit marks NULL). Reading a value gives a
// view into the block, so a model can show rows without copying them. The libpq result is
// released once the rows are taken over.
#pragma once

#include <cstdint>
#include <libpq-fe.h>
#include <memory>
#include <string_view>
#include <vector>

class TDbRowSet {
public:
    TDbRowSet() = default;
    // Takes the given result columns (in that order) of every row. Raises EDatabaseError
    // when the text of the result exceeds what the offsets can address (2 GiB).
    TDbRowSet(const PGresult* result, const std::vector<int>& columns);

    int RowCount() const noexcept { return FRows; }
    int ColumnCount() const noexcept { return FColumns; }

    bool IsNull(int row, int column) const noexcept {
        return (FOffsets[Cell(row, column)] & NullBit) != 0;
    }
    std::string_view Value(int row, int column) const noexcept {
        const size_t cell = Cell(row, column);
        const uint32_t begin = FOffsets[cell] & ~NullBit;
        const uint32_t end = FOffsets[cell + 1] & ~NullBit;
        return {FText.get() + begin, end - begin};
    }

    // Bytes held for the rows: the text block and the offsets.
    size_t ByteSize() const noexcept { return FTextSize + FOffsets.capacity() * sizeof(uint32_t); }

private:
    static constexpr uint32_t NullBit = 0x80000000u;
    size_t Cell(int row, int column) const noexcept {
        return static_cast<size_t>(row) * static_cast<size_t>(FColumns) +
               static_cast<size_t>(column);
    }

    int FRows = 0;
    int FColumns = 0;
    std::unique_ptr<char[]> FText;
    size_t FTextSize = 0;
    std::vector<uint32_t> FOffsets; // one per value, plus the end of the last one
};
