#include "device_state_values.h"

#include "field_list.h"
#include "record_decoder.h"
#include "type_token.h"

#include <QLocale>
#include <QStringList>
#include <QStringView>

#include <charconv>
#include <cstring>

namespace {

// The first attempt fits every ordinary record; a longer text is decoded again into a buffer
// that cannot be too small, so a value is never shown cut short.
constexpr std::size_t first_buffer_size = 1024;

// Every record byte gives at most four characters ("255,"), every token at most its name, its
// own text and three separators.
std::size_t largest_text_size(const QByteArray& schema, std::uint16_t length)
{
    constexpr std::size_t per_token = (field_name_size - 1) + (type_token_size - 1) + 3;
    return 4 * std::size_t(length) + per_token * (std::size_t(schema.size()) + 1) + 1;
}

int decode_into(std::vector<char>& out, const QByteArray& schema, const QByteArray& record,
                std::uint16_t length)
{
    decode_record(schema.constData(), reinterpret_cast<const unsigned char*>(record.constData()),
                  out.data(), out.size(), length);
    return int(std::strlen(out.data()));
}

// The C library's conversions in the "C" locale: a tie rounds to the even digit as printf does
// ("%g" of 7559665 is 7.55966e+06), and the decimal point is "." whatever the user's locale.
QString c_format(double x, std::chars_format style, int precision)
{
    char text[128]; // room for any float-scaled value with eight decimals
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, x, style, precision);
    return QString::fromLatin1(text, int(end.ptr - text));
}

QString scaled_number(double x, const field_format& format)
{
    const bool has_range = format.valid_range_min != 0.0f || format.valid_range_max != 0.0f;
    if (has_range && (x > double(format.valid_range_max) || x < double(format.valid_range_min))) {
        return QStringLiteral("недействительны");
    }
    return c_format(x, std::chars_format::general, 6); // "%g"
}

QString coordinate(quint32 number, const field_format& format)
{
    if (number == no_fix_coordinate) {
        return QStringLiteral("недействительны");
    }
    const double x = coordinate_degrees(number, format.multiplier);
    return c_format(x, std::chars_format::fixed, 8).rightJustified(11); // "%11.8f"
}

// The C locale takes "," for a group separator, but in a decoded text it parts the values of a
// list: "1,234" is two numbers, not 1234.
QLocale plain_numbers()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    return c;
}

// One entry  name "," token ":" value  of a decoded text; a value runs up to a further ":".
// Views instead of split lists: a record of a few hundred fields arrives every second.
void store_entry(QStringView entry, QList<field_value>& values, QHash<QString, int>& index)
{
    const int colon = entry.indexOf(QLatin1Char(':'));
    const int comma = colon < 0 ? -1 : entry.left(colon).indexOf(QLatin1Char(','));
    if (comma < 0) {
        return;
    }
    QStringView value = entry.mid(colon + 1);
    value = value.left(value.indexOf(QLatin1Char(':')));
    const bool is_string = comma + 1 < colon && entry.at(comma + 1) == QLatin1Char('Z');

    const QString name = entry.left(comma).toString();
    auto found = index.constFind(name);
    if (found == index.constEnd()) {
        found = index.insert(name, values.size());
        values.append({name, 0, QString()});
    }
    field_value& stored = values[*found];
    static const QLocale numbers = plain_numbers();
    stored.number = is_string ? 0 : numbers.toUInt(value);
    stored.text = is_string ? value.toString() : QString();
}

} // namespace

double coordinate_degrees(quint32 number, float multiplier)
{
    constexpr double two_to_minus_32 = 2.3283064365386963e-10;
    return double(number) * double(multiplier) * two_to_minus_32;
}

QByteArray decode_record_text(const QByteArray& schema, const QByteArray& record,
                              std::vector<char>& buffer)
{
    // The record format counts its bytes in 16 bits.
    const auto length = static_cast<std::uint16_t>(record.size());
    if (buffer.size() < first_buffer_size) {
        buffer.resize(first_buffer_size);
    }
    int size = decode_into(buffer, schema, record, length);
    const std::size_t largest = largest_text_size(schema, length);
    if (std::size_t(size) == buffer.size() - 1 && buffer.size() < largest) {
        buffer.resize(largest);
        size = decode_into(buffer, schema, record, length);
    }
    return QByteArray(buffer.data(), size);
}

QByteArray decode_record_text(const QByteArray& schema, const QByteArray& record)
{
    std::vector<char> buffer;
    return decode_record_text(schema, record, buffer);
}

void store_decoded_fields(const QString& decoded, QList<field_value>& values,
                          QHash<QString, int>& index)
{
    int start = 0;
    while (start < decoded.size()) {
        int end = decoded.indexOf(QLatin1Char(';'), start);
        if (end < 0) {
            end = decoded.size();
        }
        store_entry(QStringView(decoded).mid(start, end - start), values, index);
        start = end + 1;
    }
}

QString format_field(const field_value* value, const field_format& format)
{
    if (!value) {
        return QStringLiteral("Нет данных");
    }
    if (!value->text.isEmpty()) {
        return value->text;
    }
    switch (format.kind) {
    case display_kind::binary:
        return QString::number(value->number, 2);
    case display_kind::hex:
        return QStringLiteral("%1").arg(value->number, 8, 16, QLatin1Char('0')).toUpper();
    case display_kind::coord:
        return coordinate(value->number, format);
    case display_kind::number:
    case display_kind::select:
    case display_kind::splitter:
        break;
    }
    return scaled_number(double(value->number) * double(format.multiplier), format);
}
