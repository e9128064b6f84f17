#include "value_check.h"

#include "position_entry.h"
#include "tracker_commands.h"

#include <QRegularExpression>
#include <QSet>

namespace {

refusal_kind carry_refusal(tracker_commands::carry_fault fault)
{
    switch (fault) {
    case tracker_commands::carry_fault::comma:
        return refusal_kind::comma;
    case tracker_commands::carry_fault::carriage_return:
        return refusal_kind::carriage_return;
    case tracker_commands::carry_fault::line_feed:
        return refusal_kind::line_feed;
    case tracker_commands::carry_fault::nul:
        return refusal_kind::nul;
    case tracker_commands::carry_fault::none:
        break;
    }
    return refusal_kind::none;
}

// Digits too many for a number still have a side: they lie beyond the bound their sign faces.
value_verdict check_integer(const value_rule& rule, const QString& value)
{
    static const QRegularExpression whole_number(QStringLiteral("^-?[0-9]+$"));
    if (value.isEmpty()) {
        return {refusal_kind::empty, 0};
    }
    if (!whole_number.match(value).hasMatch()) {
        return {refusal_kind::not_a_number, 0};
    }
    bool fits = false;
    const qlonglong number = value.toLongLong(&fits);
    const bool negative = value.startsWith(QLatin1Char('-'));
    if (fits ? number < rule.minvalue : negative) {
        return {refusal_kind::below_minimum, rule.minvalue};
    }
    if (fits ? number > rule.maxvalue : !negative) {
        return {refusal_kind::above_maximum, rule.maxvalue};
    }
    return {};
}

value_verdict check_profile(const value_rule& rule, const QString& value)
{
    switch (rule.kind) {
    case parameter_kind::integer:
        return check_integer(rule, value);
    case parameter_kind::string:
        if (rule.maxlen && value.size() > *rule.maxlen) {
            return {refusal_kind::too_long, *rule.maxlen};
        }
        return {};
    case parameter_kind::option:
        return rule.options.contains(value) ? value_verdict{}
                                            : value_verdict{refusal_kind::no_such_option, 0};
    case parameter_kind::splitter:
    case parameter_kind::other:
        break;
    }
    return {};
}

// "длиннее 21 символа", "длиннее 32 символов"
QString characters(int count)
{
    const bool singular = count % 10 == 1 && count % 100 != 11;
    return QString::number(count) +
           (singular ? QStringLiteral(" символа") : QStringLiteral(" символов"));
}

} // namespace

value_rule rule_of(const profile_parameter& parameter, option_form form, bool writable)
{
    value_rule rule;
    rule.label = parameter.description;
    rule.kind = parameter.kind;
    rule.minvalue = parameter.minvalue;
    rule.maxvalue = parameter.maxvalue;
    if (parameter.has_maxlen) {
        rule.maxlen = parameter.maxlen;
    }
    for (const profile_option& option : parameter.options) {
        rule.options << (form == option_form::integer ? QString::number(option.value.toInt())
                                                      : option.value);
    }
    rule.writable = writable;
    return rule;
}

value_verdict check_value(const value_rule& rule, const QString& value)
{
    const refusal_kind carried = carry_refusal(tracker_commands::value_carry_fault(value));
    if (carried != refusal_kind::none) {
        return {carried, 0};
    }
    return check_profile(rule, value);
}

value_verdict check_frame(const QString& command, bool bluetooth)
{
    if (tracker_commands::fits_one_frame(command, bluetooth)) {
        return {};
    }
    return {refusal_kind::frame, tracker_commands::max_command_bytes(bluetooth)};
}

value_rules value_rules::of_simple_pages(const QList<profile_page>& pages)
{
    value_rules rules;
    for (const profile_page& page : pages) {
        for (const profile_parameter& parameter : page.parameters) {
            for (const position_entry& entry : parse_entry_list(parameter.write)) {
                rules.add(entry.key, entry.index, rule_of(parameter, option_form::text, true));
            }
            for (const position_entry& entry : parse_entry_list(parameter.read)) {
                rules.add(entry.key, entry.index, rule_of(parameter, option_form::text, false));
            }
        }
    }
    return rules;
}

value_rules value_rules::of_expert_pages(const QList<profile_page>& pages)
{
    value_rules rules;
    QSet<QString> commands_seen;
    for (const profile_page& page : pages) {
        QList<QList<value_rule>> page_blocks;
        for (const profile_command& command : page.commands) {
            const bool first_block = !commands_seen.contains(command.command);
            commands_seen.insert(command.command);
            QList<value_rule> block;
            for (int k = 0; k < command.parameters.size(); ++k) {
                const profile_parameter& parameter = command.parameters.at(k);
                block << rule_of(parameter, option_form::integer, !parameter.readonly);
                if (first_block) {
                    rules.add(command.command, k + 1, block.last());
                }
            }
            page_blocks << block;
        }
        rules.blocks << page_blocks;
    }
    return rules;
}

const value_rule* value_rules::find(const QString& key, int position) const
{
    const auto found = by_position.constFind({key, position});
    return found == by_position.constEnd() ? nullptr : &*found;
}

value_verdict value_rules::check(const QString& key, int position, const QString& value) const
{
    const value_rule* rule = find(key, position);
    if (!rule) {
        return {};
    }
    if (!rule->writable) {
        return {refusal_kind::read_only, 0};
    }
    return check_value(*rule, value);
}

QList<value_rule> value_rules::block(int page, int cmd) const
{
    return blocks.value(page).value(cmd);
}

void value_rules::add(const QString& key, int position, const value_rule& rule)
{
    const value_rule* known = find(key, position);
    if (!known || (!known->writable && rule.writable)) {
        by_position.insert({key, position}, rule);
    }
}

QString refusal_text(const value_verdict& verdict)
{
    switch (verdict.kind) {
    case refusal_kind::comma:
        return QStringLiteral("запятая недопустима");
    case refusal_kind::carriage_return:
        return QStringLiteral("возврат каретки недопустим");
    case refusal_kind::line_feed:
        return QStringLiteral("перевод строки недопустим");
    case refusal_kind::nul:
        return QStringLiteral("нулевой символ недопустим");
    case refusal_kind::frame:
        return QStringLiteral("команда длиннее %1 байт").arg(verdict.limit);
    case refusal_kind::empty:
        return QStringLiteral("пустое значение");
    case refusal_kind::not_a_number:
        return QStringLiteral("не число");
    case refusal_kind::below_minimum:
        return QStringLiteral("меньше %1").arg(verdict.limit);
    case refusal_kind::above_maximum:
        return QStringLiteral("больше %1").arg(verdict.limit);
    case refusal_kind::too_long:
        return QStringLiteral("длиннее ") + characters(verdict.limit);
    case refusal_kind::no_such_option:
        return QStringLiteral("нет такого варианта");
    case refusal_kind::read_only:
        return QStringLiteral("только для чтения");
    case refusal_kind::none:
        break;
    }
    return QString();
}

QString refusal_line(const refused_value& refused)
{
    const QString place = refused.label.isEmpty()
                              ? QStringLiteral("%1, #%2").arg(refused.key).arg(refused.position)
                              : refused.label;
    return place + QStringLiteral(": ") + refusal_text(refused.verdict);
}
