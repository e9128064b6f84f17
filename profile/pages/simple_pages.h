#pragma once

#include "profile_records.h"
#include "tracker_commands.h"

#include <QHash>
#include <QList>

#include <memory>
#include <vector>

class parameter_value_store;
class tab_xml_widget;
class parameter_places;
struct t_page;
struct t_simple_parameter;

// Simple mode: flat forms of parameters, each naming the command positions it is read from and
// written to.

// Appends a tab per page to the owner and registers every parameter's entries into its value
// store; the parameter records are kept in owned, their inputs point at them. Titles are the
// expert blocks' by command, which group the parameters under no heading.
void build_simple_pages(tab_xml_widget& owner, const QList<profile_page>& pages,
                        const QHash<QString, QString>& titles,
                        std::vector<std::unique_ptr<t_simple_parameter>>& owned);

// Puts the values of a reply into every input that reads a position of its command; a combo box
// selects the item carrying the value, or none.
void apply_reply(const parameter_places& places, const tracker_commands::reply& reply);

// Marks the positions the parameter writes as changed to value.
void mark_written(const t_simple_parameter& parameter, const QString& value,
                  parameter_value_store& store);
