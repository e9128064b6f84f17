#include "record_schema.h"

#include "record_decoder.h"

#include <QStringList>

namespace {

void append_number(QByteArray& record, quint32 number, std::size_t width)
{
    for (std::size_t k = 0; k < width; ++k) {
        record.append(char((number >> (8 * k)) & 0xff));
    }
}

} // namespace

quint32 record_schema::max_number(char type)
{
    return type == 'L' ? 0xffffffffu : (1u << (8 * type_value_width(type))) - 1;
}

// The tokens and names are read by the configurator's own decoder functions, so that a record
// is laid out exactly as the configurator will read it.
bool record_schema::parse(const QString& text, record_schema& schema, QString& error)
{
    const QByteArray bytes = text.toUtf8();
    const int bar = bytes.indexOf('|');
    const char* name_cursor = bar < 0 ? "" : bytes.constData() + bar + 1;
    const char* cursor = bytes.constData();
    QList<field> fields;
    for (;;) {
        char token[type_token_size];
        const char* next = next_type_token(cursor, token);
        if (next == nullptr || (token[0] == '\0' && *cursor != '\0' && *cursor != '|')) {
            error = QStringLiteral("schema \"%1\": bad type at %2")
                        .arg(text)
                        .arg(cursor - bytes.constData());
            return false;
        }
        if (token[0] == '\0') {
            break;
        }
        char name[field_name_size];
        name_cursor = copy_field(name_cursor, ',', name);
        if (*name_cursor == ',') {
            ++name_cursor;
        }
        fields.append({token[0], type_token_count(token), QString::fromUtf8(name)});
        cursor = next;
    }
    schema.items = fields;
    return true;
}

QByteArray record_schema::encode(const QList<value>& values) const
{
    QByteArray record;
    for (int f = 0; f < items.size(); ++f) {
        const field& item = items[f];
        const value given = values.value(f);
        if (item.type == 'Z') {
            QByteArray text = given.text.left(item.count);
            text.append(QByteArray(item.count - text.size(), '\0'));
            record.append(text);
            continue;
        }
        for (int k = 0; k < item.count; ++k) {
            append_number(record, given.numbers.value(k), type_value_width(item.type));
        }
    }
    return record;
}
