#include "device_commands.h"

namespace {

// The configurator always closes with this password, whatever the device password is.
const QString closing_password = QStringLiteral("7395");

const QString save_key = QStringLiteral("+SAVE");
const QString stream_key = QStringLiteral("+SDAD");
const QString closing_key = QStringLiteral("+TEXT");

// Position of the mode among the arguments of the streaming command "pw,,3,,,,,".
constexpr int stream_mode_argument = 2;

QString reply_name(const QString& key)
{
    return key.mid(1);
}

command_outcome reply(const QString& key, const QString& rest)
{
    return {(QStringLiteral("+RESP:") + reply_name(key) + rest).toUtf8(), command_effect::none, {}};
}

command_outcome error_reply(const QString& key, const char* kind)
{
    return reply(key, QStringLiteral(",ERROR,") + QLatin1String(kind));
}

QString value_fields(const QStringList& values)
{
    QString fields;
    for (const QString& value : values) {
        fields += QLatin1Char(',') + value;
    }
    return fields;
}

} // namespace

device_commands::device_commands(command_table& commands, const device_passwords& accepted,
                                 const QStringList& refused_commands)
    : table(commands), passwords(accepted)
{
    for (const QString& name : refused_commands) {
        refused.insert(command_key(name));
    }
}

command_outcome device_commands::execute(const QByteArray& command)
{
    const QString text = QString::fromUtf8(command);
    const int equals = text.indexOf(QLatin1Char('='));
    const QString head = equals < 0 ? text : text.left(equals);
    const QString key = command_key(head.startsWith(QLatin1String("AT")) ? head.mid(2) : head);
    if (refused.contains(key)) {
        return error_reply(key, "PERMISSION");
    }
    if (equals < 0 || !head.startsWith(QLatin1String("AT"))) {
        return error_reply(key, "COMMAND");
    }
    const QString rest = text.mid(equals + 1);
    const QStringList arguments = rest.split(QLatin1Char(','));
    if (key == save_key) {
        return save(arguments);
    }
    if (key == stream_key) {
        return stream(arguments);
    }
    if (key == closing_key) {
        return leave_command_mode(arguments);
    }
    if (table.find(key) == nullptr) {
        return error_reply(key, "COMMAND");
    }
    return rest == QLatin1String("?") ? read(key) : set(key, arguments);
}

command_outcome device_commands::read(const QString& key) const
{
    return reply(key, value_fields(table.find(key)->values));
}

command_outcome device_commands::set(const QString& key, const QStringList& arguments)
{
    const QString& expected = table.find(key)->master ? passwords.master : passwords.device;
    if (arguments.first() != expected) {
        return error_reply(key, "PASSWORD");
    }
    table.store(key, arguments.mid(1));
    command_outcome outcome = read(key);
    outcome.stored = key + QLatin1Char(' ') + table.find(key)->values.join(QLatin1Char(','));
    return outcome;
}

command_outcome device_commands::save(const QStringList& arguments) const
{
    if (arguments.first() != passwords.device) {
        return error_reply(save_key, "PASSWORD");
    }
    command_outcome outcome = reply(save_key, QStringLiteral(",OK"));
    outcome.effect = command_effect::save;
    return outcome;
}

command_outcome device_commands::stream(const QStringList& arguments) const
{
    if (arguments.first() != passwords.device) {
        return error_reply(stream_key, "PASSWORD");
    }
    const QString mode = arguments.value(stream_mode_argument);
    command_outcome outcome = reply(stream_key, QStringLiteral(",OK"));
    if (mode == QLatin1String("3")) {
        outcome.effect = command_effect::stream_on;
    } else if (mode == QLatin1String("0")) {
        outcome.effect = command_effect::stream_off;
    }
    return outcome;
}

// No reply: the configurator closes the port right after this command.
command_outcome device_commands::leave_command_mode(const QStringList& arguments) const
{
    const QString& password = arguments.first();
    if (password != closing_password && password != passwords.device) {
        return error_reply(closing_key, "PASSWORD");
    }
    return {{}, command_effect::data_mode, {}};
}
