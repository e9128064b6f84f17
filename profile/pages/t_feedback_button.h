#pragma once

#include <QPushButton>

// A read or set button of a command block; it tells its slot which block it belongs to.
class t_feedback_button : public QPushButton
{
    Q_OBJECT

public:
    explicit t_feedback_button(QWidget* parent);

    int tab_id = 0; // index of the page in page_list
    int cmd_id = 0; // index of the block in the page's commands
};
