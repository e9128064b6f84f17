#include "device_state_view.h"

#include "tracker_commands.h"

#include <QStringList>

device_state_view::device_state_view(const QList<profile_rawdata>& layouts,
                                     const QList<profile_column>& columns)
    : rawdata(layouts)
{
    for (const profile_column& column : columns) {
        for (const profile_display& display : column.displays) {
            if (display.kind != display_kind::splitter) {
                displays << display;
            }
        }
    }
}

bool device_state_view::take_line(const QString& line)
{
    const tracker_commands::device_state_line parsed =
        tracker_commands::parse_device_state_line(line);
    if (!parsed.valid) {
        return false;
    }
    for (const profile_rawdata& layout : qAsConst(rawdata)) {
        if (layout.id != parsed.schema_id) {
            continue;
        }
        if (layout.schema.isEmpty()) {
            return false;
        }
        const QByteArray record = QByteArray::fromBase64(parsed.payload.toUtf8());
        const QByteArray text = decode_record_text(layout.schema.toUtf8(), record, decode_buffer);
        store_decoded_fields(QString::fromUtf8(text), values, value_index);
        return true;
    }
    return false;
}

QList<device_state_view::shown_value> device_state_view::shown() const
{
    QList<shown_value> list;
    for (const profile_display& display : displays) {
        list.append({display.field, display.comment, display.unit, text_of(display),
                     value_index.contains(display.field)});
    }
    return list;
}

QStringList device_state_view::fields() const
{
    QStringList list;
    for (const profile_display& display : displays) {
        list << display.field;
    }
    return list;
}

// A selection shows the text of the option whose id is the value, else of the "default" option.
QString device_state_view::text_of(const profile_display& display) const
{
    const auto found = value_index.constFind(display.field);
    const field_value* value = found == value_index.constEnd() ? nullptr : &values.at(*found);
    const QString text = format_field(value, {display.kind, display.multiplier,
                                              display.valid_range_min, display.valid_range_max});
    if (display.kind != display_kind::select) {
        return text;
    }
    for (const QString& id : {text, QStringLiteral("default")}) {
        for (const profile_display_option& option : display.options) {
            if (option.id == id) {
                return option.text;
            }
        }
    }
    return QString();
}
