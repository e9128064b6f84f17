#pragma once

#include "parameter_places.h"

#include <QPair>
#include <QSet>
#include <QString>

class QWidget;
class parameter_value_store;
struct t_simple_parameter;

// An input whose value is an edit the tracker has not confirmed carries a mark: its background
// tinted towards the palette's highlight and its label in bold, so it reads in light and dark
// themes alike.
void set_change_mark(QWidget* input, bool marked);
void reserve_mark_width(const QWidget* input);
bool has_change_mark(const QWidget* input);

// An input whose value would be refused has a red frame, which reads on light and dark
// backgrounds, and the reason at the head of its tooltip; an empty reason takes both away. True
// when the reason changed.
bool set_refusal_mark(QWidget* input, const QString& reason);
QString refusal_mark(const QWidget* input);

// The help an input and its label show as their tooltip, below a refusal's reason while one lasts.
void set_field_help(QWidget* input, const QString& help);

// Simple mode: an input is marked while a position it writes is changed or awaits the tracker's
// answer in the value store, or the tracker answered its write with another value.
class simple_change_marks
{
public:
    void refresh(const parameter_value_store& store, const parameter_places& places,
                 const QString& key); // the inputs writing to the command
    void refresh(const parameter_value_store& store, t_simple_parameter& parameter);
    // The mark stays until the position is edited or written again, or its value taken back.
    void set_unconfirmed(const QString& key, int position);
    void drop_unconfirmed(const t_simple_parameter& parameter);

private:
    bool needs_mark(const parameter_value_store& store, const t_simple_parameter& parameter);

    QSet<QPair<QString, int>> unconfirmed;
};
