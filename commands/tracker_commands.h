#pragma once

#include <QString>
#include <QStringList>

// The tracker's command language: the text of every command the program sends and the reading
// of every reply line. Nothing else in the program builds or splits a command or a reply by hand.
namespace tracker_commands {

// Keys of the commands the window sends on its own.
inline const QString save_key = QStringLiteral("+SAVE");
inline const QString streaming_key = QStringLiteral("+SDAD");
inline const QString closing_key = QStringLiteral("+TEXT");

// The fixed password of the closing command; never the configured one.
inline const QString closing_password = QStringLiteral("7395");

// The longest command, in UTF-8 bytes, that one frame carries: the tracker's frame buffer holds
// 1024 bytes with its terminator, the framing CRs included (one on a Bluetooth link, two wired).
int max_command_bytes(bool bluetooth);

// Why a text cannot travel as one value of a set command: a comma would start the next value,
// and CR, LF or NUL would end or break the frame before the tracker has the whole command.
enum class carry_fault
{
    none,
    comma,
    carriage_return,
    line_feed,
    nul
};
carry_fault value_carry_fault(const QString& value);
// Whether the command's UTF-8 text fits one frame on this kind of link.
bool fits_one_frame(const QString& command, bool bluetooth);

// "AT" + key + "=?"
QString read(const QString& key);
// "AT" + key + "=" + password + "," then each value followed by ",".
QString set(const QString& key, const QString& password, const QStringList& values);
// "AT+SAVE=" + password + ","
QString save(const QString& password);

enum class stream_mode
{
    off = 0,
    on = 3
};
// "AT+SDAD=" + password + ",," + mode + ",,,,,"
QString streaming(const QString& password, stream_mode mode);
// "AT+TEXT=7395,": returns a tracker to data mode.
QString closing();
// Whether a command typed by a user has the closing command's key, whatever its password or
// values: after it the tracker answers nothing, so only the link's own closing may send it.
bool ends_command_mode(const QString& command);

// The command with its password field replaced by "****", for every trace and log line: the
// first value of a set command is always a password. Other commands come back as they are.
QString masked(const QString& command);

// The refusals a tracker reports in field 2 after "ERROR" in field 1.
enum class refusal
{
    none,
    permission,
    password,
    command
};

// One reply line, read once for both display modes.
//   fields: the line split at ","; fields[0] is "+RESP:NAME", fields[n] is value n.
//   head: the text of fields[0] before its first ":"; has_name: fields[0] holds a ":".
//   key: "+" and the name after that ":" up to a further ":".
//   single_colon: the whole line holds exactly one ":" (simple mode reads no other line).
struct reply
{
    QStringList fields;
    QString head;
    bool has_name = false;
    QString key;
    bool single_colon = false;
    refusal refused = refusal::none;

    // Expert mode: the line names a command ("Error parsing" otherwise).
    bool readable() const { return fields.size() >= 2 && has_name; }
    // The head is exactly "+RESP".
    bool well_formed() const { return head == QLatin1String("+RESP"); }
    // Simple mode: the line carries values of key (not an error, not a second colon).
    bool carries_values() const;
    // Value n (1 is the first); empty when the reply has none there.
    QString value(int n) const { return fields.value(n); }
    int value_count() const { return fields.size() - 1; }
};

reply parse_reply(const QString& line);

// A device-state line "$SD,<schema id>,<base64 record>", sent by the tracker on its own.
struct device_state_line
{
    bool valid = false; // the line has the three fields; a shorter one carries no record
    int schema_id = 0;
    QString payload; // the record in base64
};

device_state_line parse_device_state_line(const QString& line);

// The user-visible text of a refusal; empty for refusal::none.
QString refusal_text(refusal kind);

} // namespace tracker_commands
