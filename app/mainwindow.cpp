#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "settings_file.h"
#include "tab_xml_widget.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    load_settings();
    // The profile always comes from the working directory; the stored path is kept for old files.
    settings.xml_path = QStringLiteral("profile.xml");

    pages_widget = new tab_xml_widget(ui->frame_2, settings.xml_path, settings.simple_mode);
    pages_widget->device_password = settings.device_password;
    pages_widget->master_password = settings.master_password;
    ui->verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    ui->verticalLayout_2->addWidget(pages_widget);

    status_label = new QLabel(this);
    ui->statusBar->addWidget(status_label);

    link_active = false;
    close_requested = false;

    connect(pages_widget, &tab_xml_widget::on_read_button_pressed, this,
            &MainWindow::tracker_read_command);
    connect(pages_widget, &tab_xml_widget::on_set_button_pressed, this,
            &MainWindow::tracker_set_command);
    connect(pages_widget, &tab_xml_widget::on_tab_changed, this, &MainWindow::slot_on_tab_change);

    // Nothing may reach the tracker before the handshake.
    pages_widget->set_pages_enabled(false);
    set_status_text(QStringLiteral("Init ok!"));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::set_status_text(QString str)
{
    const QDateTime now = QDateTime::currentDateTime();
    status_label->setText(str);
    ui->log_widget->insertItem(0, now.toString(QStringLiteral("[HH:mm:ss] ")) + str);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
}

void MainWindow::load_settings()
{
    settings = read_settings(settings_file_path());
}

void MainWindow::save_settings()
{
    write_settings(settings_file_path(), settings);
}

void MainWindow::show_settings_window() {}
void MainWindow::tracker_disconnected() {}
void MainWindow::slot_execute_cmd_ok(QString, QString) {}
void MainWindow::slot_tracker_handshake_ok() {}
void MainWindow::tracker_read_command(int, int, QString) {}
void MainWindow::tracker_set_command(int, int, QString) {}
void MainWindow::slot_on_tab_change(QStringList, int) {}
void MainWindow::get_sensor_data(QString) {}
void MainWindow::on_commandLinkButton_clicked() {}
void MainWindow::on_commandLinkButton_2_clicked() {}
