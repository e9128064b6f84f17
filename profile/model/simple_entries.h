#pragma once

#include "position_entry.h"
#include "profile_records.h"

#include <QList>
#include <QString>

#include <functional>

class parameter_value_store;

// The read and write entries of one simple-mode parameter, parsed once.
struct parameter_entries
{
    QList<position_entry> read;
    QList<position_entry> write;
};

parameter_entries entries_of(const profile_parameter& parameter);

// What the simple pages register for one parameter: its read entries, then its write entries,
// with its master flag.
void register_parameter(const parameter_entries& entries, bool master,
                        parameter_value_store& store);

// The same for every parameter of every page, in profile order, so that a program without pages
// holds the store the pages would hold.
void register_simple_pages(const QList<profile_page>& pages, parameter_value_store& store);

// Every place that a simple-mode parameter reads or writes, read entries first, in profile order;
// the same place comes once for each parameter naming it.
void for_each_place(const QList<profile_page>& pages,
                    const std::function<void(const profile_parameter& parameter, const QString& key,
                                             int position)>& visit);
