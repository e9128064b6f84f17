#pragma once

#include "track_geometry.h"

#include <QWidget>

class QLabel;
class QPushButton;
class track_canvas;

// The track of the device state's coordinates on a plain metric canvas, offline, with the fix
// state and a way to see the position on a map in the browser. The geometry is track_geometry's;
// this only shows it.
class track_view : public QWidget
{
    Q_OBJECT

public:
    // The coordinate and course displays are found by their roles in the profile.
    explicit track_view(const QString& profile_path, QWidget* parent = nullptr);

    // The device state after a record: a new position joins the track.
    void show_state(const QList<field_value>& values);

private:
    void show_fix(const track_state& state);
    void open_map() const;

    track_fields fields;
    track_history history;
    std::optional<geo_point> last_position;
    track_canvas* canvas;
    QLabel* fix_label;
    QPushButton* map_button;
};
