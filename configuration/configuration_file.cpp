#include "tracker_configuration.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString format_name = QStringLiteral("tracker-configuration");
constexpr int format_version = 1;

bool fail(QString* error, const QString& text)
{
    if (error) {
        *error = text;
    }
    return false;
}

// Only what JSON requires, and U+FEFF, is escaped: Cyrillic and other text stays readable.
void append_json_string(QByteArray& out, const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('"');
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == '"' || code == '\\') {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (code == '\n') {
            escaped += QLatin1String("\\n");
        } else if (code == '\r') {
            escaped += QLatin1String("\\r");
        } else if (code == '\t') {
            escaped += QLatin1String("\\t");
        } else if (code < 0x20 || code == 0xFEFF) {
            // A reader may take a U+FEFF at the start of a text for a byte order mark and drop it.
            escaped += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        } else {
            escaped += c;
        }
    }
    escaped += QLatin1Char('"');
    out += escaped.toUtf8();
}

void append_values(QByteArray& out, const QList<std::optional<QString>>& values)
{
    out += '[';
    for (int i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        if (values.at(i)) {
            append_json_string(out, *values.at(i));
        } else {
            out += "null";
        }
    }
    out += ']';
}

bool is_json_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int line_at(const QByteArray& text, int offset)
{
    return int(text.left(offset).count('\n')) + 1;
}

// The parser stops past the token that broke the text and the blanks after it; the line people
// look for is the one with that token. Only trailing garbage is reported where it starts. The
// parser's offset may lie past the end of a text cut short.
int error_line(const QByteArray& text, const QJsonParseError& error)
{
    int offset = qBound(0, int(error.offset), int(text.size()));
    if (error.error != QJsonParseError::GarbageAtEnd) {
        while (offset > 0 && is_json_space(text.at(offset - 1))) {
            --offset;
        }
    }
    return line_at(text, offset);
}

// The JSON parser takes a backslash before any byte as an escape of that byte, so a byte that is
// no UTF-8 would become another character unnoticed. -1 when the whole text is UTF-8. Decoding
// drops a byte order mark, which editors may write and the parser skips.
int first_invalid_utf8(const QByteArray& text)
{
    const int start = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const QByteArray again =
        QString::fromUtf8(text.constData() + start, text.size() - start).toUtf8();
    int i = 0;
    while (i < again.size() && start + i < text.size() && text.at(start + i) == again.at(i)) {
        ++i;
    }
    return start + i == text.size() && i == again.size() ? -1 : start + i;
}

// Index of the quote that closes the string opening at start.
int string_end(const QByteArray& text, int start)
{
    int i = start + 1;
    while (i < text.size() && text.at(i) != '"') {
        i += text.at(i) == '\\' ? 2 : 1;
    }
    return i;
}

QString decoded_string(const QByteArray& token)
{
    if (!token.contains('\\')) {
        return QString::fromUtf8(token.mid(1, token.size() - 2));
    }
    return QJsonDocument::fromJson('[' + token + ']').array().at(0).toString();
}

bool followed_by_colon(const QByteArray& text, int from)
{
    while (from < text.size() && is_json_space(text.at(from))) {
        ++from;
    }
    return from < text.size() && text.at(from) == ':';
}

struct key_in_text
{
    QString key;
    int offset = 0;
};

struct keys_in_text
{
    QList<key_in_text> members;  // of the top-level object
    QList<key_in_text> commands; // of the "commands" objects
};

// The keys in the order the text writes them, repeated ones too, which QJsonObject keeps neither
// of. The text is valid JSON already, so only strings and brackets need a look.
keys_in_text keys_in_order(const QByteArray& text)
{
    keys_in_text keys;
    bool in_commands = false;
    int depth = 0;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"') {
            const int end = string_end(text, i);
            if (depth <= 2 && followed_by_colon(text, end + 1)) {
                const key_in_text key{decoded_string(text.mid(i, end - i + 1)), i};
                if (depth == 1) {
                    keys.members.append(key);
                } else if (in_commands) {
                    keys.commands.append(key);
                }
            }
            i = end;
        } else if (c == '{' || c == '[') {
            if (depth == 1) {
                in_commands = c == '{' && !keys.members.isEmpty() &&
                              keys.members.last().key == QLatin1String("commands");
            }
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return keys;
}

// A key given twice leaves it open which value the file means.
bool check_unique(const QByteArray& text, const QList<key_in_text>& keys, QString* error)
{
    QHash<QString, int> first_offset;
    for (const key_in_text& where : keys) {
        const auto found = first_offset.constFind(where.key);
        if (found != first_offset.constEnd()) {
            return fail(error, QStringLiteral("\"%1\" is given twice (lines %2 and %3)")
                                   .arg(where.key)
                                   .arg(line_at(text, *found))
                                   .arg(line_at(text, where.offset)));
        }
        first_offset.insert(where.key, where.offset);
    }
    return true;
}

// "+" and a name that a command line and a reply can carry: none of the language's separators,
// no blank, no control character.
bool is_command_key(const QString& key)
{
    if (key.size() < 2 || key.at(0) != QLatin1Char('+') || !key.isValidUtf16()) {
        return false;
    }
    for (const QChar c : QStringView(key).mid(1)) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == QLatin1Char(',') ||
            c == QLatin1Char(':') || c == QLatin1Char('=')) {
            return false;
        }
    }
    return true;
}

bool check_command_keys(const QByteArray& text, const QList<key_in_text>& keys, QString* error)
{
    for (const key_in_text& where : keys) {
        if (!is_command_key(where.key)) {
            return fail(error, QStringLiteral("\"%1\" (line %2) is not a command key: \"+\" and "
                                              "a name")
                                   .arg(where.key)
                                   .arg(line_at(text, where.offset)));
        }
    }
    return check_unique(text, keys, error);
}

bool check_header(const QJsonObject& root, QString* error)
{
    if (root.value(QLatin1String("format")).toString() != format_name) {
        return fail(error, QStringLiteral("Not a tracker configuration: \"format\" is not \"%1\"")
                               .arg(format_name));
    }
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isDouble()) {
        return fail(error, QStringLiteral("\"version\" is missing or not a number"));
    }
    if (version.toDouble() > format_version) {
        return fail(error, QStringLiteral("Version %1 is newer than this program reads (%2)")
                               .arg(version.toDouble())
                               .arg(format_version));
    }
    if (version.toDouble() != format_version) {
        return fail(error, QStringLiteral("Version %1 is not known").arg(version.toDouble()));
    }
    for (const char* member : {"profile", "created"}) {
        const QJsonValue value = root.value(QLatin1String(member));
        if (!value.isUndefined() && !value.isString()) {
            return fail(error, QStringLiteral("\"%1\" is not a text").arg(QLatin1String(member)));
        }
        if (!value.toString().isValidUtf16()) {
            return fail(error,
                        QStringLiteral("\"%1\" is not valid Unicode").arg(QLatin1String(member)));
        }
    }
    if (!root.value(QLatin1String("commands")).isObject()) {
        return fail(error, QStringLiteral("\"commands\" is missing or not an object"));
    }
    return true;
}

// Empty when the values are acceptable, else what is wrong with them.
QString read_values(const QJsonValue& value, QList<std::optional<QString>>& values)
{
    if (!value.isArray()) {
        return QStringLiteral("the values are not a list");
    }
    const QJsonArray array = value.toArray();
    values.reserve(array.size());
    for (int i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        if (element.isNull()) {
            values.append(std::nullopt);
        } else if (!element.isString()) {
            return QStringLiteral("position %1 is neither a text nor null").arg(i + 1);
        } else if (element.toString().isValidUtf16()) {
            values.append(element.toString());
        } else {
            // A lone surrogate would be written back, and sent, as another character.
            return QStringLiteral("position %1 is not valid Unicode").arg(i + 1);
        }
    }
    return QString();
}

// The values come from the parsed object, taken in one pass rather than looked up key by key; the
// order, and the line of a faulty command, come from the text.
bool read_commands(const QByteArray& text, const QList<key_in_text>& keys,
                   const QJsonObject& object, QList<configured_command>& commands, QString* error)
{
    if (!check_command_keys(text, keys, error)) {
        return false;
    }
    QHash<QString, int> index_of_key;
    for (const key_in_text& where : keys) {
        index_of_key.insert(where.key, commands.size());
        commands.append({where.key, {}});
    }
    int faulty = commands.size();
    QString problem;
    for (auto member = object.begin(); member != object.end(); ++member) {
        const auto index = index_of_key.constFind(member.key());
        if (index == index_of_key.constEnd()) {
            continue;
        }
        const QString found = read_values(member.value(), commands[*index].values);
        if (!found.isEmpty() && *index < faulty) {
            faulty = *index;
            problem = found;
        }
    }
    if (faulty == commands.size()) {
        return true;
    }
    return fail(error, QStringLiteral("%1 (line %2): %3")
                           .arg(commands.at(faulty).key)
                           .arg(line_at(text, keys.at(faulty).offset))
                           .arg(problem));
}

} // namespace

QByteArray configuration_json(const tracker_configuration& configuration)
{
    QByteArray out = "{\n  \"format\": ";
    append_json_string(out, format_name);
    out += ",\n  \"version\": " + QByteArray::number(format_version) + ",\n  \"profile\": ";
    append_json_string(out, configuration.profile);
    if (configuration.created.isValid()) {
        out += ",\n  \"created\": ";
        append_json_string(out, configuration.created.toUTC().toString(Qt::ISODate));
    }
    out += ",\n  \"commands\": {";
    for (int i = 0; i < configuration.commands.size(); ++i) {
        const configured_command& command = configuration.commands.at(i);
        out += i > 0 ? ",\n    " : "\n    ";
        append_json_string(out, command.key);
        out += ": ";
        append_values(out, command.values);
    }
    out += configuration.commands.isEmpty() ? "}\n}\n" : "\n  }\n}\n";
    return out;
}

QByteArray configuration_sha256(const tracker_configuration& configuration)
{
    tracker_configuration commands_only;
    commands_only.commands = configuration.commands;
    return QCryptographicHash::hash(configuration_json(commands_only), QCryptographicHash::Sha256)
        .toHex();
}

bool write_configuration_file(const QString& path, const tracker_configuration& configuration,
                              QString* error)
{
    // The old file stays whole until the new one is complete.
    QSaveFile file(path);
    const QByteArray text = configuration_json(configuration);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
    return true;
}

bool parse_configuration(const QByteArray& text, tracker_configuration& configuration,
                         QString* error)
{
    if (text.size() > max_configuration_bytes) {
        return fail(error, QStringLiteral("The configuration is larger than %1 MiB")
                               .arg(max_configuration_bytes / (1024 * 1024)));
    }
    const int invalid = first_invalid_utf8(text);
    if (invalid >= 0) {
        return fail(error,
                    QStringLiteral("Not a UTF-8 text at line %1").arg(line_at(text, invalid)));
    }
    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parse_error);
    if (parse_error.error != QJsonParseError::NoError) {
        return fail(error, QStringLiteral("Not a JSON text: %1 at line %2")
                               .arg(parse_error.errorString())
                               .arg(error_line(text, parse_error)));
    }
    if (!document.isObject()) {
        return fail(error, QStringLiteral("Not a tracker configuration: no JSON object"));
    }
    const QJsonObject root = document.object();
    const keys_in_text keys = keys_in_order(text);
    if (!check_unique(text, keys.members, error) || !check_header(root, error)) {
        return false;
    }
    tracker_configuration parsed;
    parsed.profile = root.value(QLatin1String("profile")).toString();
    parsed.created =
        QDateTime::fromString(root.value(QLatin1String("created")).toString(), Qt::ISODate);
    if (!read_commands(text, keys.commands, root.value(QLatin1String("commands")).toObject(),
                       parsed.commands, error)) {
        return false;
    }
    configuration = parsed;
    return true;
}

bool read_configuration_file(const QString& path, tracker_configuration& configuration,
                             QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(error, QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    }
    // One byte more than allowed is enough to refuse a larger file without reading it all.
    const QByteArray text = file.read(max_configuration_bytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    return parse_configuration(text, configuration, error);
}
