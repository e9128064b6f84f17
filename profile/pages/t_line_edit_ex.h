#pragma once

#include <QLineEdit>

struct t_simple_parameter;

// A simple-mode text input; its change slot finds the parameter through it.
class t_line_edit_ex : public QLineEdit
{
    Q_OBJECT

public:
    explicit t_line_edit_ex(QWidget* parent);

    t_simple_parameter* parameter = nullptr; // not owned
};
