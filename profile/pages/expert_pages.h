#pragma once

#include "profile_records.h"

#include <QList>
#include <QStringList>

class tab_xml_widget;
struct t_command;

// Expert mode: one framed block per tracker command, with a row per parameter, a set button and,
// for a command that can be read, a read button.

// Appends a tab per page to the owner, whose slots the buttons are connected to.
void build_expert_pages(tab_xml_widget& owner, const QList<profile_page>& pages);

// The values of a block's set command, in order: an empty place for a read-only parameter, the
// input's value for the others; a parameter without an input has no place.
QStringList set_values(const t_command& block);

// Puts reply values 1, 2, ... into the block's inputs in parameter order; values beyond the
// last parameter are ignored, parameters beyond the last value left alone.
void apply_values(const t_command& block, const QStringList& fields);
