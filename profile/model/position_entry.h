#pragma once

#include <QString>
#include <QStringList>

// One entry of a simple-mode "read" or "write" list: a command key and a value position, as in
// "+NAME,#2". The position's first character is a free marker and is dropped unchecked.
struct position_entry
{
    QString key;
    int index = 0;
};

// False for an entry with fewer than two ","-separated parts; later parts are ignored. A
// position that is not a number reads as 0.
bool parse_position_entry(const QString& entry, position_entry& parsed);

// The entries of a list, split at ";" with empty parts kept.
QStringList split_entry_list(const QString& list);
