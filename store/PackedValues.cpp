#include "PackedValues.h"

#include "ValueTypes.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

enum class Kind : std::uint8_t {
    Invalid,     // no value at all
    Null,        // a NULL of a type: the type's id
    Latin1Text,  // a text of Latin-1 characters only: its length, a byte a character
    Utf16Text,   // any other text: its length, two bytes a character
    NullText,    // a text that is not NULL but a null QString
    Primitive,   // a number or truth value: the type's id (a built-in one), its size, its bytes
    Streamed,    // anything else, as QDataStream writes it: the length, the bytes
    ShortLatin1Text, // as Latin1Text and Utf16Text, the length in one byte
    ShortUtf16Text,
};

using Length = std::uint32_t;
using ShortLength = std::uint8_t;
using TypeId = std::uint32_t;
using BuiltInTypeId = std::uint16_t;
using Count = std::uint16_t;
constexpr std::size_t headerSize = sizeof(Length) + sizeof(Count);

bool isPrimitive(int typeId)
{
    return isIntegerType(typeId) || typeId == QMetaType::Bool || typeId == QMetaType::Double ||
           typeId == QMetaType::Float;
}

template <typename T> void put(std::vector<std::uint8_t>& out, T number)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&number);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <typename T> T get(const std::uint8_t* at)
{
    T number;
    std::memcpy(&number, at, sizeof(T));
    return number;
}

void putBytes(std::vector<std::uint8_t>& out, const void* bytes, std::size_t size)
{
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), first, first + size);
}

void encodeText(std::vector<std::uint8_t>& out, const QString& text)
{
    if (text.isNull()) {
        out.push_back(std::uint8_t(Kind::NullText));
        return;
    }
    const auto* chars = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype length = text.size();
    const bool latin1 = std::all_of(chars, chars + length, [](char16_t ch) { return ch < 0x100; });
    // Most texts of a row are short: their length takes one byte.
    if (length <= std::numeric_limits<ShortLength>::max()) {
        out.push_back(std::uint8_t(latin1 ? Kind::ShortLatin1Text : Kind::ShortUtf16Text));
        put(out, ShortLength(length));
    } else {
        out.push_back(std::uint8_t(latin1 ? Kind::Latin1Text : Kind::Utf16Text));
        put(out, Length(length));
    }
    if (latin1) {
        for (qsizetype i = 0; i < length; ++i)
            out.push_back(std::uint8_t(chars[i]));
    } else {
        putBytes(out, chars, std::size_t(length) * sizeof(char16_t));
    }
}

void encode(std::vector<std::uint8_t>& out, const QVariant& value)
{
    if (!value.isValid()) {
        out.push_back(std::uint8_t(Kind::Invalid));
        return;
    }
    const int typeId = value.typeId();
    if (value.isNull()) {
        out.push_back(std::uint8_t(Kind::Null));
        put(out, TypeId(typeId));
        return;
    }
    if (typeId == QMetaType::QString) {
        encodeText(out, value.toString());
        return;
    }
    if (isPrimitive(typeId)) {
        const auto size = std::uint8_t(value.metaType().sizeOf());
        out.push_back(std::uint8_t(Kind::Primitive));
        put(out, BuiltInTypeId(typeId));
        out.push_back(size);
        putBytes(out, value.constData(), size);
        return;
    }
    QByteArray streamed;
    QDataStream stream(&streamed, QIODevice::WriteOnly);
    stream << value;
    out.push_back(std::uint8_t(Kind::Streamed));
    put(out, Length(streamed.size()));
    putBytes(out, streamed.constData(), std::size_t(streamed.size()));
}

// Where the characters of a text value that starts at `at` lie, and how many there are.
struct TextSpan {
    bool latin1 = false;
    qsizetype length = 0;
    const std::uint8_t* chars = nullptr;

    std::size_t bytes() const { return std::size_t(length) * (latin1 ? 1 : sizeof(char16_t)); }
};

std::optional<TextSpan> textSpan(const std::uint8_t* at)
{
    const std::uint8_t* payload = at + 1;
    switch (Kind(*at)) {
    case Kind::ShortLatin1Text:
    case Kind::ShortUtf16Text:
        return TextSpan{Kind(*at) == Kind::ShortLatin1Text, get<ShortLength>(payload), payload + sizeof(ShortLength)};
    case Kind::Latin1Text:
    case Kind::Utf16Text:
        return TextSpan{Kind(*at) == Kind::Latin1Text, qsizetype(get<Length>(payload)), payload + sizeof(Length)};
    default:
        return std::nullopt;
    }
}

// How many bytes the value that starts at `at` takes, its kind included.
std::size_t encodedSize(const std::uint8_t* at)
{
    if (const std::optional<TextSpan> text = textSpan(at))
        return std::size_t(text->chars - at) + text->bytes();
    switch (Kind(*at)) {
    case Kind::Invalid:
    case Kind::NullText:
        return 1;
    case Kind::Null:
        return 1 + sizeof(TypeId);
    case Kind::Primitive:
        return 1 + sizeof(BuiltInTypeId) + 1 + at[1 + sizeof(BuiltInTypeId)];
    case Kind::Streamed:
        return 1 + sizeof(Length) + get<Length>(at + 1);
    default:
        throw std::logic_error("packed row holds an unknown kind of value");
    }
}

QVariant decode(const std::uint8_t* at)
{
    if (const std::optional<TextSpan> text = textSpan(at)) {
        if (text->length == 0)
            return QString(QLatin1String(""));
        if (text->latin1)
            return QString::fromLatin1(reinterpret_cast<const char*>(text->chars), text->length);
        QString utf16(text->length, Qt::Uninitialized);
        std::memcpy(utf16.data(), text->chars, text->bytes());
        return utf16;
    }
    const std::uint8_t* payload = at + 1;
    switch (Kind(*at)) {
    case Kind::Invalid:
        return {};
    case Kind::NullText:
        return QString();
    case Kind::Null:
        return QVariant(QMetaType(int(get<TypeId>(payload))));
    case Kind::Primitive: {
        // The bytes lie at any offset of the block: the type's copy reads them aligned.
        alignas(std::max_align_t) std::uint8_t aligned[sizeof(std::max_align_t)];
        const std::size_t size = std::min<std::size_t>(payload[sizeof(BuiltInTypeId)], sizeof(aligned));
        std::memcpy(aligned, payload + sizeof(BuiltInTypeId) + 1, size);
        return QVariant(QMetaType(int(get<BuiltInTypeId>(payload))), aligned);
    }
    case Kind::Streamed: {
        const Length length = get<Length>(payload);
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(payload + sizeof(Length)),
                                                         qsizetype(length));
        QDataStream stream(bytes);
        QVariant value;
        stream >> value;
        return value;
    }
    default:
        throw std::logic_error("packed row holds an unknown kind of value");
    }
}

} // namespace

PackedValues::PackedValues(const PackedValues& other)
{
    *this = other;
}

PackedValues& PackedValues::operator=(const PackedValues& other)
{
    if (this != &other)
        *this = other.data_ ? fromBytes(other.data_.get(), other.byteSize(), other.size()) : PackedValues();
    return *this;
}

PackedValues PackedValues::withSize(std::size_t size, int count)
{
    PackedValues packed;
    packed.data_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    const auto length = Length(size);
    const auto values = Count(count);
    std::memcpy(packed.data_.get(), &length, sizeof(length));
    std::memcpy(packed.data_.get() + sizeof(length), &values, sizeof(values));
    return packed;
}

PackedValues PackedValues::fromBytes(const std::uint8_t* bytes, std::size_t size, int count)
{
    PackedValues packed = withSize(size, count);
    std::memcpy(packed.data_.get() + headerSize, bytes + headerSize, size - headerSize);
    return packed;
}

std::size_t PackedValues::byteSize() const
{
    return data_ ? get<Length>(data_.get()) : 0;
}

int PackedValues::size() const
{
    return data_ ? get<Count>(data_.get() + sizeof(Length)) : 0;
}

std::pair<std::size_t, std::size_t> PackedValues::span(int index) const
{
    if (index < 0 || index >= size())
        throw std::out_of_range("packed row has no value at that index");
    std::size_t offset = headerSize;
    for (int i = 0; i < index; ++i)
        offset += encodedSize(data_.get() + offset);
    return {offset, offset + encodedSize(data_.get() + offset)};
}

QVariant PackedValues::at(int index) const
{
    return decode(data_.get() + span(index).first);
}

std::optional<QLatin1StringView> PackedValues::latin1View(int index) const
{
    const std::optional<TextSpan> text = textSpan(data_.get() + span(index).first);
    if (!text || !text->latin1)
        return std::nullopt;
    return QLatin1StringView(reinterpret_cast<const char*>(text->chars), text->length);
}

void PackedValues::set(int index, const QVariant& value)
{
    const auto [start, end] = span(index);
    // Rows of a batch take their keys one after another: the buffer stays for the next one.
    thread_local std::vector<std::uint8_t> encoded;
    encoded.clear();
    encode(encoded, value);
    if (encoded.size() == end - start) {
        std::memcpy(data_.get() + start, encoded.data(), encoded.size());
        return;
    }
    const std::size_t total = byteSize();
    PackedValues replaced = withSize(total - (end - start) + encoded.size(), size());
    std::uint8_t* out = replaced.data_.get();
    std::memcpy(out + headerSize, data_.get() + headerSize, start - headerSize);
    std::memcpy(out + start, encoded.data(), encoded.size());
    std::memcpy(out + start + encoded.size(), data_.get() + end, total - end);
    *this = std::move(replaced);
}

QList<QVariant> PackedValues::toList() const
{
    QList<QVariant> values;
    const int count = size();
    values.reserve(count);
    std::size_t offset = headerSize;
    for (int i = 0; i < count; ++i) {
        values.append(decode(data_.get() + offset));
        offset += encodedSize(data_.get() + offset);
    }
    return values;
}

void PackedValues::Builder::append(const QVariant& value)
{
    if (bytes_.empty())
        bytes_.resize(headerSize);
    encode(bytes_, value);
    ++count_;
}

PackedValues PackedValues::Builder::take()
{
    if (bytes_.empty())
        bytes_.resize(headerSize);
    PackedValues packed = fromBytes(bytes_.data(), bytes_.size(), count_);
    bytes_.clear();
    count_ = 0;
    return packed;
}

PackedValues PackedValues::Builder::pack(const QList<QVariant>& values)
{
    for (const QVariant& value : values)
        append(value);
    return take();
}
