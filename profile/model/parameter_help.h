#pragma once

#include "profile_records.h"
#include "simple_entries.h"

#include <QString>

// The help every input and its label show as their tooltip, read from the profile alone: what
// the field takes, its default, the command position its value travels in and how it is written.

// Where a parameter's value travels: "+APN, #1", several positions joined by "; ".
struct parameter_route
{
    QString positions;
    bool master = false;    // written with the master password
    bool read_only = false; // the tracker's value, never written
};

// Simple pages: the positions the parameter writes, or the ones it shows when it writes none.
parameter_route simple_route(const parameter_entries& entries, bool master);
// Expert pages: value index (from 0) of the command's block.
parameter_route expert_route(const profile_command& command, int index);

// The unit that ends a number's label, as "с" ends "Период, с"; empty where there is none.
QString label_unit(const profile_parameter& parameter);

// What a text input takes, as people say it: "целое число от 3 до 12 с", "не длиннее 32
// символов"; empty where the profile sets no bound, and for a list, whose options say it.
QString accepted_values(const profile_parameter& parameter);

// The label, then a line for every fact the profile gives about the field.
QString parameter_help(const profile_parameter& parameter, const parameter_route& route);
