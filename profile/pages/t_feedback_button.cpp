#include "t_feedback_button.h"

t_feedback_button::t_feedback_button(QWidget* parent) : QPushButton(parent) {}
