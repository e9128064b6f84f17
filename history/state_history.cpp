#include "state_history.h"

namespace {

const field_value* find_value(const QList<field_value>& values, const QString& name)
{
    for (const field_value& value : values) {
        if (value.name == name) {
            return &value;
        }
    }
    return nullptr;
}

} // namespace

state_history::state_history(plot_catalogue catalogue, int capacity)
    : plots(std::move(catalogue)),
      histories(std::size_t(plots.fields.size()), field_history(capacity))
{
}

void state_history::take_line(int layout, const QList<field_value>& values, qint64 time_ms)
{
    const auto carried = plots.by_layout.constFind(layout);
    if (carried == plots.by_layout.constEnd()) {
        return;
    }
    for (int field : *carried) {
        const plot_field& plot = plots.fields.at(field);
        const field_value* value = find_value(values, plot.name);
        if (value && value->text.isEmpty()) {
            histories[std::size_t(field)].add(time_ms, double(value->number) * plot.multiplier);
        }
    }
}

void state_history::clear()
{
    for (field_history& history : histories) {
        history.clear();
    }
}

std::size_t state_history::memory_bytes() const
{
    std::size_t bytes = 0;
    for (const field_history& history : histories) {
        bytes += history.memory_bytes();
    }
    return bytes;
}
