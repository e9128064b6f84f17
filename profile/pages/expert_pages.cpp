#include "expert_pages.h"

#include "page_frame.h"
#include "parameter_help.h"
#include "parameter_inputs.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

bool has_text_input(parameter_kind kind)
{
    return kind == parameter_kind::integer || kind == parameter_kind::string;
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

void add_expert_parameter(tab_xml_widget& owner, const profile_command& command, int index,
                          t_command& block)
{
    const profile_parameter& source = command.parameters.at(index);
    t_parameter parameter{source.description, source.type,         source.kind, nullptr,
                          source.readonly,    source.defaultvalue, std::nullopt};
    // Only the user's own changes of a value that a set writes are edits.
    if (has_text_input(source.kind)) {
        auto* edit = new QLineEdit(block.box);
        setup_line_edit(edit, source, &owner);
        parameter.widget = edit;
        if (!source.readonly) {
            QObject::connect(edit, &QLineEdit::textEdited, &owner,
                             &tab_xml_widget::expert_input_edited);
        }
    } else if (source.kind == parameter_kind::option) {
        auto* combo = new QComboBox(block.box);
        setup_combo_box(combo, source, true);
        parameter.widget = combo;
        if (!source.readonly) {
            QObject::connect(combo, QOverload<int>::of(&QComboBox::activated), &owner,
                             &tab_xml_widget::expert_input_edited);
        }
    }
    if (parameter.widget) {
        // Parameter rows stay above the button row.
        block.form_layout->insertRow(block.form_layout->rowCount() - 1, source.description,
                                     parameter.widget);
        owner.prepare_field(parameter.widget, source, expert_route(command, index));
    }
    block.parameters.append(parameter);
}

// The buttons are created read first, so that Tab reaches them in the order they are shown.
void add_buttons(tab_xml_widget& owner, t_command& block, int tab_id, int cmd_id)
{
    QWidget* left_cell = nullptr;
    if (block.polldata) {
        block.read_button = new_button(block.box, QStringLiteral("Считать"), tab_id, cmd_id);
        QObject::connect(block.read_button, &QPushButton::clicked, &owner,
                         &tab_xml_widget::read_button_click);
        left_cell = block.read_button;
    } else {
        left_cell = new QWidget(block.box);
    }
    block.set_button = new_button(block.box, QStringLiteral("Установить"), tab_id, cmd_id);
    QObject::connect(block.set_button, &QPushButton::clicked, &owner,
                     &tab_xml_widget::set_button_click);
    block.form_layout->addRow(left_cell, block.set_button);
}

void add_command_block(tab_xml_widget& owner, const profile_command& source, t_page& page)
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
    add_buttons(owner, block, page.tab_index, page.commands.size());
    for (int k = 0; k < source.parameters.size(); ++k) {
        add_expert_parameter(owner, source, k, block);
    }
    page.commands.append(block);
}

} // namespace

void build_expert_pages(tab_xml_widget& owner, const QList<profile_page>& pages)
{
    for (const profile_page& source : pages) {
        t_page& page = add_page(owner, source.name, source.id, false);
        for (const profile_command& command : source.commands) {
            add_command_block(owner, command, page);
        }
        finish_page(page);
    }
}

QStringList set_values(const t_command& block)
{
    QStringList values;
    for (const t_parameter& parameter : block.parameters) {
        if (parameter.readonly) {
            values.append(QString());
        } else if (parameter.widget) {
            values.append(input_value(parameter.widget));
        }
    }
    return values;
}

void apply_values(const t_command& block, const QStringList& fields)
{
    for (int k = 0; k < block.parameters.size() && k + 1 < fields.size(); ++k) {
        const t_parameter& parameter = block.parameters.at(k);
        if (has_text_input(parameter.kind)) {
            static_cast<QLineEdit*>(parameter.widget)->setText(fields.at(k + 1));
        } else if (parameter.kind == parameter_kind::option) {
            select_item_by_data(static_cast<QComboBox*>(parameter.widget), fields.at(k + 1));
        }
    }
}
