#pragma once

#include <QList>
#include <QString>

// One entry of a simple-mode "read" or "write" list: a command key and a value position, as in
// "+NAME,#2". The position's first character is a free marker and is dropped unchecked.
struct position_entry
{
    // Positions an entry may name; a larger one is a profile typo that would otherwise make
    // every write command of its key carry that many empty values.
    static constexpr int max_index = 1000;

    QString key;
    int index = 0; // 1 is the first value after the command name

    // An entry without one still names its command, which is then read but has no slot here.
    bool has_position() const { return index >= 1 && index <= max_index; }
};

// False for an entry with fewer than two ","-separated parts; later parts are ignored. A
// position that is not a number reads as 0. An entry without a usable position is warned about.
bool parse_position_entry(const QString& entry, position_entry& parsed);

// The entries of a ";"-separated list that name a command, in order ("none" names none).
QList<position_entry> parse_entry_list(const QString& list);
