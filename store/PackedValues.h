#pragma once

#include <QLatin1StringView>
#include <QList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The values of one row in a single block of memory: a result of many rows keeps its texts and
// numbers in a few dozen bytes a row instead of a list of variants, each text with an
// allocation of its own. A value comes back exactly as it went in: its type, whether it is
// NULL, a null text apart from an empty one.
class PackedValues {
public:
    PackedValues() = default;
    PackedValues(const PackedValues& other);
    PackedValues& operator=(const PackedValues& other);
    PackedValues(PackedValues&&) noexcept = default;
    PackedValues& operator=(PackedValues&&) noexcept = default;

    int size() const;
    QVariant at(int index) const;
    // A text of Latin-1 characters only where it lies in the block, valid until the values
    // change; nothing for any other value.
    std::optional<QLatin1StringView> latin1View(int index) const;
    // Rewrites the block when the new value takes another size than the old one.
    void set(int index, const QVariant& value);
    QList<QVariant> toList() const;

    // Packs rows one after the other through one growing buffer, so that each row costs one
    // allocation of exactly its size.
    class Builder {
    public:
        void append(const QVariant& value);
        PackedValues take();
        // The values of a whole row at once.
        PackedValues pack(const QList<QVariant>& values);

    private:
        std::vector<std::uint8_t> bytes_;
        int count_ = 0;
    };

private:
    static PackedValues fromBytes(const std::uint8_t* bytes, std::size_t size, int count);
    // A block of that size and number of values, its bytes after the header still to be filled.
    static PackedValues withSize(std::size_t size, int count);
    std::size_t byteSize() const;
    // Where the value of that index starts in the block, and where the next one does.
    std::pair<std::size_t, std::size_t> span(int index) const;

    // A header (the block's size, the number of values), then each value: its kind, and what
    // that kind needs.
    std::unique_ptr<std::uint8_t[]> data_;
};
