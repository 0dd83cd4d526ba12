#include "PackedValues.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

enum class Kind : std::uint8_t {
    Invalid,     // no value at all
    Null,        // a NULL of a type: the type's id
    Latin1Text,  // a text of Latin-1 characters only: its length, a byte a character
    Utf16Text,   // any other text: its length, two bytes a character
    NullText,    // a text that is not NULL but a null QString
    Primitive,   // a number or truth value: the type's id, its size, its bytes
    Streamed,    // anything else, as QDataStream writes it: the length, the bytes
};

using Length = std::uint32_t;
using TypeId = std::uint32_t;
using Count = std::uint16_t;
constexpr std::size_t headerSize = sizeof(Length) + sizeof(Count);

bool isPrimitive(int typeId)
{
    switch (typeId) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
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
    if (std::all_of(chars, chars + length, [](char16_t ch) { return ch < 0x100; })) {
        out.push_back(std::uint8_t(Kind::Latin1Text));
        put(out, Length(length));
        for (qsizetype i = 0; i < length; ++i)
            out.push_back(std::uint8_t(chars[i]));
        return;
    }
    out.push_back(std::uint8_t(Kind::Utf16Text));
    put(out, Length(length));
    putBytes(out, chars, std::size_t(length) * sizeof(char16_t));
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
        put(out, TypeId(typeId));
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

// How many bytes the value that starts at `at` takes, its kind included.
std::size_t encodedSize(const std::uint8_t* at)
{
    switch (Kind(*at)) {
    case Kind::Invalid:
    case Kind::NullText:
        return 1;
    case Kind::Null:
        return 1 + sizeof(TypeId);
    case Kind::Latin1Text:
        return 1 + sizeof(Length) + get<Length>(at + 1);
    case Kind::Utf16Text:
        return 1 + sizeof(Length) + std::size_t(get<Length>(at + 1)) * sizeof(char16_t);
    case Kind::Primitive:
        return 1 + sizeof(TypeId) + 1 + at[1 + sizeof(TypeId)];
    case Kind::Streamed:
        return 1 + sizeof(Length) + get<Length>(at + 1);
    }
    throw std::logic_error("packed row holds an unknown kind of value");
}

QVariant decode(const std::uint8_t* at)
{
    const std::uint8_t* payload = at + 1;
    switch (Kind(*at)) {
    case Kind::Invalid:
        return {};
    case Kind::NullText:
        return QString();
    case Kind::Null:
        return QVariant(QMetaType(int(get<TypeId>(payload))));
    case Kind::Latin1Text: {
        const Length length = get<Length>(payload);
        if (length == 0)
            return QString(QLatin1String(""));
        return QString::fromLatin1(reinterpret_cast<const char*>(payload + sizeof(Length)), qsizetype(length));
    }
    case Kind::Utf16Text: {
        const Length length = get<Length>(payload);
        QString text(qsizetype(length), Qt::Uninitialized);
        std::memcpy(text.data(), payload + sizeof(Length), std::size_t(length) * sizeof(char16_t));
        return text;
    }
    case Kind::Primitive:
        return QVariant(QMetaType(int(get<TypeId>(payload))), payload + sizeof(TypeId) + 1);
    case Kind::Streamed: {
        const Length length = get<Length>(payload);
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(payload + sizeof(Length)),
                                                         qsizetype(length));
        QDataStream stream(bytes);
        QVariant value;
        stream >> value;
        return value;
    }
    }
    throw std::logic_error("packed row holds an unknown kind of value");
}

} // namespace

PackedValues::PackedValues(const QList<QVariant>& values)
{
    Builder builder;
    for (const QVariant& value : values)
        builder.append(value);
    *this = builder.take();
}

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
    const std::uint8_t* at = data_.get() + span(index).first;
    if (Kind(*at) != Kind::Latin1Text)
        return std::nullopt;
    const auto length = qsizetype(get<Length>(at + 1));
    return QLatin1StringView(reinterpret_cast<const char*>(at + 1 + sizeof(Length)), length);
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
