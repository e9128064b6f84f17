#pragma once

#include "position_entry.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

struct t_page;
struct t_simple_parameter;

// Simple mode: where each command position shows on the pages, found without walking every
// parameter. Built once, after the pages.
struct parameter_place
{
    int page = 0; // index in the page list
    t_simple_parameter* parameter = nullptr;
};

class parameter_places
{
public:
    void build(const QList<t_page>& pages);

    // Parameters with an input whose read (write) entries name the position, in page order.
    QList<parameter_place> readers(const QString& key, int position) const;
    QList<parameter_place> writers(const QString& key, int position) const;
    // Parameters with an input that write some position of the command.
    QList<t_simple_parameter*> writers_of(const QString& key) const;
    // Every read entry of the command, with its parameter, in page and entry order.
    QList<QPair<t_simple_parameter*, position_entry>> reads_of(const QString& key) const;

private:
    using key_position = QPair<QString, int>;
    QHash<key_position, QList<parameter_place>> read_places;
    QHash<key_position, QList<parameter_place>> write_places;
    QHash<QString, QList<t_simple_parameter*>> command_writers;
    QHash<QString, QList<QPair<t_simple_parameter*, position_entry>>> command_reads;
};
