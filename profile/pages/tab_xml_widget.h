#pragma once

#include "change_marks.h"
#include "device_state_values.h"
#include "field_place.h"
#include "page_records.h"
#include "parameter_places.h"
#include "parameter_value_store.h"
#include "value_check.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QMenu;
class QTabWidget;
struct parameter_route;

// The page area of the main window: one tab per page of the command profile, built once by the
// constructor (the pages of the display mode, then the device-state page). The widget never
// talks to the tracker: clicks and tab changes come out as ready command strings in signals,
// and the main window hands replies and device-state records back in.
class tab_xml_widget : public QWidget
{
    Q_OBJECT

public:
    tab_xml_widget(QWidget* parent, const QString& path, bool simple_mode);
    ~tab_xml_widget() override;

    // Operations of the main window
    void set_pages_enabled(bool on);
    int current_tab() const;
    QStringList poll_commands(int tab = -1) const; // -1: the current tab
    QString build_set_command(int tab_id, int cmd_id) const;

    // Replies
    void apply_command_values(int page, int cmd, QStringList fields); // expert mode
    void process_simple_response(QString line);                       // simple mode
    void track_simple_change(t_simple_parameter* parameter, const QString& value);

    // Edits the tracker has not confirmed: marked on their inputs in both modes
    bool has_unwritten_edits() const;
    void discard_edits();
    // Expert mode: set commands of the edited blocks whose values all pass the value check.
    QStringList edited_block_commands() const;
    // "<label>: <reason>" for every edit a write must hold back: in simple mode each changed
    // position whose value is refused (a save must then send nothing), in expert mode every
    // refused value of an edited block (edited_block_commands() leaves the block out).
    QStringList refused_edits() const;
    void refresh_change_marks(); // simple mode, after the store's flags changed
    void mark_unconfirmed(const QString& key, int position); // the tracker kept another value
    // Changes the tracker has not had, in page order; each page's tab shows their count.
    QList<unwritten_change> unwritten_changes() const;

    // Back to a known value: the menus of an input and of a page, each owned by the caller.
    QMenu* field_menu(QWidget* input);
    QMenu* page_menu(int tab);
    // Every field of the page that the tracker reported takes its value back, unmarked.
    void revert_page(int tab);

    // Building: the help, the menu and the word on a refused keystroke, alike in both modes.
    void prepare_field(QWidget* input, const profile_parameter& source,
                       const parameter_route& route);

    // Device state
    void decode_device_state(int id, const QString& payload);
    void show_device_state();
    QString format_field_value(const t_display_field& display) const;

    // The model, read directly by the main window; indices are stable after construction.
    QTabWidget* tab_widget;
    QString device_password;
    QString master_password;
    bool bluetooth = false; // the link's frame is one byte longer; the wired one is the safe guess
    QList<t_page> page_list;
    QList<t_rawdata> rawdata_list;
    QList<field_value> field_values;
    QList<t_state_column> state_columns;
    QList<t_display_field> display_fields;
    parameter_value_store value_store;
    bool is_simple_mode = false;
    parameter_places places; // simple mode
    value_rules rules;       // of the display mode's pages

signals:
    void on_read_button_pressed(int tab_id, int cmd_id, QString cmd);
    void on_set_button_pressed(int tab_id, int cmd_id, QString cmd);
    void on_tab_changed(QStringList cmds, int tab_id);
    // A status text naming the inputs whose values would be refused, and why: sent when the user
    // types such a value, and instead of a set command that would carry one.
    void value_refused(QString text);

public slots:
    void read_button_click();
    void set_button_click();
    void tab_changed(int index);
    void simple_text_changed(QString text);
    void simple_combo_box_changed(QString new_text);
    void expert_input_edited();

private:
    // A field with an input: an expert block's parameter (cmd >= 0) or a simple parameter.
    struct field_ref
    {
        int tab = -1;
        int cmd = -1;
        int index = -1;
        t_simple_parameter* simple = nullptr;
    };

    void load_expert_mode(const QString& path);
    void load_simple_mode(const QString& path);
    void load_device_state(const QString& path);

    // The value check on the pages
    value_verdict save_verdict(const command_values& record, const value_slot& slot) const;
    QList<refused_value> simple_refusals() const;
    void show_simple_refusals(const QString& key);
    bool show_simple_refusal(const t_simple_parameter& parameter);
    value_verdict input_verdict(int tab, int cmd, int parameter) const;
    QList<refused_value> block_refusals(int tab, int cmd) const;
    bool show_input_refusal(int tab, int cmd, int parameter);
    void check_edited_input(int tab, int cmd, int parameter);

    // Fields and their known values
    field_ref find_field(const QWidget* input) const;
    QList<field_ref> page_fields(int tab) const;
    const t_parameter& expert_parameter(const field_ref& field) const;
    QWidget* input_of(const field_ref& field) const;
    QString default_of(const field_ref& field) const;
    std::optional<QString> tracker_value(const field_ref& field) const;
    bool can_revert(const field_ref& field) const;
    void revert_field(const field_ref& field);
    bool can_set_default(const field_ref& field) const;
    void set_default(const field_ref& field);
    void add_page_action(QMenu* menu, int tab);
    void add_page_menus();
    const value_slot* stored_slot(const position_entry& entry) const;
    const value_slot* changed_slot(const t_simple_parameter& parameter) const;
    bool unwritten(const field_ref& field) const;
    unwritten_change change_of(const field_ref& field) const;
    void show_tab_marks();

    std::vector<std::unique_ptr<t_simple_parameter>> simple_parameters;
    simple_change_marks change_marks;
    QHash<QString, int> field_index; // name -> position in field_values
    std::vector<char> decode_buffer;
};
