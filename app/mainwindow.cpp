#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chart_view.h"
#include "command_console.h"
#include "configuration_files.h"
#include "confirm_dialog.h"
#include "device_state_page.h"
#include "file_dialog.h"
#include "link_indicator.h"
#include "message_box.h"
#include "parameter_search.h"
#include "port_advice.h"
#include "port_list.h"
#include "port_waiter.h"
#include "profile_reader.h"
#include "program_restart.h"
#include "session_backup.h"
#include "settings_file.h"
#include "station_window.h"
#include "status_log.h"
#include "stream_recorder.h"
#include "tab_xml_widget.h"
#include "track_view.h"
#include "tracker_commands.h"
#include "unwritten_edits_prompt.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScreen>
#include <QThread>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(window_trace, "tracker.window")

namespace tc = tracker_commands;

// Read once at start-up; a profile that cannot be read has no pages to take a value from anyway.
identity_position identity_of_profile(const QString& path, bool simple_mode)
{
    QList<profile_page> pages;
    QString error;
    return read_mode_pages(path, simple_mode, pages, error) ? find_identity(pages)
                                                            : identity_position();
}

const char* const connect_text = "Соедениться с трекером";
const QString log_folder = QStringLiteral("LogFolder");
const char* const disconnect_text = "Разорвать связь";

void show_plain_box(const QString& text)
{
    show_message_box(message_box_kind::plain, nullptr, QString(), text);
}

// The commands the window sends on its own are answered like any other; a profile need not
// hold a block for them.
bool answers_own_command(const tc::reply& reply)
{
    return reply.key == tc::save_key || reply.key == tc::streaming_key;
}

// "Записано в трекер: 5 параметров, сохранено", in Russian's three plural forms.
QString saved_text(int count, bool simple_mode)
{
    if (count == 0)
        return QStringLiteral("Настройки сохранены в памяти трекера");
    const int last_two = count % 100;
    const int last = count % 10;
    const int form = last_two >= 11 && last_two <= 14 ? 2
                     : last == 1                      ? 0
                     : last >= 2 && last <= 4         ? 1
                                                      : 2;
    const QStringList parameters{QStringLiteral("параметр"), QStringLiteral("параметра"),
                                 QStringLiteral("параметров")};
    const QStringList blocks{QStringLiteral("команда"), QStringLiteral("команды"),
                             QStringLiteral("команд")};
    return QStringLiteral("Записано в трекер: %1 %2, сохранено")
        .arg(count)
        .arg((simple_mode ? parameters : blocks).at(form));
}

bool is_read(const QString& cmd)
{
    return cmd.endsWith(QLatin1String("=?"));
}

// "+APN" of "AT+APN=...".
QString key_of(const QString& cmd)
{
    return cmd.mid(2).section(QLatin1Char('='), 0, 0);
}

QString loss_reason(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("трекер отключён от порта");
    case QSerialPort::WriteError:
        return QStringLiteral("порт перестал принимать данные, трекер отключён?");
    case QSerialPort::TimeoutError:
        return QStringLiteral("трекер перестал отвечать");
    case QSerialPort::PermissionError:
        return QStringLiteral("нет доступа к порту");
    default:
        return QStringLiteral("ошибка порта");
    }
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    load_settings();
    // The profile always comes from the working directory; the stored path is kept for old files.
    settings.xml_path = QStringLiteral("profile.xml");

    pages_widget = new tab_xml_widget(ui->frame_2, settings.xml_path, settings.simple_mode);
    identity = identity_of_profile(settings.xml_path, settings.simple_mode);
    pages_widget->device_password = settings.device_password;
    pages_widget->master_password = settings.master_password;
    ui->verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    ui->verticalLayout_2->addWidget(pages_widget);

    status_label = new QLabel(this);
    ui->statusBar->addWidget(status_label);

    link_active = false;
    close_requested = false;

    session = new link_session(this);
    connect(session, &link_session::status_text, this, &MainWindow::set_status_text);
    connect(session, &link_session::link_changed, this, &MainWindow::take_link_event);
    connect(session, &link_session::ready, this, &MainWindow::slot_tracker_handshake_ok);
    connect(session, &link_session::state_line, this, &MainWindow::get_sensor_data);
    connect(session, &link_session::ended, this, &MainWindow::tracker_disconnected);
    connect(session, &link_session::command_dropped, this, &MainWindow::take_dropped_command);
    indicator = new link_indicator(this);
    ui->statusBar->addPermanentWidget(indicator);
    const auto show_link = [this] {
        indicator->show_state(session->current(), session->reading(), session->writing());
    };
    connect(session, &link_session::state_changed, indicator, show_link);
    connect(session, &link_session::progress_changed, indicator, show_link);
    // Said in the status bar only: it follows the keystrokes, and a save held back is logged.
    connect(pages_widget, &tab_xml_widget::value_refused, status_label, &QLabel::setText);
    backup = new session_backup(*session, QStringLiteral("backups"), this);
    connect(backup, &session_backup::kept, this, [this](const QString& path) {
        set_status_text(QStringLiteral("Настройки трекера сохранены в ") + path);
    });
    connect(backup, &session_backup::failed, this, [this](const QString& error) {
        set_status_text(QStringLiteral("Резервная копия не записана: ") + error);
    });
    recorder = new stream_recorder(*this, *session, *ui->menuMain, ui->actionExit);
    connect(recorder, &stream_recorder::status_text, this, &MainWindow::set_status_text);
    connect(recorder, &stream_recorder::replayed_line, this, &MainWindow::show_replayed_line);

    connect(pages_widget, &tab_xml_widget::on_read_button_pressed, this,
            &MainWindow::tracker_read_command);
    connect(pages_widget, &tab_xml_widget::on_set_button_pressed, this,
            &MainWindow::tracker_set_command);
    connect(pages_widget, &tab_xml_widget::on_tab_changed, this, &MainWindow::slot_on_tab_change);

    // Nothing may reach the tracker before the handshake.
    pages_widget->set_pages_enabled(false);
    add_console_and_search();
    add_track();
    add_charts();
    add_configuration_actions();
    restore_layout();
    set_status_text(QStringLiteral("Init ok!"));

    if (settings.auto_connect) {
        if (settings.port_name.isEmpty())
            auto_select_port();
        if (!settings.port_name.isEmpty())
            toggle_connection();
        else
            wait_for_port();
    }
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::set_status_text(QString str)
{
    const QDateTime now = QDateTime::currentDateTime();
    status_label->setText(str);
    status_log::add_line(*ui->log_widget, now, str);
}

// While a link runs, the window waits for the worker to close the port before it goes.
void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running station asks first; once stopped, it closes, and this window on the next try.
    if (station && !station->close()) {
        event->ignore();
        return;
    }
    if (!close_requested && settle_edits(next_step::close) != edits_settled::now) {
        event->ignore();
        return;
    }
    if (link_active) {
        session->stop();
        close_requested = true;
        event->ignore();
        return;
    }
    write_window_layout(settings_file_path(), {saveGeometry(), saveState()});
    QMainWindow::closeEvent(event);
}

// The size, position and docks of the last run; the first run shows the device-state tab whole.
void MainWindow::restore_layout()
{
    const window_layout kept = read_window_layout(settings_file_path());
    if (kept.geometry.isEmpty() || !restoreGeometry(kept.geometry))
        resize(default_size());
    restoreState(kept.state);
}

QSize MainWindow::default_size() const
{
    // The frames of the tab widget and the scroll area, and the window's own margins.
    constexpr int chrome = 64;
    QSize size = this->size();
    for (const t_page& page : pages_widget->page_list) {
        if (page.is_device_state && page.content)
            size = size.expandedTo({page.content->sizeHint().width() + chrome, size.height()});
    }
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableSize());
    return size;
}

void MainWindow::load_settings()
{
    settings = read_settings(settings_file_path());
}

// A file that cannot be written is told: a restart would otherwise come up with the old
// settings without a word.
bool MainWindow::save_settings()
{
    QString error;
    if (write_settings(settings_file_path(), settings, &error))
        return true;
    const QString text = QStringLiteral("Настройки не сохранены в файл %1: %2")
                             .arg(QDir::toNativeSeparators(settings_file_path()), error);
    set_status_text(text);
    show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"), text);
    return false;
}

void MainWindow::show_settings_window()
{
    open_settings(QString());
}

// Returns whether the dialog was accepted.
bool MainWindow::open_settings(const QString& notice)
{
    delete settings_dialog;
    settings_dialog = new Confirm_Dialog(this);
    settings_dialog->fill_from_settings(&settings);
    if (!notice.isEmpty())
        settings_dialog->show_notice(notice);
    const bool was_simple = settings.simple_mode;
    if (settings_dialog->exec() != QDialog::Accepted)
        return false;

    settings_dialog->store_to_settings(&settings);
    const bool saved = save_settings();
    // A port chosen here, or automatic connection turned off, ends the wait for a tracker: a port
    // found later must not replace the user's choice.
    if (!settings.auto_connect || !settings.port_name.isEmpty())
        waiter->stop();
    pages_widget->device_password = settings.device_password;
    pages_widget->master_password = settings.master_password;
    if (settings.simple_mode == was_simple)
        return true;
    // The pages keep their mode until the new start, so that replies meanwhile are read as
    // before; the file holds the new one. A file that does not hold it makes no new start.
    settings.simple_mode = was_simple;
    if (!saved)
        return true;
    const edits_settled settled = settle_edits(next_step::restart);
    if (settled == edits_settled::now)
        restart_in_new_mode();
    else if (settled == edits_settled::cancelled)
        save_settings();
    return true;
}

void MainWindow::restart_in_new_mode()
{
    // The pages are built for one display mode; a new mode needs a new start.
    show_message_box(
        message_box_kind::information, this, QStringLiteral("Сообщение"),
        QStringLiteral(
            "После изменения настроек режима отображения приложение будет перезапущено"));
    restart_program();
}

void MainWindow::auto_select_port()
{
    choose_port(available_ports(), settings);
}

// The tracker may be plugged in after the program was started. The status bar shows the wait;
// the log gets a line only when a port is found.
void MainWindow::wait_for_port()
{
    show_port_wait(0);
    waiter->start();
}

void MainWindow::show_port_wait(int looks)
{
    status_label->setText(
        QStringLiteral("Трекер не найден: подключите его, связь начнётся сама (проверок: %1)")
            .arg(looks));
}

void MainWindow::connect_to_found_port()
{
    set_status_text(QStringLiteral("Найден порт ") + settings.port_name_long);
    if (!link_active)
        toggle_connection();
}

void MainWindow::add_console_and_search()
{
    console = new command_console(this);
    console_dock = add_dock(QStringLiteral("Консоль"), console, Qt::BottomDockWidgetArea);
    connect(console, &command_console::command_entered, this, &MainWindow::take_console_command);
    connect(ui->actionConsole, &QAction::triggered, this, &MainWindow::show_console);

    search = new parameter_search(*pages_widget, this);
    search_dock = add_dock(QStringLiteral("Поиск параметра"), search, Qt::RightDockWidgetArea);
    connect(ui->actionFind, &QAction::triggered, this, &MainWindow::show_search);

    connect(ui->actionSaveLog, &QAction::triggered, this, &MainWindow::save_log);
    connect(ui->actionStation, &QAction::triggered, this, &MainWindow::open_station);

    waiter = new port_waiter(settings, available_ports, this);
    connect(waiter, &port_waiter::still_waiting, this, &MainWindow::show_port_wait);
    connect(waiter, &port_waiter::port_chosen, this, &MainWindow::connect_to_found_port);
}

QDockWidget* MainWindow::add_dock(const QString& title, QWidget* content, Qt::DockWidgetArea area)
{
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(content->metaObject()->className());
    dock->setWidget(content);
    addDockWidget(area, dock);
    dock->hide();
    return dock;
}

// The track of the device state, in a dock of its own opened from "Файл".
void MainWindow::add_track()
{
    track = new track_view(settings.xml_path, this);
    track_dock = add_dock(QStringLiteral("Трек"), track, Qt::RightDockWidgetArea);
    auto* open = new QAction(QStringLiteral("Трек..."), this);
    ui->menuMain->insertAction(ui->actionSaveLog, open);
    connect(open, &QAction::triggered, this,
            [this] { open_dock(track_dock, 420, Qt::Horizontal); });
}

// The charts of the device state, beside the values they plot; opened from "Файл" as the track.
void MainWindow::add_charts()
{
    charts = new chart_view(settings.xml_path, this);
    charts_dock = add_dock(QStringLiteral("Графики"), charts, Qt::BottomDockWidgetArea);
    connect(charts, &chart_view::status_text, this, &MainWindow::set_status_text);
    auto* open = new QAction(QStringLiteral("Графики..."), this);
    ui->menuMain->insertAction(ui->actionSaveLog, open);
    connect(open, &QAction::triggered, this, [this] { open_dock(charts_dock, 320, Qt::Vertical); });
}

void MainWindow::show_console()
{
    open_dock(console_dock, 180, Qt::Vertical);
    console->focus_input();
}

void MainWindow::show_search()
{
    open_dock(search_dock, 320, Qt::Horizontal);
    search->focus_query();
}

// An opened dock takes a modest share of the window: the pages stay its main part.
void MainWindow::open_dock(QDockWidget* dock, int size, Qt::Orientation orientation)
{
    if (dock->isHidden()) {
        dock->show();
        resizeDocks({dock}, {size}, orientation);
    }
    dock->raise();
}

void MainWindow::save_log()
{
    const QString suggested = QDir(remembered_folder(log_folder))
                                  .filePath(QDateTime::currentDateTime().toString(
                                      QStringLiteral("'журнал-трекера-'yyyy-MM-dd-HHmm'.txt'")));
    const QString path =
        ask_file_name(file_dialog_kind::save, this, QStringLiteral("Сохранить журнал"), suggested,
                      QStringLiteral("Текстовые файлы (*.txt)"));
    if (path.isEmpty())
        return;
    remember_folder(log_folder, path);
    QString error;
    if (status_log::save(*ui->log_widget, path, error))
        set_status_text(QStringLiteral("Журнал сохранён в ") + QDir::toNativeSeparators(path));
    else
        show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"),
                         QStringLiteral("Журнал не сохранён: ") + error);
}

void MainWindow::open_station()
{
    if (!station) {
        station = new station_window(
            settings,
            [this](std::function<void()> when_free) {
                return release_link_for_station(std::move(when_free));
            },
            this);
        // The station holds the ports: the window neither connects nor waits for one meanwhile.
        connect(station, &station_window::running_changed, this, [this](bool running) {
            ui->commandLinkButton->setEnabled(!running);
            set_status_text(running ? QStringLiteral("Серийная настройка работает: порты заняты ею")
                                    : QStringLiteral("Серийная настройка остановлена"));
        });
    }
    station->show();
    station->raise();
    station->activateWindow();
}

// The window's link ends as "Разорвать связь" ends it, unwritten edits asked about first; an
// answer that writes them keeps the link until the tracker has answered, so the station waits
// for another start.
bool MainWindow::release_link_for_station(std::function<void()> when_free)
{
    waiter->stop();
    if (!link_active) {
        when_free();
        return true;
    }
    if (settle_edits(next_step::disconnect) != edits_settled::now)
        return false;
    after_link_end = std::move(when_free);
    disconnect_tracker();
    return true;
}

// The link's own text says only the error code; the user also needs to know what to do.
void MainWindow::advise_on_open_failure(QSerialPort::SerialPortError error)
{
    if (open_advice_given)
        return;
    const QStringList advice = open_failure_advice(settings.port_name, error);
    open_advice_given = !advice.isEmpty();
    for (const QString& line : advice)
        set_status_text(line);
}

// The console's command comes back to the console by its id, whatever else is queued.
void MainWindow::take_console_command(const QString& cmd)
{
    if (!link_active)
        return;
    const auto kind =
        is_read(cmd) ? link_session::request_kind::read : link_session::request_kind::write;
    session->send(cmd, kind, [this](const command_outcome& outcome) {
        if (outcome.answered())
            set_status_text(QStringLiteral("Result: ") + outcome.reply);
        console->show_outcome(outcome);
        if (outcome.answered())
            take_console_reply(outcome.reply);
    });
}

// Typed on purpose: the reply is shown in the console, and values of a command the pages know
// go into the pages as from any reply, but no box opens for a command they do not know.
void MainWindow::take_console_reply(const QString& line)
{
    const tc::reply reply = tc::parse_reply(line);
    if (reply.refused != tc::refusal::none)
        return;
    if (settings.simple_mode)
        pages_widget->process_simple_response(line);
    else if (reply.readable())
        fill_command_block(reply);
}

void MainWindow::on_commandLinkButton_clicked()
{
    toggle_connection();
}

void MainWindow::toggle_connection()
{
    // An empty port name would only fail to open every second: the user chooses one first.
    if (!link_active && settings.port_name.isEmpty()) {
        if (!open_settings(QStringLiteral("Порт трекера не выбран. Выберите порт, к которому "
                                          "подключён трекер, и подтвердите: связь начнётся "
                                          "сама.")) ||
            settings.port_name.isEmpty() || link_active)
            return;
    }
    if (!link_active) {
        start_tracker_thread();
        ui->commandLinkButton->setText(QString::fromUtf8(disconnect_text));
    } else if (settle_edits(next_step::disconnect) == edits_settled::now) {
        disconnect_tracker();
    }
}

void MainWindow::start_tracker_thread()
{
    waiter->stop();
    open_advice_given = false;
    link_was_lost = false;
    sets_unsaved = false;
    console->set_link_state(command_console::link_state::starting);
    if (settings.simple_mode)
        backup->arm(pages_widget->value_store, settings.xml_path);
    pages_widget->bluetooth = settings.bt_conn;
    session->start({settings.port_name, settings.port_speed, settings.bt_conn});
    link_active = true;
}

void MainWindow::disconnect_tracker()
{
    send_stream_switch(false);
    // Gives the worker the time to send the streaming-off command before it stops.
    QThread::usleep(1000000);
    session->stop();
    pages_widget->set_pages_enabled(false);
    link_ready = false;
    update_configuration_actions();
    console->set_link_state(command_console::link_state::ending);
}

void MainWindow::send_command(const QString& cmd)
{
    send_request(cmd, is_read(cmd) ? link_session::request_kind::read
                                   : link_session::request_kind::write);
}

void MainWindow::send_request(const QString& cmd, link_session::request_kind kind)
{
    if (!link_active)
        return;
    session->send(cmd, kind, [this](const command_outcome& outcome) { take_outcome(outcome); });
}

// A write that never reached the tracker is still to be written: its marks come back.
void MainWindow::take_outcome(const command_outcome& outcome)
{
    if (link_was_lost && fresh_poll_left > 0 && is_read(outcome.command) && --fresh_poll_left == 0)
        enable_after_fresh_poll();
    if (outcome.answered()) {
        slot_execute_cmd_ok(outcome.command, outcome.reply);
        return;
    }
    if (outcome.result == command_outcome::kind::too_long ||
        outcome.result == command_outcome::kind::control_bytes)
        set_status_text(QStringLiteral("Команда не отправлена: она не помещается в кадр или "
                                       "содержит управляющие символы: ") +
                        tc::masked(outcome.command));
    if (is_read(outcome.command))
        return;
    const QString key = key_of(outcome.command);
    if (settings.simple_mode && key != tc::save_key) {
        pages_widget->value_store.restore_refused(key);
        pages_widget->refresh_change_marks();
    }
    if (key == tc::save_key)
        give_up_step(QStringLiteral("трекер не ответил на запрос сохранения"));
}

// The password is read at each switch, so that one changed in the settings dialog applies at once.
void MainWindow::send_stream_switch(bool on)
{
    send_request(
        tc::streaming(settings.device_password, on ? tc::stream_mode::on : tc::stream_mode::off),
        link_session::request_kind::stream);
}

void MainWindow::take_link_event(link_event event, QSerialPort::SerialPortError error)
{
    if (event == link_event::open_failed)
        advise_on_open_failure(error);
    else if (event == link_event::link_lost)
        lose_link(error);
}

// Said at once; nothing is written until the tracker has answered again and been read afresh,
// as it may not be the same tracker. Edits keep their marks, to be written then.
void MainWindow::lose_link(QSerialPort::SerialPortError error)
{
    set_status_text(QStringLiteral("Связь с трекером потеряна: %1. Запись невозможна, пока "
                                   "трекер не ответит снова и настройки не будут прочитаны "
                                   "заново.")
                        .arg(loss_reason(error)));
    link_was_lost = true;
    fresh_poll_left = 0;
    link_ready = false;
    pages_widget->set_pages_enabled(false);
    ui->commandLinkButton_2->setEnabled(false);
    mark_device_state_stale(*pages_widget, true);
    update_configuration_actions();
    console->set_link_state(command_console::link_state::starting);
    give_up_step(QStringLiteral("связь с трекером потеряна"));
}

void MainWindow::take_dropped_command(const QString& masked)
{
    set_status_text(QStringLiteral("Команда не отправлена, связь потеряна: ") + masked);
}

void MainWindow::enable_after_fresh_poll()
{
    link_was_lost = false;
    link_ready = true;
    pages_widget->set_pages_enabled(true);
    ui->commandLinkButton_2->setEnabled(true);
    update_configuration_actions();
    set_status_text(QStringLiteral("Связь с трекером восстановлена, настройки прочитаны заново"));
    const int tab = pages_widget->current_tab();
    if (tab >= 0 && tab < pages_widget->page_list.size() &&
        pages_widget->page_list[tab].is_device_state)
        send_stream_switch(true);
}

void MainWindow::poll_tab(int tab_id, const QStringList& cmds)
{
    pages_widget->page_list[tab_id].polled = true;
    for (const QString& cmd : cmds)
        send_command(cmd);
}

void MainWindow::slot_tracker_handshake_ok()
{
    console->set_link_state(command_console::link_state::up, settings.bt_conn);
    if (link_was_lost) {
        const int tab = pages_widget->current_tab();
        const QStringList cmds = pages_widget->poll_commands(tab);
        fresh_poll_left = cmds.size();
        if (cmds.isEmpty())
            enable_after_fresh_poll();
        else
            poll_tab(tab, cmds);
        return;
    }
    pages_widget->set_pages_enabled(true);
    link_ready = true;
    update_configuration_actions();
    const int tab = pages_widget->current_tab();
    const QStringList cmds = pages_widget->poll_commands(tab);
    if (!cmds.isEmpty())
        poll_tab(tab, cmds);
}

void MainWindow::slot_on_tab_change(QStringList cmds, int tab_id)
{
    if (tab_id < 0 || tab_id >= pages_widget->page_list.size())
        return;
    if (pages_widget->page_list[tab_id].is_device_state) {
        send_stream_switch(true);
        return;
    }
    send_stream_switch(false);
    if (settings.simple_mode || !link_active || cmds.isEmpty())
        return;
    if (pages_widget->page_list[tab_id].polled)
        return;
    poll_tab(tab_id, cmds);
}

void MainWindow::tracker_read_command(int, int, QString cmd)
{
    send_command(cmd);
}

void MainWindow::tracker_set_command(int, int, QString cmd)
{
    send_command(cmd);
}

void MainWindow::slot_execute_cmd_ok(QString cmd, QString cmd_result)
{
    set_status_text(QStringLiteral("Result: ") + cmd_result);
    const tc::reply reply = tc::parse_reply(cmd_result);
    note_accepted_write(cmd, reply);
    check_written_values(cmd, reply);
    if (settings.simple_mode)
        process_simple_reply(cmd_result);
    else
        parse_expert_response(cmd, cmd_result);
    after_reply(reply);
}

// Expert mode: a block set is in the tracker's working memory until a save request is answered.
// Simple mode counts the positions each accepted write carried, expert mode the blocks set.
void MainWindow::note_accepted_write(const QString& cmd, const tc::reply& reply)
{
    if (is_read(cmd) || reply.refused != tc::refusal::none || answers_own_command(reply))
        return;
    if (!settings.simple_mode) {
        sets_unsaved = true;
        ++written_since_save;
        return;
    }
    if (const command_values* record = pages_widget->value_store.find(reply.key)) {
        for (const value_slot& slot : record->value_slots)
            written_since_save += slot.awaiting ? 1 : 0;
    }
}

void MainWindow::show_refusal(tc::refusal kind)
{
    show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"),
                     tc::refusal_text(kind));
}

// A refused write must not pass for a written one: its positions are marked changed again
// before the box opens, so that the next save writes them once more.
void MainWindow::process_simple_reply(const QString& line)
{
    const tc::reply reply = tc::parse_reply(line);
    if (reply.refused == tc::refusal::none) {
        pages_widget->process_simple_response(line);
        return;
    }
    pages_widget->value_store.restore_refused(reply.key);
    show_refusal(reply.refused);
}

// The reply names its command; the command that was sent plays no part in finding the block.
void MainWindow::parse_expert_response(const QString&, const QString& cmd_result)
{
    const tc::reply reply = tc::parse_reply(cmd_result);
    if (reply.refused != tc::refusal::none) {
        show_refusal(reply.refused);
        return;
    }
    if (!reply.readable()) {
        show_plain_box(QStringLiteral("Error parsing"));
        return;
    }
    if (!reply.well_formed())
        show_plain_box(QStringLiteral("Error parsing"));
    if (fill_command_block(reply))
        return;
    if (answers_own_command(reply)) {
        qCDebug(window_trace) << "Reply to the window's own command:" << cmd_result;
        return;
    }
    show_plain_box(QStringLiteral("No correspondig component found..."));
}

// The first block in page order whose command has the reply's key takes the values.
bool MainWindow::fill_command_block(const tc::reply& reply)
{
    for (int page = 0; page < pages_widget->page_list.size(); ++page) {
        const auto& commands = pages_widget->page_list[page].commands;
        for (int cmd = 0; cmd < commands.size(); ++cmd) {
            if (commands[cmd].command == reply.key) {
                pages_widget->apply_command_values(page, cmd, reply.fields);
                return true;
            }
        }
    }
    return false;
}

void MainWindow::on_commandLinkButton_2_clicked()
{
    if (!link_active)
        return;
    if (link_was_lost) {
        set_status_text(QStringLiteral("Нет связи с трекером: запись невозможна, пока он не "
                                       "ответит снова"));
        return;
    }
    const QString save = tc::save(settings.device_password);
    if (!settings.simple_mode) {
        send_command(save);
        return;
    }

    parameter_value_store& store = pages_widget->value_store;
    if (writes_held_back(pages_widget->refused_edits()))
        return;
    const QStringList writes =
        store.build_write_commands(settings.device_password, settings.master_password);
    if (writes.isEmpty()) {
        show_message_box(message_box_kind::information, this, QStringLiteral("Сообщение"),
                         QStringLiteral("Вы не изменили ни одного параметра"));
        return;
    }
    for (const QString& cmd : writes)
        send_command(cmd);
    send_command(save);
    // Not cleared outright: a write the tracker refuses is marked changed again.
    store.mark_writes_sent();
    pages_widget->refresh_change_marks();
}

void MainWindow::get_sensor_data(QString sd)
{
    show_state_line(sd, QDateTime::currentMSecsSinceEpoch(), false);
}

// A recording played faster keeps its own time on the charts' axis.
void MainWindow::show_replayed_line(const QString& sd, qint64 recorded_ms)
{
    show_state_line(sd, recorded_ms, true);
}

void MainWindow::show_state_line(const QString& sd, qint64 time_ms, bool recorded)
{
    const tracker_commands::device_state_line line = tracker_commands::parse_device_state_line(sd);
    if (!line.valid)
        return;
    mark_device_state_stale(*pages_widget, false);
    pages_widget->decode_device_state(line.schema_id, line.payload);
    track->show_state(pages_widget->field_values);
    charts->take_line(line.schema_id, pages_widget->field_values, time_ms,
                      recorded ? chart_view::line_source::recording
                               : chart_view::line_source::tracker);
}

// The session has waited for the worker's thread and deleted it.
void MainWindow::tracker_disconnected()
{
    link_active = false;
    pages_widget->set_pages_enabled(false);
    link_ready = false;
    link_was_lost = false;
    fresh_poll_left = 0;
    sets_unsaved = false;
    written_since_save = 0;
    ui->commandLinkButton_2->setEnabled(true);
    update_configuration_actions();
    give_up_step(QStringLiteral("связь с трекером разорвана"));
    unconfirmed.clear();
    console->set_link_state(command_console::link_state::none);
    ui->commandLinkButton->setText(QString::fromUtf8(connect_text));
    set_status_text(QStringLiteral("Tracker disconnected..."));
    for (auto& page : pages_widget->page_list)
        page.polled = false;
    if (after_link_end)
        std::exchange(after_link_end, nullptr)();
    if (close_requested)
        close();
}

// ---- Configuration files, unwritten edits, written values and backups

// The value the tracker reported at the position that tells it apart; empty before it has.
QString MainWindow::tracker_identity() const
{
    if (identity.key.isEmpty())
        return QString();
    if (settings.simple_mode) {
        if (const command_values* record = pages_widget->value_store.find(identity.key)) {
            for (const value_slot& slot : record->value_slots) {
                if (slot.index == identity.position)
                    return slot.value;
            }
        }
        return QString();
    }
    for (const t_page& page : pages_widget->page_list) {
        for (const t_command& block : page.commands) {
            if (block.command != identity.key || identity.position > block.parameters.size())
                continue;
            if (const auto* input =
                    qobject_cast<QLineEdit*>(block.parameters.at(identity.position - 1).widget))
                return input->text();
        }
    }
    return QString();
}

void MainWindow::add_configuration_actions()
{
    connect(ui->actionSaveConfiguration, &QAction::triggered, this,
            &MainWindow::save_configuration_to_file);
    connect(ui->actionLoadConfiguration, &QAction::triggered, this,
            &MainWindow::load_configuration_from_file);
    update_configuration_actions();
}

// A file is held against the tracker's values, which the pages show once the link is up.
void MainWindow::update_configuration_actions()
{
    ui->actionLoadConfiguration->setEnabled(link_ready);
}

void MainWindow::save_configuration_to_file()
{
    const QString path =
        save_pages_to_file(this, *pages_widget, settings.xml_path, tracker_identity());
    if (!path.isEmpty())
        set_status_text(QStringLiteral("Конфигурация сохранена в файл ") + path);
}

void MainWindow::load_configuration_from_file()
{
    if (load_file_into_pages(this, *pages_widget))
        set_status_text(QStringLiteral("Значения из файла применены: они отмечены на страницах"));
}

// Writing puts the step off until the tracker has answered the save request; without a tracker
// the edits can only be kept in a file.
MainWindow::edits_settled MainWindow::settle_edits(next_step step)
{
    const bool unwritten = pages_widget->has_unwritten_edits();
    // Blocks set but not saved can only be saved while the tracker answers.
    if (!unwritten && !(sets_unsaved && link_ready))
        return edits_settled::now;
    const edits_kind kind = unwritten ? edits_kind::unwritten : edits_kind::set_not_saved;
    switch (ask_about_unwritten_edits(this, link_ready, kind, pages_widget->unwritten_changes())) {
    case edits_answer::discard:
        pages_widget->discard_edits();
        sets_unsaved = false;
        return edits_settled::now;
    case edits_answer::cancel:
        return edits_settled::cancelled;
    case edits_answer::write:
        break;
    }
    if (!link_ready) {
        const bool kept =
            !save_pages_to_file(this, *pages_widget, settings.xml_path, tracker_identity())
                 .isEmpty();
        return kept ? edits_settled::now : edits_settled::cancelled;
    }
    if (writes_held_back(pages_widget->refused_edits()))
        return edits_settled::cancelled;
    write_edits();
    after_writing = step;
    return edits_settled::after_writing;
}

// Expert mode sets every edited block first; the save request follows in both modes.
void MainWindow::write_edits()
{
    for (const QString& cmd : pages_widget->edited_block_commands())
        send_command(cmd);
    on_commandLinkButton_2_clicked();
}

// Nothing is written while any edit holds a value the tracker must not get: the user hears
// which fields hold the write back and why.
bool MainWindow::writes_held_back(const QStringList& refused)
{
    if (refused.isEmpty())
        return false;
    set_status_text(QStringLiteral("Ничего не записано: исправьте отмеченные поля: ") +
                    refused.join(QStringLiteral("; ")));
    show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"),
                     QStringLiteral("Ничего не записано. Исправьте отмеченные поля:\n") +
                         refused.join(QLatin1Char('\n')));
    return true;
}

// The step that waited for the tracker's answer to the save will not get it. A mode change
// already stored in the file is taken back, so that the next start comes up in the mode the
// pages show and the edits are not lost.
void MainWindow::give_up_step(const QString& why)
{
    const next_step step = std::exchange(after_writing, next_step::none);
    if (step == next_step::none)
        return;
    if (step == next_step::restart) {
        save_settings();
        set_status_text(
            QStringLiteral("Режим отображения не изменён: изменения не записаны (%1)").arg(why));
    } else {
        set_status_text(QStringLiteral("Изменения не записаны: ") + why);
    }
}

void MainWindow::take_step(next_step step)
{
    switch (step) {
    case next_step::none:
        break;
    case next_step::close:
        close();
        break;
    case next_step::disconnect:
        if (link_active)
            disconnect_tracker();
        break;
    case next_step::restart:
        restart_in_new_mode();
        break;
    }
}

// Before the store takes the reply, while it still knows what was written. A read is no answer
// to a write.
void MainWindow::check_written_values(const QString& cmd, const tc::reply& reply)
{
    if (!settings.simple_mode || cmd == tc::read(reply.key))
        return;
    for (const unconfirmed_write& write : unconfirmed_writes(pages_widget->value_store, reply)) {
        pages_widget->mark_unconfirmed(write.key, write.position);
        unconfirmed.append(write);
    }
}

// The answer to the save request closes a round of writes; a refusal stops the step that
// waited for it, as the edits are not written.
void MainWindow::after_reply(const tc::reply& reply)
{
    if (reply.refused != tc::refusal::none) {
        pages_widget->refresh_change_marks();
        give_up_step(QStringLiteral("трекер отказал: ") + tc::refusal_text(reply.refused));
    }
    if (reply.key != tc::save_key)
        return;
    if (reply.refused == tc::refusal::none) {
        sets_unsaved = false;
        set_status_text(saved_text(std::exchange(written_since_save, 0), settings.simple_mode));
    }
    show_unconfirmed_writes();
    take_step(std::exchange(after_writing, next_step::none));
}

void MainWindow::show_unconfirmed_writes()
{
    if (unconfirmed.isEmpty())
        return;
    QStringList lines{QStringLiteral("Трекер хранит не те значения, что были записаны:")};
    for (const unconfirmed_write& write : std::exchange(unconfirmed, {})) {
        const QList<parameter_place> writers =
            pages_widget->places.writers(write.key, write.position);
        const QString label = writers.isEmpty()
                                  ? QStringLiteral("%1, #%2").arg(write.key).arg(write.position)
                                  : writers.first().parameter->description;
        lines << QStringLiteral("%1: записано «%2», в трекере «%3»")
                     .arg(label, write.written, write.held);
    }
    show_message_box(message_box_kind::information, this, QStringLiteral("Сообщение"),
                     lines.join(QLatin1Char('\n')));
}
