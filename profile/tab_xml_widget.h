#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QTabWidget;

// The page area of the main window: one tab per page of the command profile.
class tab_xml_widget : public QWidget
{
    Q_OBJECT

public:
    tab_xml_widget(QWidget* parent, const QString& path, bool simple_mode);

    // Enables or disables the controls that start tracker traffic.
    void set_pages_enabled(bool on);

    QTabWidget* tab_widget;
    QString device_password;
    QString master_password;
    bool is_simple_mode;

signals:
    void on_read_button_pressed(int tab_id, int cmd_id, QString cmd);
    void on_set_button_pressed(int tab_id, int cmd_id, QString cmd);
    void on_tab_changed(QStringList cmds, int tab_id);
};
