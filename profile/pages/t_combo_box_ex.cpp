#include "t_combo_box_ex.h"

t_combo_box_ex::t_combo_box_ex(QWidget* parent) : QComboBox(parent) {}
