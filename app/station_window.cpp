#include "station_window.h"

#include "file_dialog.h"
#include "settings_file.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QSysInfo>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString configuration_folder = QStringLiteral("ConfigurationFolder");
const QString csv_folder = QStringLiteral("UnitValuesFolder");
constexpr int own_port_choice = 1; // of the ports' choices: the main window's port alone
// What the station was last started with, so that the next shift starts where this one did.
const QString kept_configuration = QStringLiteral("Station/Configuration");
const QString kept_unit_values = QStringLiteral("Station/UnitValues");
const QString kept_identity = QStringLiteral("Station/Identity");
const QString kept_database = QStringLiteral("Station/Database");
const QString kept_name = QStringLiteral("Station/Name");
const QString kept_ports = QStringLiteral("Station/Ports");
constexpr int tile_columns = 3;
constexpr int shown_records = 20;

QString default_database()
{
    return QStringLiteral("sqlite:") +
           QDir(remembered_folder(configuration_folder)).filePath(QStringLiteral("provision.db"));
}

QString profile_identity(const QString& profile_path)
{
    QList<profile_page> pages;
    QString error;
    return read_mode_pages(profile_path, true, pages, error) ? position_text(find_identity(pages))
                                                             : QString();
}

bool phase_has_progress(station_phase phase)
{
    return phase == station_phase::reading || phase == station_phase::writing ||
           phase == station_phase::verifying;
}

// Named, so that tests find it.
QLineEdit* line_edit(const QString& name, const QString& text)
{
    auto* line = new QLineEdit(text);
    line->setObjectName(name);
    return line;
}

// The tooltip shows a text too long for its column.
QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    return item;
}

} // namespace

station_window::station_window(const t_settings& window_settings, link_release release,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), settings(window_settings), release_link(std::move(release))
{
    setWindowTitle(QStringLiteral("Серийная настройка"));
    choices = make_choices();

    start_button = new QPushButton(QStringLiteral("Начать"));
    stop_button = new QPushButton(QStringLiteral("Остановить"));
    stop_button->setEnabled(false);
    counts_label = new QLabel(counts.text());
    counts_label->setObjectName(QStringLiteral("counts"));
    connect(start_button, &QPushButton::clicked, this, &station_window::start);
    connect(stop_button, &QPushButton::clicked, this, &station_window::stop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_button);
    buttons->addWidget(stop_button);
    buttons->addStretch();
    buttons->addWidget(counts_label);

    problems = new QPlainTextEdit;
    problems->setObjectName(QStringLiteral("problems"));
    problems->setReadOnly(true);
    problems->setMaximumHeight(90);
    problems->hide();

    auto* tiles_area = new QScrollArea;
    auto* tiles_widget = new QWidget;
    tiles_layout = new QGridLayout(tiles_widget);
    tiles_layout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    tiles_area->setWidget(tiles_widget);
    tiles_area->setWidgetResizable(true);
    tiles_area->setMinimumHeight(150); // a row of tiles

    journal = new QPlainTextEdit;
    journal->setReadOnly(true);
    journal->setMaximumBlockCount(1000);

    auto* parts = new QSplitter(Qt::Vertical);
    parts->addWidget(tiles_area);
    parts->addWidget(make_records_table());
    parts->addWidget(journal);
    parts->setSizes({300, 250, 100});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choices);
    layout->addLayout(buttons);
    layout->addWidget(problems);
    layout->addWidget(parts, 1);
    resize(900, 800);
}

// Threads still serving ports use the records: they end before the records go.
station_window::~station_window()
{
    delete station;
}

QWidget* station_window::make_choices()
{
    auto* box = new QWidget;
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    configuration_path =
        add_file_choice(*form, QStringLiteral("Конфигурация:"), QStringLiteral("configuration"),
                        [this] { choose_configuration(); });
    configuration_path->setText(remembered_choice(kept_configuration, QString()));
    csv_path = add_file_choice(*form, QStringLiteral("Значения трекеров (CSV):"),
                               QStringLiteral("unit_values"), [this] { choose_csv(); });
    csv_path->setText(remembered_choice(kept_unit_values, QString()));
    csv_path->setPlaceholderText(QStringLiteral("необязательно: всем трекерам одна конфигурация"));
    identity_text =
        line_edit(QStringLiteral("identity"),
                  remembered_choice(kept_identity, profile_identity(settings.xml_path)));
    identity_text->setPlaceholderText(QStringLiteral("например +IMEI#1"));
    form->addRow(QStringLiteral("Позиция идентификатора:"), identity_text);
    database_text =
        line_edit(QStringLiteral("database"), remembered_choice(kept_database, default_database()));
    database_text->setToolTip(
        QStringLiteral("sqlite:ФАЙЛ или postgresql://пользователь@сервер:порт/база"));
    form->addRow(QStringLiteral("База данных:"), database_text);
    station_name = line_edit(QStringLiteral("station_name"),
                             remembered_choice(kept_name, QSysInfo::machineHostName()));
    form->addRow(QStringLiteral("Название станции:"), station_name);
    ports = new QComboBox;
    ports->setObjectName(QStringLiteral("ports"));
    ports->addItem(QStringLiteral("Все порты трекеров, также подключённые позже"));
    ports->addItem(QStringLiteral("Только порт из настроек"));
    ports->setCurrentIndex(remembered_choice(kept_ports, QString()).toInt());
    form->addRow(QStringLiteral("Порты:"), ports);
    return box;
}

// Kept once the plan has been accepted: choices that were refused are no help next time.
void station_window::remember_choices() const
{
    remember_choice(kept_configuration, configuration_path->text());
    remember_choice(kept_unit_values, csv_path->text());
    remember_choice(kept_identity, identity_text->text());
    remember_choice(kept_database, database_text->text().trimmed());
    remember_choice(kept_name, station_name->text().trimmed());
    remember_choice(kept_ports, QString::number(ports->currentIndex()));
}

QLineEdit* station_window::add_file_choice(QFormLayout& form, const QString& label,
                                           const QString& name, std::function<void()> choose)
{
    auto* row = new QHBoxLayout;
    QLineEdit* line = line_edit(name, QString());
    auto* button = new QPushButton(QStringLiteral("Выбрать..."));
    connect(button, &QPushButton::clicked, this, std::move(choose));
    row->addWidget(line, 1);
    row->addWidget(button);
    form.addRow(label, row);
    return line;
}

QWidget* station_window::make_records_table()
{
    auto* box = new QGroupBox(QStringLiteral("Последние записи в базе"));
    records_table = new QTableWidget(0, 5);
    records_table->setObjectName(QStringLiteral("records"));
    records_table->setHorizontalHeaderLabels(
        {QStringLiteral("Время"), QStringLiteral("Порт"), QStringLiteral("Идентификатор"),
         QStringLiteral("Результат"), QStringLiteral("Записано позиций")});
    records_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    records_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    records_table->verticalHeader()->hide();
    records_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    records_table->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(records_table);
    return box;
}

void station_window::choose_configuration()
{
    const QString path =
        ask_file_name(file_dialog_kind::open, this, QStringLiteral("Конфигурация для трекеров"),
                      remembered_folder(configuration_folder),
                      QStringLiteral("Конфигурации трекера (*.json);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    remember_folder(configuration_folder, path);
    configuration_path->setText(path);
}

void station_window::choose_csv()
{
    const QString path = ask_file_name(
        file_dialog_kind::open, this, QStringLiteral("Значения трекеров"),
        remembered_folder(csv_folder), QStringLiteral("Таблицы CSV (*.csv);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    remember_folder(csv_folder, path);
    csv_path->setText(path);
}

// Everything is checked before the main window's link is asked to end: a plan with a problem
// leaves the installer's link alone.
void station_window::start()
{
    if (station)
        return;
    const bool own_port = ports->currentIndex() == own_port_choice;
    // Found ports may be Bluetooth links, whose frames are shorter: the plan fits them all.
    const command_frame frame{settings.device_password, settings.master_password,
                              own_port ? settings.bt_conn : true};
    provisioning_plan chosen;
    QStringList found;
    plan_from_choices({settings.xml_path, configuration_path->text(), csv_path->text(),
                       identity_text->text(), frame},
                      chosen, found);
    if (own_port && settings.port_name.isEmpty())
        found << QStringLiteral("В настройках не выбран порт");
    database_address address;
    QString error;
    if (!parse_database_address(database_text->text().trimmed(), address, error))
        found << QStringLiteral("База данных: ") + error;
    if (!found.isEmpty()) {
        show_problems(found);
        return;
    }
    auto opened = std::make_unique<provisioning_records>(address);
    if (!opened->open(error)) {
        show_problems(
            {QStringLiteral("База данных %1 недоступна: %2").arg(address.shown(), error)});
        return;
    }
    show_problems(QStringList());
    remember_choices();
    plan = chosen;
    records = std::move(opened);
    show_records();
    // Until the main window's link has ended, a second start would ask it again.
    start_button->setEnabled(false);
    if (!release_link([this] { start_station(); })) {
        start_button->setEnabled(true);
        add_journal_line(QStringLiteral("Не начато: связь главного окна с трекером не разорвана"));
    }
}

// A window closed while the main window's link was ending starts nothing.
void station_window::start_station()
{
    if (!isVisible()) {
        start_button->setEnabled(true);
        return;
    }
    station_settings chosen;
    chosen.name = station_name->text().trimmed();
    if (ports->currentIndex() == own_port_choice) {
        chosen.ports = QStringList{settings.port_name};
        chosen.speed = settings.port_speed;
        chosen.bluetooth = settings.bt_conn;
    }
    station = new provisioning_station(plan, *records, chosen, this);
    connect(station, &provisioning_station::port_found, this,
            [this](const QString& port) { show_progress(tile(port)); });
    connect(station, &provisioning_station::phase_changed, this, &station_window::take_phase);
    connect(station, &provisioning_station::identified, this,
            [this](const QString& port, const QString& identity) {
                port_tile& shown = tile(port);
                shown.progress.identity = identity;
                show_progress(shown);
            });
    connect(station, &provisioning_station::note, this,
            [this](const QString& port, const QString& text) {
                add_journal_line(port + QStringLiteral(": ") + text);
            });
    connect(station, &provisioning_station::finished_one, this, &station_window::take_result);
    connect(station, &provisioning_station::stopped, this, &station_window::take_stopped);
    set_running(true);
    add_journal_line(QStringLiteral("Станция «%1» начала работу, записи в %2")
                         .arg(chosen.name, records->address().shown()));
    station->start();
}

void station_window::stop()
{
    if (!station)
        return;
    stop_button->setEnabled(false);
    add_journal_line(QStringLiteral("Остановка: начатые трекеры заканчивают текущий шаг"));
    station->stop();
}

void station_window::take_stopped()
{
    const int cut_short = station->cut_short();
    // Deleted later: this runs inside the station's own signal.
    station->deleteLater();
    station = nullptr;
    set_running(false);
    add_journal_line(
        cut_short == 0
            ? QStringLiteral("Станция остановлена")
            : QStringLiteral("Станция остановлена, прервано трекеров: %1").arg(cut_short));
    if (std::exchange(close_when_stopped, false))
        close();
}

void station_window::set_running(bool on)
{
    choices->setEnabled(!on);
    start_button->setEnabled(!on);
    stop_button->setEnabled(on);
    emit running_changed(on);
}

void station_window::show_problems(const QStringList& found)
{
    problems->setPlainText(found.join(QLatin1Char('\n')));
    problems->setVisible(!found.isEmpty());
}

station_window::port_tile& station_window::tile(const QString& port)
{
    auto known = tiles.find(port);
    if (known != tiles.end())
        return *known;
    auto* box = new QGroupBox(port);
    box->setObjectName(QStringLiteral("tile ") + port);
    box->setFixedWidth(300);
    port_tile made;
    made.identity = new QLabel;
    made.status = new QLabel;
    made.status->setObjectName(QStringLiteral("status"));
    made.status->setWordWrap(true);
    made.bar = new QProgressBar;
    made.bar->setFormat(QStringLiteral("%v из %m"));
    // The tiles of a row keep their height whatever phase each is in.
    QSizePolicy keep = made.bar->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    made.bar->setSizePolicy(keep);
    made.last = new QLabel;
    made.last->setWordWrap(true);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(made.identity);
    layout->addWidget(made.status);
    layout->addWidget(made.bar);
    layout->addWidget(made.last);
    const int index = tiles.size();
    tiles_layout->addWidget(box, index / tile_columns, index % tile_columns);
    return *tiles.insert(port, made);
}

void station_window::show_progress(port_tile& shown)
{
    const port_progress& progress = shown.progress;
    shown.identity->setText(progress.identity.isEmpty() ? QStringLiteral("—") : progress.identity);
    shown.status->setText(progress_text(progress));
    shown.status->setToolTip(shown.status->text());
    const bool bar = phase_has_progress(progress.phase) && progress.total > 0;
    shown.bar->setVisible(bar);
    if (bar) {
        shown.bar->setRange(0, progress.total);
        shown.bar->setValue(progress.done);
    }
}

// The result comes with finished_one; the phase after it starts the tile afresh, its last line
// keeping the tracker before, so that one unplugged at once is still seen.
void station_window::take_phase(const QString& port, station_phase phase, int done, int total)
{
    if (phase == station_phase::finished)
        return;
    port_tile& shown = tile(port);
    const port_progress before = std::exchange(shown.progress, port_progress());
    if (!before.result.isEmpty())
        shown.last->setText(
            QStringLiteral("Предыдущий: %1 — %2")
                .arg(before.identity.isEmpty() ? QStringLiteral("?") : before.identity,
                     result_text(before.result, QString())));
    else
        shown.progress.identity = before.identity;
    shown.progress.phase = phase;
    shown.progress.done = done;
    shown.progress.total = total;
    show_progress(shown);
}

void station_window::take_result(const QString& port, const provisioning_result& result)
{
    port_tile& shown = tile(port);
    shown.progress.phase = station_phase::finished;
    shown.progress.identity = result.row.identity;
    shown.progress.result = result.row.result;
    shown.progress.detail = result.row.detail;
    show_progress(shown);
    counts.add(result.row.result);
    counts_label->setText(counts.text());
    add_journal_line(result_line(port, result));
    show_records();
}

void station_window::add_journal_line(const QString& text)
{
    journal->appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss ")) +
                             text);
}

// Newest first.
void station_window::show_records()
{
    QList<provisioning_row> rows;
    QString error;
    if (!records->rows(rows, error, shown_records)) {
        add_journal_line(QStringLiteral("Записи не прочитаны: ") + error);
        return;
    }
    records_table->setRowCount(rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const provisioning_row& row = rows.at(rows.size() - 1 - i);
        records_table->setItem(
            i, 0, cell(row.finished_at.toLocalTime().toString(QStringLiteral("dd.MM HH:mm:ss"))));
        records_table->setItem(i, 1, cell(row.port));
        records_table->setItem(i, 2, cell(row.identity));
        records_table->setItem(i, 3, cell(result_text(row.result, row.detail)));
        records_table->setItem(i, 4, cell(QString::number(row.positions_written)));
    }
}

// The station ends its jobs' steps before the window goes, so no tracker is left half-written
// without a record.
void station_window::closeEvent(QCloseEvent* event)
{
    if (!station) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Серийная настройка"),
                    QStringLiteral("Станция работает. Остановить её и закрыть окно?"),
                    QMessageBox::NoButton, this);
    QPushButton* stop_and_close =
        box.addButton(QStringLiteral("Остановить и закрыть"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() != stop_and_close)
        return;
    close_when_stopped = true;
    stop();
}
