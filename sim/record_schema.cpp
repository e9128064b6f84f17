#include "record_schema.h"

#include <QStringList>

namespace {

struct value_type
{
    char letter;
    int width; // bytes of one value; of one character for text
    bool text;
};

// The record's value types; every number is unsigned and little-endian.
constexpr value_type value_types[] = {
    {'L', 4, false},
    {'S', 2, false},
    {'C', 1, false},
    {'Z', 1, true},
};

// Letter and digits of the longest token the configurator reads.
constexpr int max_token_length = 15;

const value_type* type_of(QChar letter)
{
    for (const value_type& type : value_types) {
        if (letter == QLatin1Char(type.letter)) {
            return &type;
        }
    }
    return nullptr;
}

bool is_digit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The names part split at commas; a double quote opens or closes a stretch in which a comma
// belongs to the name, and is not part of the name itself.
QStringList names_of(const QString& names)
{
    QStringList list{QString()};
    bool quoted = false;
    for (const QChar c : names) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            list.append(QString());
        } else {
            list.last() += c;
        }
    }
    return list;
}

// The tokens of the types part, letter and digits each; false, with the offending offset, at a
// character that belongs to no token or one that makes a token too long.
bool split_tokens(const QString& types, QStringList& tokens, int& bad_at)
{
    for (int at = 0; at < types.size(); ++at) {
        const QChar c = types[at];
        if (type_of(c) != nullptr) {
            tokens.append(QString(c));
        } else if (is_digit(c) && !tokens.isEmpty()) {
            tokens.last() += c;
        } else {
            bad_at = at;
            return false;
        }
        if (tokens.last().size() > max_token_length) {
            bad_at = at;
            return false;
        }
    }
    return true;
}

int count_of(const QString& token)
{
    if (token.size() == 1) {
        return 1;
    }
    int count = 0;
    for (const QChar digit : token.mid(1)) {
        count = (count * 10 + digit.digitValue()) % 65536;
    }
    return count;
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
    const value_type* found = type_of(QLatin1Char(type));
    if (found == nullptr || found->text) {
        return 0;
    }
    return quint32((quint64(1) << (8 * found->width)) - 1);
}

bool record_schema::parse(const QString& text, record_schema& schema, QString& error)
{
    const int bar = text.indexOf(QLatin1Char('|'));
    const QStringList names = bar < 0 ? QStringList() : names_of(text.mid(bar + 1));
    QStringList tokens;
    int bad_at = 0;
    if (!split_tokens(bar < 0 ? text : text.left(bar), tokens, bad_at)) {
        error = QStringLiteral("schema \"%1\": bad type at %2").arg(text).arg(bad_at);
        return false;
    }
    QList<field> fields;
    for (const QString& token : tokens) {
        fields.append({char(token[0].unicode()), count_of(token), names.value(fields.size())});
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
        const value_type& type = *type_of(QLatin1Char(item.type));
        if (type.text) {
            QByteArray text = given.text.left(item.count);
            text.append(QByteArray(item.count - text.size(), '\0'));
            record.append(text);
            continue;
        }
        for (int k = 0; k < item.count; ++k) {
            append_number(record, given.numbers.value(k), type.width);
        }
    }
    return record;
}
