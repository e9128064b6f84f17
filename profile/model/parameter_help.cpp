#include "parameter_help.h"

#include "value_check.h"

#include <QStringList>

namespace {

QString positions_text(const QList<position_entry>& entries)
{
    QStringList positions;
    for (const position_entry& entry : entries) {
        positions << (entry.has_position()
                          ? QStringLiteral("%1, #%2").arg(entry.key).arg(entry.index)
                          : entry.key);
    }
    return positions.join(QStringLiteral("; "));
}

QString with_unit(const QString& value, const QString& unit)
{
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

// A list's default is named by its option's text, as the list shows it.
QString default_text(const profile_parameter& parameter)
{
    for (const profile_option& option : parameter.options) {
        if (option.value == parameter.defaultvalue) {
            return option.text;
        }
    }
    return with_unit(parameter.defaultvalue, label_unit(parameter));
}

QString options_text(const profile_parameter& parameter)
{
    QStringList texts;
    for (const profile_option& option : parameter.options) {
        texts << option.text;
    }
    return texts.join(QStringLiteral(", "));
}

} // namespace

parameter_route simple_route(const parameter_entries& entries, bool master)
{
    if (entries.write.isEmpty()) {
        return {positions_text(entries.read), false, true};
    }
    return {positions_text(entries.write), master, false};
}

parameter_route expert_route(const profile_command& command, int index)
{
    return {QStringLiteral("%1, #%2").arg(command.command).arg(index + 1), command.master,
            command.parameters.at(index).readonly};
}

// Units are short and single words: a longer tail after the comma is part of the name.
QString label_unit(const profile_parameter& parameter)
{
    if (parameter.kind != parameter_kind::integer) {
        return QString();
    }
    const int comma = parameter.description.lastIndexOf(QStringLiteral(", "));
    const QString tail = comma < 0 ? QString() : parameter.description.mid(comma + 2);
    const bool unit = !tail.isEmpty() && tail.size() <= 5 && !tail.contains(QLatin1Char(' '));
    return unit ? tail : QString();
}

QString accepted_values(const profile_parameter& parameter)
{
    if (parameter.kind == parameter_kind::integer) {
        return with_unit(QStringLiteral("целое число от %1 до %2")
                             .arg(parameter.minvalue)
                             .arg(parameter.maxvalue),
                         label_unit(parameter));
    }
    if (parameter.kind == parameter_kind::string && parameter.has_maxlen) {
        return QStringLiteral("не ") + refusal_text({refusal_kind::too_long, parameter.maxlen});
    }
    return QString();
}

// A read-only field takes nothing, so its bounds and default would only mislead.
QString parameter_help(const profile_parameter& parameter, const parameter_route& route)
{
    QStringList lines{parameter.description};
    if (!route.read_only) {
        const QString accepted = accepted_values(parameter);
        if (!accepted.isEmpty()) {
            lines << QStringLiteral("Допустимо: ") + accepted;
        }
        if (!parameter.options.isEmpty()) {
            lines << QStringLiteral("Варианты: ") + options_text(parameter);
        }
        if (!parameter.defaultvalue.isEmpty()) {
            lines << QStringLiteral("По умолчанию: ") + default_text(parameter);
        }
    }
    if (!route.positions.isEmpty()) {
        lines << QStringLiteral("Команда: ") + route.positions;
    }
    if (route.read_only) {
        lines << QStringLiteral("Только для чтения");
    } else if (route.master) {
        lines << QStringLiteral("Записывается с мастер-паролем");
    }
    return lines.join(QLatin1Char('\n'));
}
