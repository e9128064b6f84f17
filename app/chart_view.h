#pragma once

#include "state_history.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class chart_canvas;

// "Графики": any numeric field of the device state against time, several at once, each unit on
// an axis of its own and the profile's valid range as dashed lines; the last 1 to 60 minutes,
// paused or live, zoomed with the mouse, and what is shown saved as CSV or PNG. The history is
// state_history's and is kept whether or not the view is open; this only shows it.
class chart_view : public QWidget
{
    Q_OBJECT

public:
    // The fields that can be plotted, their units and ranges come from the profile.
    explicit chart_view(const QString& profile_path, QWidget* parent = nullptr);

    // Where the lines come from: each source has a timeline of its own.
    enum class line_source
    {
        tracker,
        recording // times as recorded; a recording played again starts its timeline over
    };

    // A line of the given layout has just been decoded into values: the fields it carries take
    // their values at time_ms (since the epoch).
    void take_line(int layout, const QList<field_value>& values, qint64 time_ms,
                   line_source source = line_source::tracker);
    const state_history& history() const { return samples; }

signals:
    void status_text(QString text);

private:
    void add_field_list();
    QWidget* make_controls();
    void show_ticked();
    void redraw();
    void change_length();
    qint64 window_length_ms() const;
    int refresh_interval_ms() const;
    void set_paused(bool paused);
    QList<int> ticked() const;
    void export_csv();
    void export_png();
    QString ask_export_path(const QString& caption, const QString& suffix, const QString& filter);

    state_history samples;
    line_source timeline = line_source::tracker;
    qint64 last_line_ms = 0;
    qint64 clock_offset_ms = 0; // the lines' time minus the clock's: non-zero for a recording
    QTimer refresh;
    QListWidget* field_list;
    chart_canvas* canvas;
    QComboBox* minutes_box = nullptr;
    QCheckBox* range_box = nullptr;
    QPushButton* pause_button = nullptr;
    QPushButton* csv_button = nullptr;
    QPushButton* png_button = nullptr;
};
