#include "provisioning_plan.h"

#include "parameter_value_store.h"
#include "position_names.h"
#include "simple_entries.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString identity_column = QStringLiteral("identity");

// One CSV record per call, as RFC 4180 has it: quoted fields may hold commas, quotes ("") and
// line breaks. line counts the lines read, for messages.
bool next_record(const QString& text, int& at, int& line, QStringList& fields, QString& error)
{
    fields.clear();
    QString field;
    bool quoted_field = false;
    bool in_quotes = false;
    const int start_line = line;
    while (at < text.size()) {
        const QChar c = text.at(at++);
        if (in_quotes) {
            if (c == QLatin1Char('"') && at < text.size() && text.at(at) == QLatin1Char('"')) {
                field += c;
                ++at;
            } else if (c == QLatin1Char('"')) {
                in_quotes = false;
            } else {
                line += c == QLatin1Char('\n') ? 1 : 0;
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty() && !quoted_field) {
            in_quotes = quoted_field = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
            quoted_field = false;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && at < text.size() && text.at(at) == QLatin1Char('\n')) {
                ++at;
            }
            ++line;
            break;
        } else if (quoted_field) {
            error = QStringLiteral("line %1: text after a closing quote").arg(start_line);
            return false;
        } else {
            field += c;
        }
    }
    if (in_quotes) {
        error = QStringLiteral("line %1: a quote is never closed").arg(start_line);
        return false;
    }
    fields << field;
    return true;
}

bool blank(const QStringList& fields)
{
    return fields.size() == 1 && fields.first().trimmed().isEmpty();
}

void set_value(QList<configured_command>& commands, const QString& key, int position,
               const QString& value)
{
    auto command = std::find_if(commands.begin(), commands.end(),
                                [&](const configured_command& given) { return given.key == key; });
    if (command == commands.end()) {
        commands.append({key, {}});
        command = commands.end() - 1;
    }
    while (command->values.size() < position) {
        command->values.append(std::nullopt);
    }
    command->values[position - 1] = value;
}

struct column
{
    QString key;
    int position = 0;
};

bool read_header(const QStringList& fields, const value_rules& rules, QList<column>& columns,
                 int& identity_at, QString& error)
{
    identity_at = int(fields.indexOf(identity_column));
    if (identity_at < 0) {
        error = QStringLiteral("line 1: no column \"identity\"");
        return false;
    }
    for (int i = 0; i < fields.size(); ++i) {
        column named;
        if (i != identity_at) {
            const value_rule* rule = nullptr;
            if (!parse_position(fields.at(i).trimmed(), named.key, named.position) ||
                !(rule = rules.find(named.key, named.position)) || !rule->writable) {
                error = QStringLiteral("line 1: column \"%1\" is no position the profile's "
                                       "simple mode writes")
                            .arg(fields.at(i));
                return false;
            }
            for (const column& earlier : qAsConst(columns)) {
                if (earlier.key == named.key && earlier.position == named.position) {
                    error = QStringLiteral("line 1: column \"%1\" given twice").arg(fields.at(i));
                    return false;
                }
            }
        }
        columns << named;
    }
    return true;
}

} // namespace

bool parse_position(const QString& text, QString& key, int& position)
{
    static const QRegularExpression form(QStringLiteral("^(\\+[A-Za-z0-9_]+)#([1-9][0-9]{0,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    key = match.captured(1);
    position = match.captured(2).toInt();
    return true;
}

bool read_unit_values(const QByteArray& bytes, provisioning_plan& plan, QString& error)
{
    const QString text = QString::fromUtf8(bytes);
    int at = 0;
    int line = 1;
    QStringList fields;
    QList<column> columns;
    int identity_at = -1;
    if (!next_record(text, at, line, fields, error) ||
        !read_header(fields, plan.rules, columns, identity_at, error)) {
        return false;
    }
    QHash<QString, unit_row> units;
    while (at < text.size()) {
        const int record_line = line;
        if (!next_record(text, at, line, fields, error)) {
            return false;
        }
        if (blank(fields)) {
            continue;
        }
        if (fields.size() != columns.size()) {
            error = QStringLiteral("line %1: %2 fields, the header has %3")
                        .arg(record_line)
                        .arg(fields.size())
                        .arg(columns.size());
            return false;
        }
        unit_row row;
        row.identity = fields.at(identity_at).trimmed();
        if (row.identity.isEmpty() || units.contains(row.identity)) {
            error = row.identity.isEmpty() ? QStringLiteral("line %1: no identity").arg(record_line)
                                           : QStringLiteral("line %1: identity %2 given twice")
                                                 .arg(record_line)
                                                 .arg(row.identity);
            return false;
        }
        for (int i = 0; i < columns.size(); ++i) {
            if (i != identity_at) {
                set_value(row.values, columns.at(i).key, columns.at(i).position, fields.at(i));
            }
        }
        units.insert(row.identity, row);
    }
    plan.units = units;
    plan.per_unit = true;
    return true;
}

bool read_unit_file(const QString& path, provisioning_plan& plan, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    // One byte past the limit tells a file that is too large.
    const QByteArray text = file.read(max_configuration_bytes + 1);
    if (text.size() > max_configuration_bytes) {
        error = QStringLiteral("larger than %1 bytes").arg(max_configuration_bytes);
        return false;
    }
    return read_unit_values(text, plan, error);
}

identity_choice choose_identity(const QString& text, provisioning_plan& plan)
{
    const QString given = text.trimmed();
    if (given.isEmpty()) {
        plan.identity = find_identity(plan.simple_pages);
        return plan.identity.key.isEmpty() ? identity_choice::not_marked : identity_choice::taken;
    }
    if (!parse_position(given, plan.identity.key, plan.identity.position)) {
        return identity_choice::malformed;
    }
    // Every tracker would fail at a position the profile does not read.
    return plan.rules.find(plan.identity.key, plan.identity.position) ? identity_choice::taken
                                                                      : identity_choice::not_read;
}

std::optional<tracker_configuration>
provisioning_plan::configuration_for(const QString& unit_identity) const
{
    // A file read from a first unit holds that unit's own read-only values, such as its IMEI:
    // they are no part of what the others get.
    tracker_configuration merged = file;
    for (configured_command& command : merged.commands) {
        for (int i = 0; i < command.values.size(); ++i) {
            const value_rule* rule = rules.find(command.key, i + 1);
            if (rule && !rule->writable) {
                command.values[i] = std::nullopt;
            }
        }
    }
    if (!per_unit) {
        return merged;
    }
    const auto row = units.constFind(unit_identity);
    if (row == units.constEnd()) {
        return std::nullopt;
    }
    for (const configured_command& command : row->values) {
        for (int i = 0; i < command.values.size(); ++i) {
            if (command.values.at(i)) {
                set_value(merged.commands, command.key, i + 1, *command.values.at(i));
            }
        }
    }
    return merged;
}

QStringList refused_in_plan(const provisioning_plan& plan)
{
    parameter_value_store store;
    register_simple_pages(plan.simple_pages, store);
    const auto refusals = [&](const tracker_configuration& configuration) {
        QStringList lines;
        for (const refused_value& value :
             refused_in_file(store, configuration, plan.rules, plan.frame)) {
            lines << refused_value_text(value);
        }
        return lines;
    };
    const QStringList in_file = refusals(plan.file);
    QStringList refused;
    for (const QString& line : in_file) {
        refused << QStringLiteral("configuration file: ") + line;
    }
    QStringList identities = plan.units.keys();
    identities.sort();
    // Each unit's whole configuration: its values may make a command too long for one frame.
    for (const QString& identity : qAsConst(identities)) {
        for (const QString& line : refusals(*plan.configuration_for(identity))) {
            if (!in_file.contains(line)) {
                refused << QStringLiteral("unit %1: ").arg(identity) + line;
            }
        }
    }
    return refused;
}
