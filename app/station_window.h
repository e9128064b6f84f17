#pragma once

#include "provisioning_station.h"
#include "station_setup.h"
#include "t_settings.h"

#include <QMap>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QFormLayout;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

// "Серийная настройка...": the production station in a window of its own. The installer chooses
// the configuration, the units' values, the database and the ports; each port gets a tile with
// its tracker's phase, and the newest records are shown as they are added.
class station_window : public QWidget
{
    Q_OBJECT

public:
    // The station opens the ports itself, so the main window's own link ends first: release
    // calls when_free once the port is free, or returns false when the installer kept the link.
    using link_release = std::function<bool(std::function<void()> when_free)>;

    // settings: the main window's, read at each start for the passwords and its port.
    station_window(const t_settings& settings, link_release release, QWidget* parent);
    ~station_window() override;

    bool running() const { return station != nullptr; }

signals:
    void running_changed(bool running);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct port_tile
    {
        QLabel* identity = nullptr;
        QLabel* status = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* last = nullptr; // the tracker before, once one has finished
        port_progress progress;
    };

    QWidget* make_choices();
    QWidget* make_records_table();
    QLineEdit* add_file_choice(QFormLayout& form, const QString& label, const QString& name,
                               std::function<void()> choose);
    void choose_configuration();
    void choose_csv();
    void choose_database();

    void start();
    void remember_choices() const;
    void start_station();
    void stop();
    void take_stopped();
    void set_running(bool on);
    void show_problems(const QStringList& problems);

    port_tile& tile(const QString& port);
    void show_progress(port_tile& tile);
    void take_phase(const QString& port, station_phase phase, int done, int total);
    void take_result(const QString& port, const provisioning_result& result);
    void add_journal_line(const QString& text);
    void show_records();

    const t_settings& settings;
    const link_release release_link;
    provisioning_plan plan;
    std::unique_ptr<provisioning_records> records;
    provisioning_station* station = nullptr; // while it runs, until stopped()
    bool close_when_stopped = false;
    station_counts counts;

    QLineEdit* configuration_path;
    QLineEdit* csv_path;
    QLineEdit* identity_text;
    QLineEdit* database_text;
    QLineEdit* station_name;
    QComboBox* ports;
    QWidget* choices;
    QPushButton* start_button;
    QPushButton* stop_button;
    QLabel* counts_label;
    QPlainTextEdit* problems;
    QGridLayout* tiles_layout;
    QMap<QString, port_tile> tiles;
    QTableWidget* records_table;
    QPlainTextEdit* journal;
};
