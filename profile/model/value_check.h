#pragma once

#include "profile_records.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

// The one check of a value before it goes to a tracker, asked by every path that writes: the
// command language must carry it and the profile must allow it at its position. A value that
// fails is never sent: a comma would shift the values after it, and a value outside the profile
// is one the tracker may take without a word.

enum class refusal_kind
{
    none,
    comma,
    carriage_return,
    line_feed,
    nul,
    frame, // the whole command would not fit one frame; limit: its bytes
    empty, // an integer needs digits
    not_a_number,
    below_minimum, // limit: the minimum
    above_maximum, // limit: the maximum
    too_long,      // limit: the profile's maxlen
    no_such_option,
    read_only
};

struct value_verdict
{
    refusal_kind kind = refusal_kind::none;
    int limit = 0;

    bool passes() const { return kind == refusal_kind::none; }
};

// A value a write must not send, with what people know its position by.
struct refused_value
{
    QString key;
    int position = 0;
    QString value;
    QString label;
    value_verdict verdict;
};

// What the profile allows at one position.
struct value_rule
{
    QString label;
    parameter_kind kind = parameter_kind::other; // splitter and other: only the carrying checked
    int minvalue = 0;
    int maxvalue = 0;
    std::optional<int> maxlen;
    QStringList options; // the values as the input sends them
    bool writable = false;
};

// A simple page's selection sends an option's value as written; an expert page's holds it as an
// integer and sends it in decimal.
enum class option_form
{
    text,
    integer
};

value_rule rule_of(const profile_parameter& parameter, option_form form, bool writable);
value_verdict check_value(const value_rule& rule, const QString& value);
value_verdict check_frame(const QString& command, bool bluetooth);

// What set commands are sent with: the passwords and the link decide whether one fits a frame.
struct command_frame
{
    QString device_password;
    QString master_password;
    bool bluetooth = false;
};

// The rules of the pages of one display mode, read once from the profile.
class value_rules
{
public:
    // Simple pages: a position takes the rule of the first parameter whose write entry names it;
    // a position that only read entries name is read-only.
    static value_rules of_simple_pages(const QList<profile_page>& pages);
    // Expert pages: a rule per parameter of every block. By position, the first block of each
    // command stands for it, as it is the one that replies and configuration files fill.
    static value_rules of_expert_pages(const QList<profile_page>& pages);

    // Null where nothing names the position.
    const value_rule* find(const QString& key, int position) const;
    // A position that nothing names passes: telling it apart is the caller's part.
    value_verdict check(const QString& key, int position, const QString& value) const;
    // Expert pages: the rules of command cmd of page, by parameter index.
    QList<value_rule> block(int page, int cmd) const;

    // The first rule of a position stays, unless it only reads and this one writes.
    void add(const QString& key, int position, const value_rule& rule);

private:
    QHash<QPair<QString, int>, value_rule> by_position;
    QList<QList<QList<value_rule>>> blocks;
};

// Short reasons for the window: "больше 100", "запятая недопустима".
QString refusal_text(const value_verdict& verdict);
// "<label>: <reason>", or the position where it has no label.
QString refusal_line(const refused_value& refused);
