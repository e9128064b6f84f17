#include "confirm_dialog.h"
#include "ui_confirm_dialog.h"

#include "port_list.h"

#include <QLabel>

Confirm_Dialog::Confirm_Dialog(QWidget* parent) : QDialog(parent), ui(new Ui::Confirm_Dialog)
{
    ui->setupUi(this);
    fill_port_list();
    fill_speed_list();
}

Confirm_Dialog::~Confirm_Dialog()
{
    delete ui;
}

void Confirm_Dialog::show_notice(const QString& text)
{
    auto* notice = new QLabel(text, this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setWordWrap(true);
    ui->verticalLayout->insertWidget(0, notice);
}

void Confirm_Dialog::fill_port_list()
{
    ui->cbPortName->clear();
    for (const port_entry& port : available_ports())
        ui->cbPortName->addItem(port_display_text(port), port.port_name);
}

void Confirm_Dialog::fill_speed_list()
{
    for (int speed : {9600, 38400, 57600, 115200, 460800})
        ui->cbPortSpeed->addItem(QString::number(speed), speed);
}

void Confirm_Dialog::fill_from_settings(const t_settings* s)
{
    ui->leMasterDevicePassword->setText(s->device_password);
    ui->leMasterPassword->setText(s->master_password);
    ui->check_box_bt->setChecked(s->bt_conn);
    ui->cbAutoConnect->setChecked(s->auto_connect);
    ui->cbPortSpeed->setCurrentIndex(ui->cbPortSpeed->findData(s->port_speed));
    ui->cb_SimpleMode->setChecked(s->simple_mode);
    select_port(s);
}

// A configured port that is not attached stays choosable under the text stored with it.
void Confirm_Dialog::select_port(const t_settings* s)
{
    QComboBox* box = ui->cbPortName;
    const int found = box->findData(s->port_name);
    if (found >= 0) {
        box->setCurrentIndex(found);
    } else {
        box->addItem(s->port_name_long, s->port_name);
        box->setCurrentIndex(box->count() - 1);
    }
    box->model()->sort(0, Qt::AscendingOrder);
}

void Confirm_Dialog::store_to_settings(t_settings* s)
{
    s->port_name = ui->cbPortName->currentData().toString();
    s->port_speed = ui->cbPortSpeed->currentData().toInt();
    s->port_name_long = ui->cbPortName->currentText();
    s->bt_conn = ui->check_box_bt->checkState() != Qt::Unchecked;
    s->device_password = ui->leMasterDevicePassword->text();
    s->master_password = ui->leMasterPassword->text();
    s->auto_connect = ui->cbAutoConnect->checkState() != Qt::Unchecked;
    s->simple_mode = ui->cb_SimpleMode->checkState() != Qt::Unchecked;
}

void Confirm_Dialog::on_Confirm_Dialog_accepted() {}
