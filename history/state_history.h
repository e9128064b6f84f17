#pragma once

#include "device_state_values.h"
#include "field_history.h"
#include "plot_fields.h"

#include <vector>

// The history of every field a chart may plot, fed with the same decoded lines the device-state
// page shows, whether they come from a tracker or from a recording played back. Memory is fixed
// when it is made: capacity samples for each field.
class state_history
{
public:
    explicit state_history(plot_catalogue catalogue,
                           int capacity = field_history::default_capacity);

    const plot_catalogue& catalogue() const { return plots; }
    const field_history& of(int field) const { return histories[std::size_t(field)]; }

    // A line of the given layout has just been decoded into values: each plottable field it
    // carries takes its value at time_ms. The other fields keep their last value in values, which
    // is not news, so they take nothing.
    void take_line(int layout, const QList<field_value>& values, qint64 time_ms);
    void clear();
    std::size_t memory_bytes() const;

private:
    plot_catalogue plots;
    std::vector<field_history> histories;
};
