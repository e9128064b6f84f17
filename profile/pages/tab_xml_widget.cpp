#include "tab_xml_widget.h"

#include "message_box.h"
#include "parameter_inputs.h"
#include "position_entry.h"
#include "profile_reader.h"
#include "t_combo_box_ex.h"
#include "t_feedback_button.h"
#include "t_line_edit_ex.h"

#include <QComboBox>
#include <QDebug>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const QString device_state_title = QStringLiteral("Состояние устройства");

QFrame* new_frame(QWidget* parent, QFrame::Shape shape, QFrame::Shadow shadow)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}

QFormLayout* new_form(QWidget* parent)
{
    auto* form = new QFormLayout(parent);
    form->setAlignment(Qt::AlignTop);
    form->setContentsMargins(0, 0, 0, 0);
    form->setLabelAlignment(Qt::AlignRight);
    return form;
}

t_feedback_button* new_button(QWidget* parent, const QString& text, int tab_id, int cmd_id)
{
    auto* button = new t_feedback_button(parent);
    button->setText(text);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    button->tab_id = tab_id;
    button->cmd_id = cmd_id;
    return button;
}

bool is_text_type(const QString& type)
{
    return type == QLatin1String("integer") || type == QLatin1String("string");
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
            commands.append(QStringLiteral("AT") + block.command + QStringLiteral("=?"));
        }
    }
    return commands;
}

QString tab_xml_widget::build_set_command(int tab_id, int cmd_id) const
{
    const t_command& block = page_list.at(tab_id).commands.at(cmd_id);
    const QString& password = block.master ? master_password : device_password;
    QString command =
        QStringLiteral("AT") + block.command + QLatin1Char('=') + password + QLatin1Char(',');
    for (const t_parameter& parameter : block.parameters) {
        if (parameter.readonly) {
            command.append(QLatin1Char(','));
        } else if (is_text_type(parameter.type) || parameter.type == QLatin1String("option")) {
            command.append(input_value(parameter.widget) + QLatin1Char(','));
        }
    }
    return command;
}

void tab_xml_widget::read_button_click()
{
    const auto* button = qobject_cast<t_feedback_button*>(sender());
    if (!button) {
        return;
    }
    const t_page& page = page_list.at(button->tab_id);
    qDebug() << "Button READ pressed" << page.id << " " << page.commands.at(button->cmd_id).command;
    emit on_read_button_pressed(button->tab_id, button->cmd_id,
                                QStringLiteral("AT") + page.commands.at(button->cmd_id).command +
                                    QStringLiteral("=?"));
}

void tab_xml_widget::set_button_click()
{
    const auto* button = qobject_cast<t_feedback_button*>(sender());
    if (!button) {
        return;
    }
    const t_page& page = page_list.at(button->tab_id);
    qDebug() << "Button SET pressed" << page.id << " " << page.commands.at(button->cmd_id).command;
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

} // namespace

void tab_xml_widget::load_expert_mode(const QString& path)
{
    is_simple_mode = false;
    for (const profile_page& source : mode_pages_or_report(path, false)) {
        t_page& page = add_page(source.name, source.id, false);
        for (const profile_command& command : source.commands) {
            add_command_block(command, page);
        }
        finish_page(page);
    }
}

void tab_xml_widget::load_simple_mode(const QString& path)
{
    is_simple_mode = true;
    for (const profile_page& source : mode_pages_or_report(path, true)) {
        t_page& page = add_page(source.name, source.id, true);
        for (const profile_parameter& parameter : source.parameters) {
            qDebug() << parameter.description;
            add_simple_parameter(parameter, page);
        }
        finish_page(page);
    }
}

void tab_xml_widget::load_device_state(const QString& path)
{
    QList<profile_rawdata> rawdata;
    QList<profile_column> rows;
    QString error;
    if (!read_device_state(path, rawdata, rows, error)) {
        show_message_box(message_box_kind::plain, nullptr, QString(), error);
        return;
    }
    if (rawdata.isEmpty()) {
        return;
    }
    add_device_state_page();
    for (const profile_rawdata& source : qAsConst(rawdata)) {
        rawdata_list.append({source.id, source.schema});
    }
    for (int column = 0; column < rows.size(); ++column) {
        for (const profile_display& display : rows.at(column).displays) {
            add_display_field(column, display);
        }
    }
    finish_page(page_list.last());
}

t_page& tab_xml_widget::add_page(const QString& name, const QString& id, bool simple)
{
    auto* tab_page = new QWidget;
    auto* page_layout = new QVBoxLayout(tab_page);
    page_layout->setContentsMargins(0, 0, 0, 0);

    t_page page;
    page.id = id;
    page.name = name;
    page.scroll_area = new QScrollArea(tab_page);
    page.scroll_area->setWidgetResizable(true);
    page.scroll_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    page.scroll_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page_layout->addWidget(page.scroll_area);
    page.content = new QWidget;
    page.content_layout = new QVBoxLayout(page.content);
    page.tab_index = page_list.size();
    page.is_simple = simple;
    if (simple) {
        page.form_frame = new_frame(page.content, QFrame::NoFrame, QFrame::Plain);
        page.content_layout->addWidget(page.form_frame);
        page.form_layout = new_form(page.form_frame);
    }
    page_list.append(page);
    tab_widget->addTab(tab_page, name);
    return page_list.last();
}

// The content goes into its scroll area once it is complete, so that it is laid out only once.
void tab_xml_widget::finish_page(t_page& page)
{
    page.scroll_area->setWidget(page.content);
}

void tab_xml_widget::add_command_block(const profile_command& source, t_page& page)
{
    auto* block_frame = new_frame(page.content, QFrame::Box, QFrame::Sunken);
    block_frame->setLineWidth(1);
    page.content_layout->addWidget(block_frame);
    auto* block_layout = new QVBoxLayout(block_frame);
    block_layout->setAlignment(Qt::AlignTop);
    block_layout->addWidget(new QLabel(
        QStringLiteral("<b>") + source.description + QStringLiteral("</b>"), block_frame));
    block_layout->addWidget(new_frame(block_frame, QFrame::HLine, QFrame::Sunken));

    t_command block;
    block.command = source.command;
    block.description = source.description;
    block.polldata = source.polldata;
    block.master = source.master;
    block.box = new_frame(block_frame, QFrame::NoFrame, QFrame::Plain);
    block_layout->addWidget(block.box);
    block.form_layout = new_form(block.box);

    const int cmd_id = page.commands.size();
    block.set_button = new_button(block.box, QStringLiteral("Установить"), page.tab_index, cmd_id);
    connect(block.set_button, &QPushButton::clicked, this, &tab_xml_widget::set_button_click);
    if (block.polldata) {
        block.read_button =
            new_button(block.box, QStringLiteral("Считать"), page.tab_index, cmd_id);
        connect(block.read_button, &QPushButton::clicked, this, &tab_xml_widget::read_button_click);
        block.form_layout->addRow(block.read_button, block.set_button);
    } else {
        block.form_layout->addRow(new QWidget(block.box), block.set_button);
    }
    for (const profile_parameter& parameter : source.parameters) {
        add_expert_parameter(parameter, block);
    }
    page.commands.append(block);
}

void tab_xml_widget::add_expert_parameter(const profile_parameter& source, t_command& block)
{
    t_parameter parameter{source.description, source.type, source.kind, nullptr, source.readonly};
    if (is_text_type(source.type)) {
        auto* edit = new QLineEdit(block.box);
        setup_line_edit(edit, source, this);
        parameter.widget = edit;
    } else if (source.type == QLatin1String("option")) {
        auto* combo = new QComboBox(block.box);
        setup_combo_box(combo, source, true);
        parameter.widget = combo;
    }
    if (parameter.widget) {
        // Parameter rows stay above the button row.
        block.form_layout->insertRow(block.form_layout->rowCount() - 1, source.description,
                                     parameter.widget);
    }
    block.parameters.append(parameter);
}

void tab_xml_widget::add_simple_parameter(const profile_parameter& source, t_page& page)
{
    auto record = std::make_unique<t_simple_parameter>();
    record->description = source.description;
    record->type = source.type;
    record->read = source.read;
    record->write = source.write;
    record->master = source.master;
    for (const QString& list : {source.read, source.write}) {
        for (const QString& entry : split_entry_list(list)) {
            value_store.add_spec_entry(entry, source.master);
        }
    }

    if (source.type == QLatin1String("splitter")) {
        page.form_layout->addRow(new_frame(page.form_frame, QFrame::HLine, QFrame::Sunken));
        return;
    }
    // Change slots are connected after the default is set: a default is not an edit.
    if (is_text_type(source.type)) {
        auto* edit = new t_line_edit_ex(page.form_frame);
        page.form_layout->addRow(source.description, edit);
        setup_line_edit(edit, source, this);
        edit->parameter = record.get();
        record->widget = edit;
        connect(edit, &QLineEdit::textEdited, this, &tab_xml_widget::simple_text_changed);
    } else if (source.type == QLatin1String("option")) {
        auto* combo = new t_combo_box_ex(page.form_frame);
        setup_combo_box(combo, source, false);
        page.form_layout->addRow(source.description, combo);
        combo->parameter = record.get();
        record->widget = combo;
        // The text form of the signal is the deprecated overload; the slot reads the item data.
        connect(combo, SIGNAL(currentIndexChanged(QString)), this,
                SLOT(simple_combo_box_changed(QString)));
    }
    page.parameters.append(record.get());
    simple_parameters.push_back(std::move(record));
}

void tab_xml_widget::add_device_state_page()
{
    t_page& page = add_page(device_state_title, QString(), false);
    page.polled = true;
    page.is_device_state = true;

    // The columns live in the scrolled content, so that long columns can be scrolled to.
    auto* grid = new QGridLayout;
    page.content_layout->addLayout(grid);
    page.content_layout->addStretch();
    for (int column = 0; column < device_state_columns; ++column) {
        t_state_column state_column;
        state_column.frame = new_frame(page.content, QFrame::Box, QFrame::Sunken);
        state_column.frame->setLineWidth(1);
        grid->addWidget(state_column.frame, 0, column, Qt::AlignTop);
        state_column.form_layout = new QFormLayout(state_column.frame);
        state_columns.append(state_column);
    }
}

void tab_xml_widget::add_display_field(int column, const profile_display& source)
{
    const t_state_column& state_column = state_columns.at(column);
    QFrame* frame = state_column.frame;
    auto* label = new QLabel(frame);
    if (source.display_as == QLatin1String("splitter")) {
        label->setText(QStringLiteral("<b>") + source.comment + QStringLiteral("</b>"));
        state_column.form_layout->addRow(new_frame(frame, QFrame::HLine, QFrame::Sunken), label);
        return;
    }
    label->setText(source.unit.isEmpty() ? source.comment
                                         : source.comment + QStringLiteral(", <b>") + source.unit +
                                               QStringLiteral("</b>"));

    t_display_field display{source.multiplier,
                            source.field,
                            source.display_as,
                            source.kind,
                            source.valid_range_min,
                            source.valid_range_max,
                            nullptr};
    if (source.display_as == QLatin1String("select")) {
        auto* combo = new QComboBox(frame);
        for (const profile_display_option& option : source.options) {
            combo->addItem(option.text, option.id);
        }
        // Nothing is selected before the tracker has said anything.
        combo->setCurrentIndex(-1);
        display.widget = combo;
    } else {
        auto* edit = new QLineEdit(QStringLiteral("Значение"), frame);
        edit->setReadOnly(true);
        display.widget = edit;
    }
    state_column.form_layout->addRow(label, display.widget);
    display_fields.append(display);
}

// ---- Replies

void tab_xml_widget::apply_command_values(int page, int cmd, QStringList fields)
{
    const t_command& block = page_list.at(page).commands.at(cmd);
    for (int k = 0; k < block.parameters.size() && k + 1 < fields.size(); ++k) {
        const t_parameter& parameter = block.parameters.at(k);
        if (is_text_type(parameter.type)) {
            static_cast<QLineEdit*>(parameter.widget)->setText(fields.at(k + 1));
        } else if (parameter.type == QLatin1String("option")) {
            select_item_by_data(static_cast<QComboBox*>(parameter.widget), fields.at(k + 1));
        }
    }
}

void tab_xml_widget::process_simple_response(QString line)
{
    qDebug() << "Process: " + line;
    if (!value_store.store_response_values(line)) {
        return;
    }
    const QStringList fields = line.split(QLatin1Char(':')).at(1).split(QLatin1Char(','));
    fill_simple_parameters(fields);
    // After the widgets: a combo box set above reports a change, which is not the user's.
    value_store.clear_change_flags(QLatin1Char('+') + fields.at(0));
    qDebug() << "Change flag cleared for ...+" + fields.at(0);
}

void tab_xml_widget::fill_simple_parameters(const QStringList& fields)
{
    const QString key = QLatin1Char('+') + fields.at(0);
    for (const t_page& page : qAsConst(page_list)) {
        if (page.is_device_state) {
            continue;
        }
        for (t_simple_parameter* parameter : page.parameters) {
            if (!parameter->widget) {
                continue;
            }
            for (const QString& entry : split_entry_list(parameter->read)) {
                position_entry parsed;
                if (!parse_position_entry(entry, parsed) || parsed.key != key || parsed.index < 0 ||
                    parsed.index >= fields.size()) {
                    continue;
                }
                const QString& value = fields.at(parsed.index);
                if (auto* combo = qobject_cast<QComboBox*>(parameter->widget)) {
                    select_item_by_data(combo, value);
                } else {
                    static_cast<QLineEdit*>(parameter->widget)->setText(value);
                }
            }
        }
    }
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
    if (!parameter || parameter->write == QLatin1String("none")) {
        return;
    }
    for (const QString& entry : split_entry_list(parameter->write)) {
        position_entry parsed;
        if (parse_position_entry(entry, parsed)) {
            value_store.mark_value_changed(parsed.key, parsed.index, value);
        }
    }
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

// Only the lines whose text changed are touched, so that only they are laid out and repainted.
void tab_xml_widget::show_device_state()
{
    for (const t_display_field& display : qAsConst(display_fields)) {
        const QString text = format_field_value(display);
        if (display.display_as == QLatin1String("select")) {
            auto* combo = static_cast<QComboBox*>(display.widget);
            if (!select_item_by_data(combo, text)) {
                select_item_by_data(combo, QStringLiteral("default"));
            }
            continue;
        }
        auto* edit = static_cast<QLineEdit*>(display.widget);
        if (edit->text() != text) {
            edit->setText(text);
        }
    }
}

QString tab_xml_widget::format_field_value(const t_display_field& display) const
{
    const auto found = field_index.constFind(display.field);
    const field_value* value = found == field_index.constEnd() ? nullptr : &field_values.at(*found);
    return format_field(value, {display.kind, display.multiplier, display.valid_range_min,
                                display.valid_range_max});
}
