#include "sim_profile.h"

namespace {

QString initial_value(const parameter_spec& parameter)
{
    if (!parameter.defaultvalue.isEmpty()) {
        return parameter.defaultvalue;
    }
    if (parameter.type == QLatin1String("option") && !parameter.options.isEmpty()) {
        return parameter.options.first().value;
    }
    if (parameter.type == QLatin1String("integer")) {
        return QString::number(qMax(parameter.minvalue, qMin(0, parameter.maxvalue)));
    }
    return QString();
}

sim_command& command_for(QList<sim_command>& commands, const QString& key)
{
    for (sim_command& command : commands) {
        if (command.key == key) {
            return command;
        }
    }
    commands.append(sim_command{key, false, {}});
    return commands.last();
}

void fill_position(sim_command& command, int position, const QString& value)
{
    while (command.values.size() < position) {
        command.values.append(QString());
    }
    if (command.values[position - 1].isEmpty()) {
        command.values[position - 1] = value;
    }
}

void add_expert_command(QList<sim_command>& commands, const command_spec& source)
{
    sim_command& command = command_for(commands, source.command);
    command.master = command.master || source.master;
    for (int k = 0; k < source.parameters.size(); ++k) {
        fill_position(command, k + 1, initial_value(source.parameters[k]));
    }
}

// Entries "+NAME,#n" separated by ";"; the character before the number is not checked.
void add_simple_entries(QList<sim_command>& commands, const parameter_spec& parameter,
                        const QString& entries)
{
    for (const QString& entry : entries.split(QLatin1Char(';'))) {
        const QStringList parts = entry.split(QLatin1Char(','));
        if (parts.size() < 2) {
            continue;
        }
        const int position = parts[1].mid(1).toInt();
        if (position < 1) {
            continue;
        }
        sim_command& command = command_for(commands, parts[0]);
        command.master = command.master || parameter.master;
        fill_position(command, position, initial_value(parameter));
    }
}

QList<display_spec> flatten(const QList<row_spec>& rows)
{
    QList<display_spec> displays;
    for (const row_spec& row : rows) {
        displays.append(row.displays);
    }
    return displays;
}

} // namespace

QList<sim_command> merge_commands(const QList<page_spec>& expert_pages,
                                  const QList<page_spec>& simple_pages)
{
    QList<sim_command> commands;
    for (const page_spec& page : expert_pages) {
        for (const command_spec& command : page.commands) {
            add_expert_command(commands, command);
        }
    }
    for (const page_spec& page : simple_pages) {
        for (const parameter_spec& parameter : page.parameters) {
            add_simple_entries(commands, parameter, parameter.read);
            add_simple_entries(commands, parameter, parameter.write);
        }
    }
    return commands;
}

bool load_sim_profile(const QString& path, sim_profile& profile, QString& error)
{
    QList<page_spec> expert_pages;
    QList<page_spec> simple_pages;
    QList<rawdata_spec> rawdata;
    QList<row_spec> rows;
    if (!read_mode_pages(path, false, expert_pages, error) ||
        !read_mode_pages(path, true, simple_pages, error) ||
        !read_device_state(path, rawdata, rows, error)) {
        return false;
    }
    profile.commands = merge_commands(expert_pages, simple_pages);
    profile.rawdata = rawdata;
    profile.displays = flatten(rows);
    return true;
}
