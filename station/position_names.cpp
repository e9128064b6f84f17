#include "position_names.h"

#include "simple_entries.h"

namespace {

// A refused value may hold the very characters a terminal acts on: they are shown escaped.
QString printable(const QString& value)
{
    QString text;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\')) {
            text += QStringLiteral("\\\\");
        } else if (c.unicode() < 0x20) {
            text += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
        } else {
            text += c;
        }
    }
    return text;
}

QString place_text(const QString& key, int position, const QString& label)
{
    const QString text = QStringLiteral("%1,#%2").arg(key).arg(position);
    return label.isEmpty() ? text : text + QStringLiteral(" ") + quoted(label);
}

} // namespace

// The options of a position are those of the first option parameter that reads or writes it,
// as its label is that of the first parameter.
position_names::position_names(const QList<profile_page>& simple_pages) : labels(simple_pages)
{
    for_each_place(simple_pages,
                   [this](const profile_parameter& parameter, const QString& key, int position) {
                       const auto place = qMakePair(key, position);
                       if (parameter.kind == parameter_kind::option && !options.contains(place)) {
                           options.insert(place, parameter.options);
                       }
                   });
}

QString position_names::place(const QString& key, int position) const
{
    return place_text(key, position, labels.label(key, position));
}

QString position_names::value(const QString& key, int position, const QString& value) const
{
    for (const profile_option& option : options.value(qMakePair(key, position))) {
        if (option.value == value) {
            return QStringLiteral("%1 (%2)").arg(quoted(value), option.text);
        }
    }
    return quoted(value);
}

QString quoted(const QString& value)
{
    return QLatin1Char('"') + value + QLatin1Char('"');
}

QString refusal_reason(const value_verdict& verdict)
{
    switch (verdict.kind) {
    case refusal_kind::comma:
        return QStringLiteral("contains a comma");
    case refusal_kind::carriage_return:
        return QStringLiteral("contains a carriage return");
    case refusal_kind::line_feed:
        return QStringLiteral("contains a line feed");
    case refusal_kind::nul:
        return QStringLiteral("contains a NUL character");
    case refusal_kind::frame:
        return QStringLiteral("its command would be longer than %1 bytes").arg(verdict.limit);
    case refusal_kind::empty:
        return QStringLiteral("empty, a number is needed");
    case refusal_kind::not_a_number:
        return QStringLiteral("not a whole number");
    case refusal_kind::below_minimum:
        return QStringLiteral("below the minimum %1").arg(verdict.limit);
    case refusal_kind::above_maximum:
        return QStringLiteral("above the maximum %1").arg(verdict.limit);
    case refusal_kind::too_long:
        return QStringLiteral("longer than %1 characters").arg(verdict.limit);
    case refusal_kind::no_such_option:
        return QStringLiteral("not one of the options");
    case refusal_kind::read_only:
        return QStringLiteral("read-only");
    case refusal_kind::none:
        break;
    }
    return QString();
}

QString refused_value_text(const refused_value& refused)
{
    return QStringLiteral("%1 = %2 refused: %3")
        .arg(place_text(refused.key, refused.position, refused.label),
             quoted(printable(refused.value)), refusal_reason(refused.verdict));
}
