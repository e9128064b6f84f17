#pragma once

#include <QComboBox>

struct t_simple_parameter;

// A simple-mode selection; its change slot finds the parameter through it.
class t_combo_box_ex : public QComboBox
{
    Q_OBJECT

public:
    explicit t_combo_box_ex(QWidget* parent);

    t_simple_parameter* parameter = nullptr; // not owned
};
