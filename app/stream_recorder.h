#pragma once

#include "recording_player.h"
#include "recording_writer.h"

#include <QFile>
#include <QObject>

#include <memory>

class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMainWindow;
class QMenu;
class QPushButton;
class QSlider;
class link_session;

// "Записать поток..." and "Воспроизвести запись...": every device-state line the session receives
// written with its time to a recording, and a recording played into the device-state page
// without a tracker, with its controls in a dock.
class stream_recorder : public QObject
{
    Q_OBJECT

public:
    // The actions go into menu before `before`; the controls become a dock of window.
    stream_recorder(QMainWindow& window, link_session& session, QMenu& menu, QAction* before);
    ~stream_recorder() override;

signals:
    void status_text(QString text);
    // As the session's state_line, so the page takes it alike, with the time it was recorded at.
    void replayed_line(QString line, qint64 recorded_ms);

private:
    void add_controls();

    // Recording
    void toggle_recording();
    void start_recording(const QString& path);
    void stop_recording(const QString& why);
    void take_line(const QString& line);

    // Replay
    void start_replay();
    void end_replay(const QString& why);
    void show_position(qint64 position_ms);
    void toggle_pause();

    QMainWindow& window;
    link_session& session;
    QAction* record_action = nullptr;
    QAction* replay_action = nullptr;

    std::unique_ptr<QFile> file; // set while recording
    recording_writer writer;
    int recorded = 0;

    recording_player player;
    QDockWidget* dock = nullptr; // and its controls: made by the first replay
    QPushButton* pause_button = nullptr;
    QSlider* slider = nullptr;
    QComboBox* speeds = nullptr;
    QLabel* time_label = nullptr;
};
