#include "t_line_edit_ex.h"

t_line_edit_ex::t_line_edit_ex(QWidget* parent) : QLineEdit(parent) {}
