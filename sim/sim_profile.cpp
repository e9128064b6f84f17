#include "sim_profile.h"

#include <QDomDocument>
#include <QFile>

namespace {

// Every element named tag at any depth below node, in document order.
template <typename Node>
QList<QDomElement> below(const Node& node, const QString& tag)
{
    QList<QDomElement> elements;
    const QDomNodeList found = node.elementsByTagName(tag);
    for (int k = 0; k < found.size(); ++k) {
        elements.append(found.at(k).toElement());
    }
    return elements;
}

bool flag(const QDomElement& element, const char* name)
{
    return element.attribute(QLatin1String(name)) == QLatin1String("true");
}

double number_or(const QDomElement& element, const char* name, double fallback)
{
    bool ok = false;
    const double number = element.attribute(QLatin1String(name)).toDouble(&ok);
    return ok ? number : fallback;
}

// Only these types give a position in a command's values.
bool has_value(const QDomElement& parameter)
{
    const QString type = parameter.attribute(QStringLiteral("type"));
    return type == QLatin1String("integer") || type == QLatin1String("string") ||
           type == QLatin1String("option");
}

QString initial_value(const QDomElement& parameter)
{
    const QString given = parameter.attribute(QStringLiteral("defaultvalue"));
    if (!given.isEmpty()) {
        return given;
    }
    const QString type = parameter.attribute(QStringLiteral("type"));
    const QList<QDomElement> options = below(parameter, QStringLiteral("option"));
    if (type == QLatin1String("option") && !options.isEmpty()) {
        return options.first().attribute(QStringLiteral("value"));
    }
    if (type == QLatin1String("integer")) {
        const int low = parameter.attribute(QStringLiteral("minvalue")).toInt();
        const int high = parameter.attribute(QStringLiteral("maxvalue")).toInt();
        return QString::number(qMax(low, qMin(0, high)));
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

void add_expert_commands(QList<sim_command>& commands, const QDomElement& section)
{
    for (const QDomElement& element : below(section, QStringLiteral("command"))) {
        sim_command& command = command_for(commands, element.attribute(QStringLiteral("command")));
        command.master = command.master || flag(element, "master");
        int position = 0;
        for (const QDomElement& parameter : below(element, QStringLiteral("parameter"))) {
            if (has_value(parameter)) {
                fill_position(command, ++position, initial_value(parameter));
            }
        }
    }
}

// Entries "+NAME,#n" separated by ";"; the character before the number is not checked.
void add_entries(QList<sim_command>& commands, const QDomElement& parameter, const char* list)
{
    for (const QString& entry : parameter.attribute(QLatin1String(list)).split(QLatin1Char(';'))) {
        const QStringList parts = entry.split(QLatin1Char(','));
        const int position = parts.value(1).mid(1).toInt();
        if (parts.size() < 2 || position < 1) {
            continue;
        }
        sim_command& command = command_for(commands, parts[0]);
        command.master = command.master || flag(parameter, "master");
        fill_position(command, position, initial_value(parameter));
    }
}

void add_simple_commands(QList<sim_command>& commands, const QDomElement& section)
{
    for (const QDomElement& parameter : below(section, QStringLiteral("parameter"))) {
        add_entries(commands, parameter, "read");
        add_entries(commands, parameter, "write");
    }
}

QList<record_layout> layouts_of(const QDomDocument& document)
{
    QList<record_layout> layouts;
    for (const QDomElement& rawdata : below(document, QStringLiteral("rawdata"))) {
        layouts.append({rawdata.attribute(QStringLiteral("id")).toInt(),
                        rawdata.attribute(QStringLiteral("schema"))});
    }
    return layouts;
}

QList<field_display> displays_of(const QDomDocument& document)
{
    QList<field_display> displays;
    for (const QDomElement& element : below(document, QStringLiteral("display"))) {
        field_display display{element.attribute(QStringLiteral("field")),
                              element.attribute(QStringLiteral("display_as")),
                              number_or(element, "multiplier", 1.0),
                              number_or(element, "valid_range_min", 0.0),
                              number_or(element, "valid_range_max", 0.0),
                              {}};
        for (const QDomElement& option : below(element, QStringLiteral("option"))) {
            display.option_ids.append(option.attribute(QStringLiteral("id")));
        }
        displays.append(display);
    }
    return displays;
}

} // namespace

bool parse_sim_profile(const QByteArray& xml, sim_profile& profile, QString& error)
{
    QDomDocument document;
    QString message;
    int line = 0;
    if (!document.setContent(xml, true, &message, &line)) {
        error = QStringLiteral("%1 at line %2").arg(message).arg(line);
        return false;
    }
    QList<sim_command> commands;
    add_expert_commands(
        commands, document.elementsByTagName(QStringLiteral("expert_mode")).item(0).toElement());
    add_simple_commands(
        commands, document.elementsByTagName(QStringLiteral("simple_mode")).item(0).toElement());
    profile = {commands, layouts_of(document), displays_of(document)};
    return true;
}

bool load_sim_profile(const QString& path, sim_profile& profile, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!parse_sim_profile(file.readAll(), profile, error)) {
        error = path + QStringLiteral(": ") + error;
        return false;
    }
    return true;
}
