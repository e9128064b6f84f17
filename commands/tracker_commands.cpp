#include "tracker_commands.h"

namespace tracker_commands {

namespace {

const QString error_word = QStringLiteral("ERROR");
constexpr int frame_capacity = 1023;

refusal refusal_of(const QString& kind)
{
    if (kind == QLatin1String("PERMISSION"))
        return refusal::permission;
    if (kind == QLatin1String("PASSWORD"))
        return refusal::password;
    if (kind == QLatin1String("COMMAND"))
        return refusal::command;
    return refusal::none;
}

} // namespace

int max_command_bytes(bool bluetooth)
{
    return bluetooth ? frame_capacity - 1 : frame_capacity - 2;
}

carry_fault value_carry_fault(const QString& value)
{
    if (value.contains(QLatin1Char(',')))
        return carry_fault::comma;
    if (value.contains(QLatin1Char('\r')))
        return carry_fault::carriage_return;
    if (value.contains(QLatin1Char('\n')))
        return carry_fault::line_feed;
    if (value.contains(QChar(0)))
        return carry_fault::nul;
    return carry_fault::none;
}

bool fits_one_frame(const QString& command, bool bluetooth)
{
    return command.toUtf8().size() <= max_command_bytes(bluetooth);
}

QString read(const QString& key)
{
    return QStringLiteral("AT") + key + QStringLiteral("=?");
}

QString set(const QString& key, const QString& password, const QStringList& values)
{
    QString text = QStringLiteral("AT") + key + QLatin1Char('=') + password + QLatin1Char(',');
    for (const QString& value : values)
        text += value + QLatin1Char(',');
    return text;
}

QString save(const QString& password)
{
    return set(save_key, password, {});
}

QString streaming(const QString& password, stream_mode mode)
{
    const QString digits = QString::number(static_cast<int>(mode));
    return set(streaming_key, password,
               {QString(), digits, QString(), QString(), QString(), QString()});
}

QString closing()
{
    return set(closing_key, closing_password, {});
}

bool ends_command_mode(const QString& command)
{
    // The tracker's commands are upper case, but whether it reads a key without regard to case is
    // not known: refusing every spelling costs nothing, sending one ends the session.
    const QString text = command.trimmed();
    if (!text.startsWith(QLatin1String("AT"), Qt::CaseInsensitive))
        return false;
    const QString key = text.mid(2).section(QLatin1Char('='), 0, 0).trimmed();
    return key.compare(closing_key, Qt::CaseInsensitive) == 0;
}

QString masked(const QString& command)
{
    const int equals = command.indexOf(QLatin1Char('='));
    if (!command.startsWith(QLatin1String("AT"), Qt::CaseInsensitive) || equals < 0)
        return command;
    const int comma = command.indexOf(QLatin1Char(','), equals + 1);
    const int end = comma < 0 ? command.size() : comma;
    // A read ("=?") carries no password; nor does a command with an empty first field.
    if (end == equals + 1 || command.at(equals + 1) == QLatin1Char('?'))
        return command;
    return command.left(equals + 1) + QStringLiteral("****") + command.mid(end);
}

bool reply::carries_values() const
{
    // "+RESP:ERROR,KIND" names no command; "+RESP:NAME,ERROR,KIND" is a refusal. A line whose only
    // colon is in a value ("+RESP,12:30") names none either: its empty key would stand for every
    // command.
    const QString name = fields.at(0).mid(head.size() + 1);
    return single_colon && has_name && well_formed() && !name.isEmpty() && name != error_word &&
           refused == refusal::none;
}

reply parse_reply(const QString& line)
{
    reply r;
    r.fields = line.split(QLatin1Char(','));
    const QString& first = r.fields.at(0);
    const int colon = first.indexOf(QLatin1Char(':'));
    r.has_name = colon >= 0;
    r.head = r.has_name ? first.left(colon) : first;
    if (r.has_name)
        r.key = QLatin1Char('+') + first.mid(colon + 1).section(QLatin1Char(':'), 0, 0);
    r.single_colon = line.count(QLatin1Char(':')) == 1;
    if (r.fields.size() > 2 && r.fields.at(1) == error_word)
        r.refused = refusal_of(r.fields.at(2));
    return r;
}

device_state_line parse_device_state_line(const QString& line)
{
    const QStringList fields = line.split(QLatin1Char(','));
    device_state_line parsed;
    if (fields.size() < 3)
        return parsed;
    parsed.valid = true;
    parsed.schema_id = fields.at(1).toInt();
    parsed.payload = fields.at(2);
    return parsed;
}

QString refusal_text(refusal kind)
{
    switch (kind) {
    case refusal::permission:
        return QStringLiteral("Ошибка прав доступа");
    case refusal::password:
        return QStringLiteral("Неверный пароль");
    case refusal::command:
        return QStringLiteral("Неверная команда");
    case refusal::none:
        break;
    }
    return QString();
}

} // namespace tracker_commands
