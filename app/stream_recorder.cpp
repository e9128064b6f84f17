#include "stream_recorder.h"

#include "file_dialog.h"
#include "link_session.h"
#include "settings_file.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSlider>

namespace {

const QString recording_folder = QStringLiteral("RecordingFolder");
const QString recording_filter = QStringLiteral("Записи потока (*.rec);;Все файлы (*)");
const QString record_text = QStringLiteral("Записать поток...");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// "1:05" and "1:02:05"
QString clock_text(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    const QString minutes_seconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds < 3600 ? minutes_seconds
                          : QStringLiteral("%1:%2")
                                .arg(seconds / 3600)
                                .arg(minutes_seconds.rightJustified(5, QLatin1Char('0')));
}

// The reader's refusal in the window's words.
QString refusal_text(const recording_error& error)
{
    using kind = recording_error::kind;
    switch (error.what) {
    case kind::none:
        break;
    case kind::unreadable:
        return QStringLiteral("файл не читается: ") + error.detail;
    case kind::not_a_recording:
        return QStringLiteral("это не запись потока");
    case kind::unknown_version:
        return QStringLiteral("запись более новой версии формата (%1)").arg(error.detail);
    case kind::bad_time:
        return QStringLiteral("строка %1: нет времени в начале").arg(error.line);
    case kind::empty_line:
        return QStringLiteral("строка %1: пустая").arg(error.line);
    case kind::too_long:
        return QStringLiteral("строка %1: слишком длинная").arg(error.line);
    case kind::line_break:
        return QStringLiteral("строка %1: перевод строки внутри").arg(error.line);
    case kind::not_utf8:
        return QStringLiteral("строка %1: не UTF-8").arg(error.line);
    case kind::out_of_order:
        return QStringLiteral("строка %1: время раньше предыдущего").arg(error.line);
    }
    return QString();
}

} // namespace

stream_recorder::stream_recorder(QMainWindow& main_window, link_session& link, QMenu& menu,
                                 QAction* before)
    : QObject(&main_window), window(main_window), session(link)
{
    record_action = new QAction(record_text, &window);
    record_action->setObjectName(QStringLiteral("actionRecordStream"));
    replay_action = new QAction(QStringLiteral("Воспроизвести запись..."), &window);
    replay_action->setObjectName(QStringLiteral("actionReplayStream"));
    menu.insertActions(before, {record_action, replay_action});
    menu.insertSeparator(before);
    connect(record_action, &QAction::triggered, this, &stream_recorder::toggle_recording);
    connect(replay_action, &QAction::triggered, this, &stream_recorder::start_replay);
    connect(&session, &link_session::state_line, this, &stream_recorder::take_line);
    // A tracker's own lines and a recording's would mix on the page.
    connect(&session, &link_session::state_changed, this, [this](link_session::state now) {
        if (now != link_session::state::idle && dock && !dock->isHidden()) {
            end_replay(QStringLiteral("Воспроизведение остановлено: связь с трекером"));
        }
    });
    connect(&player, &recording_player::line_due, this, &stream_recorder::replayed_line);
}

stream_recorder::~stream_recorder() = default;

// Made by the first replay: a dock that existed from the start would come back empty with a
// layout saved during a replay.
void stream_recorder::add_controls()
{
    dock = new QDockWidget(QStringLiteral("Воспроизведение записи"), &window);
    dock->setObjectName(QStringLiteral("recording_player"));
    // Closed by its stop button only, so that no replay goes on unseen.
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* controls = new QWidget(dock);
    auto* layout = new QHBoxLayout(controls);
    pause_button = new QPushButton(QStringLiteral("Пауза"), controls);
    auto* stop_button = new QPushButton(QStringLiteral("Остановить"), controls);
    slider = new QSlider(Qt::Horizontal, controls);
    // Milliseconds: the keys step a second, a click beside the handle ten.
    slider->setSingleStep(1000);
    slider->setPageStep(10000);
    time_label = new QLabel(controls);
    speeds = new QComboBox(controls);
    speeds->setObjectName(QStringLiteral("replay_speed"));
    for (int times : {1, 4, 16}) {
        speeds->addItem(QStringLiteral("%1×").arg(times), times);
    }
    speeds->setToolTip(QStringLiteral("Скорость воспроизведения"));
    layout->addWidget(pause_button);
    layout->addWidget(stop_button);
    layout->addWidget(slider, 1);
    layout->addWidget(time_label);
    layout->addWidget(speeds);
    connect(pause_button, &QPushButton::clicked, this, &stream_recorder::toggle_pause);
    connect(stop_button, &QPushButton::clicked, this,
            [this] { end_replay(QStringLiteral("Воспроизведение записи остановлено")); });
    // Dragged, clicked beside the handle or moved by the keys: the slider's new place.
    connect(slider, &QSlider::actionTriggered, this,
            [this] { player.seek(slider->sliderPosition()); });
    connect(speeds, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { player.set_speed(speeds->currentData().toInt()); });
    connect(&player, &recording_player::position_changed, this, &stream_recorder::show_position);
    connect(&player, &recording_player::finished, this, [this] {
        pause_button->setText(QStringLiteral("Сначала"));
        emit status_text(QStringLiteral("Воспроизведение записи закончено"));
    });
    dock->setWidget(controls);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
}

// ---- Recording

void stream_recorder::toggle_recording()
{
    if (file) {
        stop_recording(QString());
        return;
    }
    const QString suggested = QDir(remembered_folder(recording_folder))
                                  .filePath(QDateTime::currentDateTime().toString(
                                      QStringLiteral("'поток-трекера-'yyyy-MM-dd-HHmm'.rec'")));
    const QString path =
        ask_file_name(file_dialog_kind::save, &window, QStringLiteral("Записать поток"), suggested,
                      recording_filter);
    if (!path.isEmpty()) {
        remember_folder(recording_folder, path);
        start_recording(path);
    }
}

void stream_recorder::start_recording(const QString& path)
{
    auto opened = std::make_unique<QFile>(path);
    QString error;
    if (!opened->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = opened->errorString();
    } else if (writer.start(opened.get(), error)) {
        file = std::move(opened);
        recorded = 0;
        record_action->setText(QStringLiteral("Остановить запись"));
        emit status_text(QStringLiteral("Запись потока в ") + native(path));
        return;
    }
    emit status_text(QStringLiteral("Запись потока не начата: ") + error);
}

// why: empty when the user stopped it.
void stream_recorder::stop_recording(const QString& why)
{
    const QString path = file->fileName();
    file.reset();
    record_action->setText(record_text);
    const QString done =
        QStringLiteral("Запись потока остановлена (%1, строк: %2)").arg(native(path)).arg(recorded);
    emit status_text(why.isEmpty() ? done : done + QStringLiteral(": ") + why);
}

void stream_recorder::take_line(const QString& line)
{
    if (!file) {
        return;
    }
    QString error;
    if (writer.append(QDateTime::currentDateTimeUtc(), line.toUtf8(), error)) {
        ++recorded;
    } else if (file->error() != QFileDevice::NoError) {
        stop_recording(error);
    }
}

// ---- Replay

void stream_recorder::start_replay()
{
    if (session.active()) {
        emit status_text(
            QStringLiteral("Запись воспроизводится только без связи с трекером: разорвите связь"));
        return;
    }
    const QString path =
        ask_file_name(file_dialog_kind::open, &window, QStringLiteral("Воспроизвести запись"),
                      remembered_folder(recording_folder), recording_filter);
    if (path.isEmpty()) {
        return;
    }
    remember_folder(recording_folder, path);
    recording read;
    recording_error error;
    if (!read_recording_file(path, read, error)) {
        emit status_text(QStringLiteral("Запись не воспроизведена: ") + refusal_text(error));
        return;
    }
    if (!dock) {
        add_controls();
    }
    player.load(read.lines);
    slider->setRange(0, int(player.duration_ms()));
    QString said = QStringLiteral("Воспроизведение записи %1 (строк: %2)")
                       .arg(native(path))
                       .arg(read.lines.size());
    if (read.cut_last_line) {
        said += QStringLiteral("; последняя строка оборвана и пропущена");
    }
    emit status_text(said);
    dock->show();
    dock->raise();
    pause_button->setText(QStringLiteral("Пауза"));
    player.play();
}

void stream_recorder::end_replay(const QString& why)
{
    player.stop();
    dock->hide();
    emit status_text(why);
}

void stream_recorder::show_position(qint64 position_ms)
{
    if (!slider->isSliderDown()) {
        slider->setValue(int(position_ms));
    }
    time_label->setText(clock_text(position_ms) + QStringLiteral(" / ") +
                        clock_text(player.duration_ms()));
}

void stream_recorder::toggle_pause()
{
    if (player.playing()) {
        player.pause();
        pause_button->setText(QStringLiteral("Продолжить"));
    } else {
        player.play();
        pause_button->setText(QStringLiteral("Пауза"));
    }
}
