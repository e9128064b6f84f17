#include "plot_fields.h"

#include "name_list.h"
#include "type_token.h"

#include <QSet>

namespace {

// The reader escapes units for the page's rich-text labels; charts and CSV want the text.
QString plain(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    return text.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

// The names of a layout's fields that hold one unsigned number (L, S or C without a count).
QSet<QString> single_numbers(const QString& schema)
{
    const QByteArray text = schema.toUtf8();
    const int bar = text.indexOf('|');
    name_list names(bar < 0 ? "" : text.constData() + bar + 1);
    QSet<QString> found;
    const char* cursor = text.constData();
    for (;;) {
        char token[type_token_size];
        cursor = next_type_token(cursor, token);
        if (cursor == nullptr || token[0] == '\0') {
            return found;
        }
        char name[field_name_size];
        names.read_next(name);
        const bool number = token[0] == 'L' || token[0] == 'S' || token[0] == 'C';
        if (number && type_token_count(token) == 1 && name[0] != '\0') {
            found.insert(QString::fromUtf8(name));
        }
    }
}

plot_field plot_field_of(const profile_display& display)
{
    plot_field field;
    field.name = display.field;
    field.label = display.comment;
    field.unit = plain(display.unit);
    field.multiplier = double(display.multiplier);
    // Both limits 0 is how the page says "no range" too.
    field.has_range = display.valid_range_min != 0.0f || display.valid_range_max != 0.0f;
    field.range_min = double(display.valid_range_min);
    field.range_max = double(display.valid_range_max);
    return field;
}

} // namespace

QString plot_title(const plot_field& field)
{
    return field.unit.isEmpty() ? field.label : field.label + QStringLiteral(", ") + field.unit;
}

plot_catalogue plot_catalogue_of(const QList<profile_rawdata>& rawdata,
                                 const QList<profile_column>& columns)
{
    QHash<int, QSet<QString>> numbers;
    QSet<QString> any_layout;
    for (const profile_rawdata& layout : rawdata) {
        numbers[layout.id] = single_numbers(layout.schema);
        any_layout += numbers[layout.id];
    }
    plot_catalogue catalogue;
    QHash<QString, int> position;
    for (const profile_column& column : columns) {
        for (const profile_display& display : column.displays) {
            if (display.kind == display_kind::number && any_layout.contains(display.field) &&
                !position.contains(display.field)) {
                position.insert(display.field, catalogue.fields.size());
                catalogue.fields.append(plot_field_of(display));
            }
        }
    }
    for (auto layout = numbers.cbegin(); layout != numbers.cend(); ++layout) {
        for (const plot_field& field : qAsConst(catalogue.fields)) {
            if (layout.value().contains(field.name)) {
                catalogue.by_layout[layout.key()].append(position.value(field.name));
            }
        }
    }
    return catalogue;
}
