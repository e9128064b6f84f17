#pragma once

#include "profile_records.h"
#include "simple_entries.h"

#include <QList>
#include <QString>

#include <optional>

class QComboBox;
class QFormLayout;
class QFrame;
class QScrollArea;
class QVBoxLayout;
class QWidget;
class t_feedback_button;

// Records of the generated pages. They point at widgets without owning them: the widgets belong
// to the Qt parent tree of the page widget, which also owns the records.

// One expert-mode parameter row.
struct t_parameter
{
    QString description;
    QString type; // as written
    parameter_kind kind = parameter_kind::other;
    QWidget* widget = nullptr; // QLineEdit, QComboBox, or none for other kinds
    bool readonly = false;     // its place in the set command stays empty
    QString defaultvalue;
    std::optional<QString> tracker_value; // from the last reply that filled the block
};

// One expert-mode command block.
struct t_command
{
    QString command;               // the name written after "AT"
    QString description;           // block title
    QList<t_parameter> parameters; // the order of the values in set commands and replies
    QFrame* box = nullptr;
    QFormLayout* form_layout = nullptr;
    t_feedback_button* read_button = nullptr; // only when polldata
    t_feedback_button* set_button = nullptr;
    bool polldata = false;
    bool master = false;
};

// One simple-mode parameter; its widget points back at it.
struct t_simple_parameter
{
    QString description;
    QString type; // as written
    parameter_kind kind = parameter_kind::other;
    QWidget* widget = nullptr; // t_line_edit_ex, t_combo_box_ex, or none for other kinds
    QString read;              // entry lists as written
    QString write;
    bool master = false;
    parameter_entries entries; // read and write, parsed when the page is built
    QString defaultvalue;
    QString group; // the heading or block it is listed under
};

// One tab.
struct t_page
{
    QString id;
    QString name;
    QList<t_command> commands; // expert pages
    QWidget* content = nullptr;
    QVBoxLayout* content_layout = nullptr;
    QScrollArea* scroll_area = nullptr;
    int tab_index = 0;
    bool polled = false; // poll commands sent during this link
    bool is_device_state = false;
    bool is_simple = false;
    QFormLayout* form_layout = nullptr; // simple pages
    QFrame* form_frame = nullptr;
    QList<t_simple_parameter*> parameters;
};

struct t_rawdata
{
    int id = 0;
    QString schema;
};

struct t_state_column
{
    QFrame* frame = nullptr;
    QFormLayout* form_layout = nullptr;
};

// One value line of the device-state page.
struct t_display_field
{
    float multiplier = 1.0f;
    QString field;
    QString display_as;
    display_kind kind = display_kind::number;
    float valid_range_min = 0.0f;
    float valid_range_max = 0.0f;
    QWidget* widget = nullptr; // read-only QLineEdit, or QComboBox for "select"
};
