#include "tab_xml_widget.h"

#include "device_state_page.h"
#include "expert_pages.h"
#include "message_box.h"
#include "page_log.h"
#include "parameter_help.h"
#include "parameter_inputs.h"
#include "profile_reader.h"
#include "simple_pages.h"
#include "t_combo_box_ex.h"
#include "t_feedback_button.h"
#include "t_line_edit_ex.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

bool block_edited(const t_command& block)
{
    return std::any_of(block.parameters.begin(), block.parameters.end(),
                       [](const t_parameter& p) { return p.widget && has_change_mark(p.widget); });
}

const value_slot* slot_at(const command_values& record, int index)
{
    for (const value_slot& slot : record.value_slots) {
        if (slot.index == index) {
            return &slot;
        }
    }
    return nullptr;
}

QStringList refusal_lines(const QList<refused_value>& refused)
{
    QStringList lines;
    for (const refused_value& value : refused) {
        lines << refusal_line(value);
    }
    return lines;
}

QString typed_refusal(const QString& label, const QString& reason)
{
    return QStringLiteral("Значение не будет записано. %1: %2").arg(label, reason);
}

void add_action(QMenu* menu, const QString& text, bool enabled, const std::function<void()>& act)
{
    QAction* action = menu->addAction(text);
    action->setEnabled(enabled);
    QObject::connect(action, &QAction::triggered, menu, act);
}

void pop_up(QMenu* menu, QWidget* over, const QPoint& at)
{
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(over->mapToGlobal(at));
}

} // namespace

tab_xml_widget::tab_xml_widget(QWidget* parent, const QString& path, bool simple_mode)
    : QWidget(parent), tab_widget(new QTabWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tab_widget);

    if (simple_mode) {
        load_simple_mode(path);
    } else {
        load_expert_mode(path);
    }
    add_page_menus();
    for (const auto& parameter : simple_parameters) {
        if (parameter->widget) {
            reserve_mark_width(parameter->widget);
        }
    }
    for (const t_page& page : qAsConst(page_list)) {
        for (const t_command& block : page.commands) {
            for (const t_parameter& parameter : block.parameters) {
                if (parameter.widget) {
                    reserve_mark_width(parameter.widget);
                }
            }
        }
    }
    load_device_state(path);
    connect(tab_widget, &QTabWidget::currentChanged, this, &tab_xml_widget::tab_changed);
}

// The inputs point at the simple-mode records: they go first, while the records still exist.
tab_xml_widget::~tab_xml_widget()
{
    delete tab_widget;
}

void tab_xml_widget::set_pages_enabled(bool on)
{
    for (const t_page& page : qAsConst(page_list)) {
        if (is_simple_mode) {
            if (page.is_device_state) {
                continue;
            }
            for (t_simple_parameter* parameter : page.parameters) {
                if (parameter->widget) {
                    parameter->widget->setEnabled(on);
                }
            }
        } else if (!page.is_simple) {
            for (const t_command& block : page.commands) {
                if (block.read_button) {
                    block.read_button->setEnabled(on);
                }
                block.set_button->setEnabled(on);
            }
        }
    }
}

int tab_xml_widget::current_tab() const
{
    return tab_widget->currentIndex();
}

QStringList tab_xml_widget::poll_commands(int tab) const
{
    if (is_simple_mode) {
        return value_store.build_read_commands();
    }
    const int index = tab == -1 ? current_tab() : tab;
    QStringList commands;
    if (index < 0 || index >= page_list.size()) {
        return commands;
    }
    for (const t_command& block : page_list.at(index).commands) {
        if (block.polldata) {
            commands.append(tracker_commands::read(block.command));
        }
    }
    return commands;
}

QString tab_xml_widget::build_set_command(int tab_id, int cmd_id) const
{
    const t_command& block = page_list.at(tab_id).commands.at(cmd_id);
    return tracker_commands::set(block.command, block.master ? master_password : device_password,
                                 set_values(block));
}

void tab_xml_widget::read_button_click()
{
    const auto* button = qobject_cast<t_feedback_button*>(sender());
    if (!button) {
        return;
    }
    const t_page& page = page_list.at(button->tab_id);
    const t_command& block = page.commands.at(button->cmd_id);
    qCDebug(pages_log) << "Button READ pressed" << page.id << " " << block.command;
    emit on_read_button_pressed(button->tab_id, button->cmd_id,
                                tracker_commands::read(block.command));
}

void tab_xml_widget::set_button_click()
{
    const auto* button = qobject_cast<t_feedback_button*>(sender());
    if (!button) {
        return;
    }
    const t_page& page = page_list.at(button->tab_id);
    const t_command& block = page.commands.at(button->cmd_id);
    qCDebug(pages_log) << "Button SET pressed" << page.id << " " << block.command;
    for (int k = 0; k < block.parameters.size(); ++k) {
        show_input_refusal(button->tab_id, button->cmd_id, k);
    }
    const QList<refused_value> refused = block_refusals(button->tab_id, button->cmd_id);
    if (!refused.isEmpty()) {
        emit value_refused(
            QStringLiteral("Команда %1 не отправлена. %2")
                .arg(block.command, refusal_lines(refused).join(QStringLiteral("; "))));
        return;
    }
    emit on_set_button_pressed(button->tab_id, button->cmd_id,
                               build_set_command(button->tab_id, button->cmd_id));
}

void tab_xml_widget::tab_changed(int index)
{
    emit on_tab_changed(poll_commands(index), index);
}

// ---- Building

namespace {

// The pages of one mode; a profile that cannot be read is reported and gives none.
QList<profile_page> mode_pages_or_report(const QString& path, bool simple_mode)
{
    QList<profile_page> pages;
    QString error;
    if (!read_mode_pages(path, simple_mode, pages, error)) {
        show_message_box(message_box_kind::plain, nullptr, QString(), error);
    }
    return pages;
}

// The profile's faults are told once, by the reading of the simple pages.
QHash<QString, QString> expert_block_titles(const QString& path)
{
    QList<profile_page> expert;
    QString error;
    read_mode_pages(path, false, expert, error);
    return block_titles(expert);
}

} // namespace

void tab_xml_widget::load_expert_mode(const QString& path)
{
    is_simple_mode = false;
    const QList<profile_page> pages = mode_pages_or_report(path, false);
    rules = value_rules::of_expert_pages(pages);
    build_expert_pages(*this, pages);
}

void tab_xml_widget::load_simple_mode(const QString& path)
{
    is_simple_mode = true;
    const QList<profile_page> pages = mode_pages_or_report(path, true);
    rules = value_rules::of_simple_pages(pages);
    build_simple_pages(*this, pages, expert_block_titles(path), simple_parameters);
    places.build(page_list);
}

void tab_xml_widget::prepare_field(QWidget* input, const profile_parameter& source,
                                   const parameter_route& route)
{
    set_field_help(input, parameter_help(source, route));
    input->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(input, &QWidget::customContextMenuRequested, this,
            [this, input](const QPoint& at) { pop_up(field_menu(input), input, at); });
    // A validator or a length limit swallows the keystroke: say why.
    if (auto* edit = qobject_cast<QLineEdit*>(input)) {
        const QString why = QStringLiteral("Ввод не принят. %1: %2")
                                .arg(source.description, accepted_values(source));
        connect(edit, &QLineEdit::inputRejected, this, [this, why] { emit value_refused(why); });
    }
}

void tab_xml_widget::add_page_menus()
{
    for (const t_page& page : qAsConst(page_list)) {
        QWidget* content = page.content;
        const int tab = page.tab_index;
        content->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(content, &QWidget::customContextMenuRequested, this,
                [this, content, tab](const QPoint& at) { pop_up(page_menu(tab), content, at); });
    }
}

void tab_xml_widget::load_device_state(const QString& path)
{
    QList<profile_rawdata> rawdata;
    QList<profile_column> columns;
    QString error;
    if (!read_device_state(path, rawdata, columns, error)) {
        show_message_box(message_box_kind::plain, nullptr, QString(), error);
        return;
    }
    if (!rawdata.isEmpty()) {
        build_device_state_page(*this, rawdata, columns);
    }
}

// ---- Replies

void tab_xml_widget::apply_command_values(int page, int cmd, QStringList fields)
{
    t_command& block = page_list[page].commands[cmd];
    apply_values(block, fields);
    // The reply shows what the tracker holds: an input it filled holds no edit any more.
    for (int k = 0; k < block.parameters.size() && k + 1 < fields.size(); ++k) {
        t_parameter& parameter = block.parameters[k];
        parameter.tracker_value = fields.at(k + 1);
        if (parameter.widget) {
            set_change_mark(parameter.widget, false);
            show_input_refusal(page, cmd, k);
        }
    }
    show_tab_marks();
}

void tab_xml_widget::process_simple_response(QString line)
{
    qCDebug(pages_log) << "Process: " + line;
    const tracker_commands::reply reply = tracker_commands::parse_reply(line);
    if (!value_store.store_reply(reply)) {
        return;
    }
    {
        // A combo box set here reports a change, but nobody typed a value to be told about.
        const QSignalBlocker quiet(this);
        apply_reply(places, reply);
    }
    // After the widgets: a combo box set above reports a change, which is not the user's.
    value_store.clear_change_flags(reply.key);
    qCDebug(pages_log) << "Change flag cleared for ..." + reply.key;
    change_marks.refresh(value_store, places, reply.key);
    show_simple_refusals(reply.key);
    show_tab_marks();
}

void tab_xml_widget::simple_text_changed(QString text)
{
    if (const auto* edit = qobject_cast<t_line_edit_ex*>(sender())) {
        track_simple_change(edit->parameter, text);
    }
}

void tab_xml_widget::simple_combo_box_changed(QString)
{
    if (const auto* combo = qobject_cast<t_combo_box_ex*>(sender())) {
        track_simple_change(combo->parameter, combo->currentData().toString());
    }
}

void tab_xml_widget::track_simple_change(t_simple_parameter* parameter, const QString& value)
{
    if (!parameter) {
        return;
    }
    mark_written(*parameter, value, value_store);
    change_marks.refresh(value_store, *parameter);
    if (show_simple_refusal(*parameter)) {
        emit value_refused(typed_refusal(parameter->description, refusal_mark(parameter->widget)));
    }
    // The other inputs of its commands: they may write the same positions, and together they may
    // no longer fit a frame.
    for (const position_entry& entry : parameter->entries.write) {
        change_marks.refresh(value_store, places, entry.key);
        show_simple_refusals(entry.key);
    }
    show_tab_marks();
}

void tab_xml_widget::expert_input_edited()
{
    auto* input = qobject_cast<QWidget*>(sender());
    const field_ref field = input ? find_field(input) : field_ref{};
    if (field.cmd < 0) {
        return;
    }
    set_change_mark(input, true);
    check_edited_input(field.tab, field.cmd, field.index);
    show_tab_marks();
}

// The other inputs of the block too: together they may no longer fit a frame.
void tab_xml_widget::check_edited_input(int tab, int cmd, int parameter)
{
    const QList<t_parameter>& parameters = page_list.at(tab).commands.at(cmd).parameters;
    for (int k = 0; k < parameters.size(); ++k) {
        if (show_input_refusal(tab, cmd, k) && k == parameter) {
            emit value_refused(
                typed_refusal(parameters.at(k).description, refusal_mark(parameters.at(k).widget)));
        }
    }
}

// ---- Edits not yet written

bool tab_xml_widget::has_unwritten_edits() const
{
    return !unwritten_changes().isEmpty();
}

// Fields go back to what the tracker reported; an edit it reported nothing for just loses its mark.
void tab_xml_widget::discard_edits()
{
    for (const t_page& page : qAsConst(page_list)) {
        revert_page(page.tab_index);
    }
    value_store.clear_change_flags(QString());
    refresh_change_marks();
    for (const t_page& page : qAsConst(page_list)) {
        for (const t_command& block : page.commands) {
            for (const t_parameter& parameter : block.parameters) {
                if (parameter.widget) {
                    set_change_mark(parameter.widget, false);
                }
            }
        }
    }
    show_tab_marks();
}

QStringList tab_xml_widget::edited_block_commands() const
{
    QStringList commands;
    for (const t_page& page : page_list) {
        for (int cmd = 0; cmd < page.commands.size(); ++cmd) {
            if (block_edited(page.commands.at(cmd)) &&
                block_refusals(page.tab_index, cmd).isEmpty()) {
                commands.append(build_set_command(page.tab_index, cmd));
            }
        }
    }
    return commands;
}

QStringList tab_xml_widget::refused_edits() const
{
    if (is_simple_mode) {
        return refusal_lines(simple_refusals());
    }
    QStringList lines;
    for (const t_page& page : page_list) {
        for (int cmd = 0; cmd < page.commands.size(); ++cmd) {
            if (block_edited(page.commands.at(cmd))) {
                lines << refusal_lines(block_refusals(page.tab_index, cmd));
            }
        }
    }
    return lines;
}

void tab_xml_widget::refresh_change_marks()
{
    for (const auto& parameter : simple_parameters) {
        change_marks.refresh(value_store, *parameter);
        show_simple_refusal(*parameter);
    }
    show_tab_marks();
}

void tab_xml_widget::mark_unconfirmed(const QString& key, int position)
{
    change_marks.set_unconfirmed(key, position);
}

QList<unwritten_change> tab_xml_widget::unwritten_changes() const
{
    QList<unwritten_change> changes;
    for (const t_page& page : page_list) {
        for (const field_ref& field : page_fields(page.tab_index)) {
            if (unwritten(field)) {
                changes << change_of(field);
            }
        }
    }
    return changes;
}

// Every field that writes a changed position shows the change, as it shows its mark.
bool tab_xml_widget::unwritten(const field_ref& field) const
{
    return field.simple ? changed_slot(*field.simple) != nullptr : has_change_mark(input_of(field));
}

// Simple mode: the change is the value the next save writes.
unwritten_change tab_xml_widget::change_of(const field_ref& field) const
{
    const t_page& page = page_list.at(field.tab);
    const QWidget* input = input_of(field);
    const field_place place =
        field.simple ? field_place{page.name, field.simple->group, field.simple->description}
                     : field_place{page.name, page.commands.at(field.cmd).description,
                                   expert_parameter(field).description};
    const std::optional<QString> held = tracker_value(field);
    const QString wanted = field.simple ? changed_slot(*field.simple)->value : input_value(input);
    return {field.tab, place,
            held ? std::optional<QString>(value_text(input, *held)) : std::nullopt,
            value_text(input, wanted)};
}

const value_slot* tab_xml_widget::stored_slot(const position_entry& entry) const
{
    const command_values* record = value_store.find(entry.key);
    return record ? slot_at(*record, entry.index) : nullptr;
}

const value_slot* tab_xml_widget::changed_slot(const t_simple_parameter& parameter) const
{
    for (const position_entry& entry : parameter.entries.write) {
        const value_slot* slot = stored_slot(entry);
        if (slot && slot->changed && !slot->tracker_only) {
            return slot;
        }
    }
    return nullptr;
}

void tab_xml_widget::show_tab_marks()
{
    for (const t_page& page : qAsConst(page_list)) {
        const QList<field_ref> fields = page_fields(page.tab_index);
        const auto count = std::count_if(fields.begin(), fields.end(),
                                         [this](const field_ref& f) { return unwritten(f); });
        const QString text =
            count == 0 ? page.name : QStringLiteral("%1 •%2").arg(page.name).arg(count);
        // Shown after every keystroke: an unchanged text is left alone rather than laid out again.
        if (tab_widget->tabText(page.tab_index) != text) {
            tab_widget->setTabText(page.tab_index, text);
        }
    }
}

// ---- Back to a known value

QMenu* tab_xml_widget::field_menu(QWidget* input)
{
    const field_ref field = find_field(input);
    auto* edit = qobject_cast<QLineEdit*>(input);
    QMenu* menu = edit ? edit->createStandardContextMenu() : new QMenu;
    menu->addSeparator();
    add_action(menu, QStringLiteral("Вернуть значение из трекера"), can_revert(field),
               [this, field] {
                   revert_field(field);
                   show_tab_marks();
               });
    add_action(menu, QStringLiteral("Значение по умолчанию"), can_set_default(field),
               [this, field] { set_default(field); });
    menu->addSeparator();
    add_page_action(menu, field.tab);
    return menu;
}

QMenu* tab_xml_widget::page_menu(int tab)
{
    auto* menu = new QMenu;
    add_page_action(menu, tab);
    return menu;
}

void tab_xml_widget::add_page_action(QMenu* menu, int tab)
{
    const QList<field_ref> fields = page_fields(tab);
    const bool any = std::any_of(fields.begin(), fields.end(),
                                 [this](const field_ref& f) { return can_revert(f); });
    add_action(menu, QStringLiteral("Отменить изменения на странице"), any,
               [this, tab] { revert_page(tab); });
}

void tab_xml_widget::revert_page(int tab)
{
    for (const field_ref& field : page_fields(tab)) {
        if (can_revert(field)) {
            revert_field(field);
        }
    }
    show_tab_marks();
}

tab_xml_widget::field_ref tab_xml_widget::find_field(const QWidget* input) const
{
    for (const t_page& page : page_list) {
        for (const field_ref& field : page_fields(page.tab_index)) {
            if (input_of(field) == input) {
                return field;
            }
        }
    }
    return {};
}

QList<tab_xml_widget::field_ref> tab_xml_widget::page_fields(int tab) const
{
    QList<field_ref> fields;
    if (tab < 0 || tab >= page_list.size()) {
        return fields;
    }
    const t_page& page = page_list.at(tab);
    for (t_simple_parameter* parameter : page.parameters) {
        if (parameter->widget) {
            fields.append({tab, -1, -1, parameter});
        }
    }
    for (int cmd = 0; cmd < page.commands.size(); ++cmd) {
        const QList<t_parameter>& parameters = page.commands.at(cmd).parameters;
        for (int k = 0; k < parameters.size(); ++k) {
            if (parameters.at(k).widget) {
                fields.append({tab, cmd, k, nullptr});
            }
        }
    }
    return fields;
}

const t_parameter& tab_xml_widget::expert_parameter(const field_ref& field) const
{
    return page_list.at(field.tab).commands.at(field.cmd).parameters.at(field.index);
}

QWidget* tab_xml_widget::input_of(const field_ref& field) const
{
    return field.simple ? field.simple->widget : expert_parameter(field).widget;
}

// Simple mode: what the field shows comes from its read entries, so their value goes first.
std::optional<QString> tab_xml_widget::tracker_value(const field_ref& field) const
{
    if (!field.simple) {
        return expert_parameter(field).tracker_value;
    }
    for (const auto* entries : {&field.simple->entries.read, &field.simple->entries.write}) {
        for (const position_entry& entry : *entries) {
            const value_slot* slot = stored_slot(entry);
            if (slot && slot->tracker_value) {
                return slot->tracker_value;
            }
        }
    }
    return std::nullopt;
}

bool tab_xml_widget::can_revert(const field_ref& field) const
{
    if (field.tab < 0) {
        return false;
    }
    const QWidget* input = input_of(field);
    const std::optional<QString> known = tracker_value(field);
    return known && (has_change_mark(input) || input_value(input) != *known);
}

void tab_xml_widget::revert_field(const field_ref& field)
{
    QWidget* input = input_of(field);
    show_input_value(input, *tracker_value(field));
    if (!field.simple) {
        set_change_mark(input, false);
        const int count = page_list.at(field.tab).commands.at(field.cmd).parameters.size();
        for (int k = 0; k < count; ++k) {
            show_input_refusal(field.tab, field.cmd, k);
        }
        return;
    }
    // The fields that show a position taken back show the tracker's value again, as after its
    // reply.
    t_simple_parameter& parameter = *field.simple;
    change_marks.drop_unconfirmed(parameter);
    for (const position_entry& entry : parameter.entries.write) {
        if (value_store.revert(entry.key, entry.index)) {
            for (const parameter_place& reader : places.readers(entry.key, entry.index)) {
                show_input_value(reader.parameter->widget, stored_slot(entry)->value);
            }
        }
    }
    change_marks.refresh(value_store, parameter);
    show_simple_refusal(parameter);
    for (const position_entry& entry : parameter.entries.write) {
        change_marks.refresh(value_store, places, entry.key);
        show_simple_refusals(entry.key);
    }
}

QString tab_xml_widget::default_of(const field_ref& field) const
{
    return field.simple ? field.simple->defaultvalue : expert_parameter(field).defaultvalue;
}

// A value that is never written has no default to go back to.
bool tab_xml_widget::can_set_default(const field_ref& field) const
{
    if (field.tab < 0) {
        return false;
    }
    const bool writable =
        field.simple ? !field.simple->entries.write.isEmpty() : !expert_parameter(field).readonly;
    const QString value = default_of(field);
    const QWidget* input = input_of(field);
    return writable && !value.isEmpty() && input_can_show(input, value) &&
           input_value(input) != value;
}

// The default is an edit like a typed value: marked, and checked before it is written.
void tab_xml_widget::set_default(const field_ref& field)
{
    QWidget* input = input_of(field);
    show_input_value(input, default_of(field));
    if (field.simple) {
        track_simple_change(field.simple, input_value(input));
        return;
    }
    set_change_mark(input, true);
    check_edited_input(field.tab, field.cmd, field.index);
    show_tab_marks();
}

// ---- The value check on the pages

// A position the next save does not write is no concern of the check.
value_verdict tab_xml_widget::save_verdict(const command_values& record,
                                           const value_slot& slot) const
{
    if (!slot.changed || slot.tracker_only) {
        return {};
    }
    const value_verdict verdict = rules.check(record.key, slot.index, slot.value);
    if (!verdict.passes()) {
        return verdict;
    }
    return check_frame(value_store.build_write_command(record, device_password, master_password),
                       bluetooth);
}

QList<refused_value> tab_xml_widget::simple_refusals() const
{
    QList<refused_value> refused;
    for (const command_values& record : value_store.records()) {
        for (const value_slot& slot : record.value_slots) {
            const value_verdict verdict = save_verdict(record, slot);
            if (!verdict.passes()) {
                const value_rule* rule = rules.find(record.key, slot.index);
                refused << refused_value{record.key, slot.index, slot.value,
                                         rule ? rule->label : QString(), verdict};
            }
        }
    }
    return refused;
}

void tab_xml_widget::show_simple_refusals(const QString& key)
{
    for (t_simple_parameter* parameter : places.writers_of(key)) {
        show_simple_refusal(*parameter);
    }
}

// True when the input newly shows a refusal.
bool tab_xml_widget::show_simple_refusal(const t_simple_parameter& parameter)
{
    if (!parameter.widget) {
        return false;
    }
    value_verdict verdict;
    for (const position_entry& entry : parameter.entries.write) {
        const command_values* record = value_store.find(entry.key);
        const value_slot* slot = record ? slot_at(*record, entry.index) : nullptr;
        if (slot && verdict.passes()) {
            verdict = save_verdict(*record, *slot);
        }
    }
    const QString reason = refusal_text(verdict);
    return set_refusal_mark(parameter.widget, reason) && !reason.isEmpty();
}

// A read-only parameter's place stays empty in the set command, so its value is not checked.
value_verdict tab_xml_widget::input_verdict(int tab, int cmd, int parameter) const
{
    const t_parameter& row = page_list.at(tab).commands.at(cmd).parameters.at(parameter);
    if (!row.widget || row.readonly) {
        return {};
    }
    const value_verdict verdict =
        check_value(rules.block(tab, cmd).value(parameter), input_value(row.widget));
    return verdict.passes() ? check_frame(build_set_command(tab, cmd), bluetooth) : verdict;
}

QList<refused_value> tab_xml_widget::block_refusals(int tab, int cmd) const
{
    QList<refused_value> refused;
    const t_command& block = page_list.at(tab).commands.at(cmd);
    for (int k = 0; k < block.parameters.size(); ++k) {
        const value_verdict verdict = input_verdict(tab, cmd, k);
        if (!verdict.passes()) {
            const t_parameter& row = block.parameters.at(k);
            refused << refused_value{block.command, k + 1, input_value(row.widget), row.description,
                                     verdict};
        }
    }
    return refused;
}

// True when the input newly shows a refusal.
bool tab_xml_widget::show_input_refusal(int tab, int cmd, int parameter)
{
    QWidget* input = page_list.at(tab).commands.at(cmd).parameters.at(parameter).widget;
    if (!input) {
        return false;
    }
    const QString reason = refusal_text(input_verdict(tab, cmd, parameter));
    return set_refusal_mark(input, reason) && !reason.isEmpty();
}

// ---- Device state

void tab_xml_widget::decode_device_state(int id, const QString& payload)
{
    const QByteArray record = QByteArray::fromBase64(payload.toUtf8());
    for (const t_rawdata& rawdata : qAsConst(rawdata_list)) {
        if (rawdata.id != id) {
            continue;
        }
        if (rawdata.schema.isEmpty()) {
            return;
        }
        const QByteArray text = decode_record_text(rawdata.schema.toUtf8(), record, decode_buffer);
        store_decoded_fields(QString::fromUtf8(text), field_values, field_index);
        show_device_state();
        return;
    }
}

void tab_xml_widget::show_device_state()
{
    for (const t_display_field& display : qAsConst(display_fields)) {
        show_text(display, format_field_value(display));
    }
}

QString tab_xml_widget::format_field_value(const t_display_field& display) const
{
    const auto found = field_index.constFind(display.field);
    const field_value* value = found == field_index.constEnd() ? nullptr : &field_values.at(*found);
    return format_field(value, {display.kind, display.multiplier, display.valid_range_min,
                                display.valid_range_max});
}
