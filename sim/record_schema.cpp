#include "record_schema.h"

#include <QStringList>

namespace {

constexpr int max_count = 65535;

int width_of(char type)
{
    switch (type) {
    case 'L':
        return 4;
    case 'S':
        return 2;
    default:
        return 1;
    }
}

// Names separated by ","; a double quote opens or closes a stretch in which "," is part of the
// name, and is itself no part of it.
QStringList split_names(const QString& names)
{
    QStringList list;
    QString name;
    bool quoted = false;
    for (const QChar c : names) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            list.append(name);
            name.clear();
        } else {
            name += c;
        }
    }
    list.append(name);
    return list;
}

bool is_type_letter(QChar c)
{
    return c == QLatin1Char('L') || c == QLatin1Char('S') || c == QLatin1Char('C') ||
           c == QLatin1Char('Z');
}

void append_number(QByteArray& record, quint32 number, int width)
{
    for (int k = 0; k < width; ++k) {
        record.append(char((number >> (8 * k)) & 0xff));
    }
}

} // namespace

quint32 record_schema::max_number(char type)
{
    return type == 'L' ? 0xffffffffu : (1u << (8 * width_of(type))) - 1;
}

bool record_schema::parse(const QString& text, record_schema& schema, QString& error)
{
    const int bar = text.indexOf(QLatin1Char('|'));
    const QString types = bar < 0 ? text : text.left(bar);
    const QStringList names = bar < 0 ? QStringList() : split_names(text.mid(bar + 1));
    QList<field> fields;
    for (int k = 0; k < types.size();) {
        if (!is_type_letter(types[k])) {
            error = QStringLiteral("schema \"%1\": bad type at %2").arg(text).arg(k);
            return false;
        }
        field item;
        item.type = types[k].toLatin1();
        int end = k + 1;
        while (end < types.size() && types[end].isDigit()) {
            ++end;
        }
        if (end > k + 1) {
            item.count = types.mid(k + 1, end - k - 1).toInt();
        }
        if (item.count > max_count || end - k - 1 > 5) {
            error = QStringLiteral("schema \"%1\": count too large at %2").arg(text).arg(k);
            return false;
        }
        item.name = names.value(fields.size());
        fields.append(item);
        k = end;
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
            append_number(record, given.numbers.value(k), width_of(item.type));
        }
    }
    return record;
}
