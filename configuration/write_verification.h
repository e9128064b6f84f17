#pragma once

#include "parameter_value_store.h"
#include "tracker_commands.h"

#include <QList>
#include <QString>

// The tracker answers a write with the values it then holds. A written value that it answers
// with another one was clamped or ignored, and the user must hear of it: the reply is the proof,
// so no command is sent to check.

struct unconfirmed_write
{
    QString key;
    int position = 0;
    QString written;
    QString held; // what the reply carries there; empty when it carries nothing
};

// Call with the reply to a write before the store takes it: the store still knows which
// positions were written (awaiting) and with what. A refusal confirms nothing and is no
// mismatch either; the refused positions are written again.
QList<unconfirmed_write> unconfirmed_writes(const parameter_value_store& store,
                                            const tracker_commands::reply& reply);
