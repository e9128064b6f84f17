#pragma once

#include "t_settings.h"

#include <QDialog>

namespace Ui {
class Confirm_Dialog;
}

// The settings dialog: port, speed, link kind, automatic connection, passwords, display mode.
class Confirm_Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Confirm_Dialog(QWidget* parent = nullptr);
    ~Confirm_Dialog() override;

    void fill_from_settings(const t_settings* s);
    void store_to_settings(t_settings* s);
    // A sentence above the form saying why the dialog came up by itself.
    void show_notice(const QString& text);

private slots:
    // Bound by name to the dialog's own accepted(); the main window reads the form itself.
    void on_Confirm_Dialog_accepted();

private:
    void fill_port_list();
    void fill_speed_list();
    void select_port(const t_settings* s);

    Ui::Confirm_Dialog* ui;
};
