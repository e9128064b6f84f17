#include "profile_reader.h"
#include "profile_test_support.h"
#include "recorded_boxes.h"
#include "simple_entries.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

std::unique_ptr<tab_xml_widget> pages_of(bool simple_mode)
{
    return std::make_unique<tab_xml_widget>(nullptr, profile_data("pages.xml"), simple_mode);
}

const t_command& block(const tab_xml_widget& pages, int tab, int cmd)
{
    return pages.page_list.at(tab).commands.at(cmd);
}

t_simple_parameter* parameter(const tab_xml_widget& pages, int page, int index)
{
    return pages.page_list.at(page).parameters.at(index);
}

// "page.index" in a table
QPair<int, int> place(const QString& text)
{
    return {text.section('.', 0, 0).toInt(), text.section('.', 1, 1).toInt()};
}

// "page.index" of a simple parameter, "page.block.index" of an expert one
QWidget* input_at(const tab_xml_widget& pages, const QString& text)
{
    const auto [page, index] = place(text);
    const QString parameter_index = text.section('.', 2);
    return parameter_index.isEmpty()
               ? parameter(pages, page, index)->widget
               : block(pages, page, index).parameters.at(parameter_index.toInt()).widget;
}

QWidget* label_of(const QWidget* input)
{
    return qobject_cast<QFormLayout*>(input->parentWidget()->layout())
        ->labelForField(const_cast<QWidget*>(input));
}

// A step of a table: "at=text" types text over an input; "revert:at", "default:at" and "page:p"
// take the entry of the input's (page's) menu. Returns the step as taken, with "!" before an
// entry that was disabled and so not taken.
QString take_step(tab_xml_widget& pages, const QString& step)
{
    if (step.contains('=')) {
        auto* edit = qobject_cast<QLineEdit*>(input_at(pages, step.section('=', 0, 0)));
        edit->selectAll();
        QTest::keyClicks(edit, step.section('=', 1));
        return step;
    }
    const QString what = step.section(':', 0, 0);
    const QString at = step.section(':', 1);
    const std::unique_ptr<QMenu> menu(what == "page" ? pages.page_menu(at.toInt())
                                                     : pages.field_menu(input_at(pages, at)));
    const QHash<QString, QString> entries{{"revert", "Вернуть значение из трекера"},
                                          {"default", "Значение по умолчанию"},
                                          {"page", "Отменить изменения на странице"}};
    for (QAction* action : menu->actions()) {
        if (action->text() != entries.value(what)) {
            continue;
        }
        if (!action->isEnabled()) {
            return '!' + step;
        }
        action->trigger();
        return step;
    }
    return "no entry: " + step;
}

// What the question on closing would list, and the tabs that show a count of changes.
QString changes_and_tabs(const tab_xml_widget& pages)
{
    QStringList changes;
    for (const unwritten_change& change : pages.unwritten_changes()) {
        changes << change_text(change);
    }
    QStringList tabs;
    for (int i = 0; i < pages.tab_widget->count(); ++i) {
        tabs << pages.tab_widget->tabText(i);
    }
    return (changes + tabs.filter(" •")).join(" ; ");
}

QString label_text(const QFormLayout* form, int row, QFormLayout::ItemRole role)
{
    auto* label = qobject_cast<QLabel*>(form->itemAt(row, role)->widget());
    return label ? label->text() : QStringLiteral("(no label)");
}

// What an input shows: the text of a line edit, the data of a combo box's item or "-" for none.
QString shown_input(const QWidget* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentIndex() < 0 ? "-" : combo->currentData().toString();
    }
    return qobject_cast<const QLineEdit*>(widget)->text();
}

QStringList shown_parameters(const tab_xml_widget& pages)
{
    QStringList values;
    for (const t_page& page : pages.page_list) {
        for (const t_simple_parameter* p : page.parameters) {
            if (p->widget) {
                values << shown_input(p->widget);
            }
        }
    }
    return values;
}

QStringList shown_state(const tab_xml_widget& pages)
{
    QStringList texts;
    for (const t_display_field& display : pages.display_fields) {
        auto* combo = qobject_cast<QComboBox*>(display.widget);
        texts << (combo ? combo->currentText() : shown_input(display.widget));
    }
    return texts;
}

} // namespace

class test_profile_pages : public QObject
{
    Q_OBJECT

private slots:
    void profile_error_shows_two_boxes();
    void expert_layout();
    void inputs_help_and_typing_data() { add_table_rows("inputs.txt"); }
    void inputs_help_and_typing();
    void expert_scenarios_data() { add_table_rows("expert_blocks.txt"); }
    void expert_scenarios();
    void buttons_and_tabs_emit_commands();
    void simple_layout_and_polls();
    void simple_scenarios_data() { add_table_rows("simple_pages.txt"); }
    void simple_scenarios();
    void device_state_records_data() { add_table_rows("device_state_records.txt"); }
    void device_state_records();
};

// Both modes show the reader's error in two boxes (really shown, and answered) and make no pages.
void test_profile_pages::profile_error_shows_two_boxes()
{
    const QString path = profile_data("no_such_profile.xml");
    const QString text = "Error opening XML file " + path;
    QStringList answered;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&answered] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            answered << box->text();
            box->accept();
        }
    });
    answerer.start(20);
    for (bool simple : {false, true}) {
        tab_xml_widget pages(nullptr, path, simple);
        QCOMPARE(pages.tab_widget->count(), 0);
    }
    QCOMPARE(answered, QStringList({text, text, text, text}));
}

void test_profile_pages::expert_layout()
{
    recorded_boxes boxes;
    const auto pages = pages_of(false);
    QVERIFY(boxes.texts().isEmpty());
    QStringList titles;
    for (int i = 0; i < pages->tab_widget->count(); ++i) {
        titles << pages->tab_widget->tabText(i);
    }
    QCOMPARE(titles, QStringList({"Сеть", "Пустая", "Ещё", "Состояние устройства"}));
    QVERIFY(pages->value_store.records().isEmpty());

    // Tab reaches the buttons in the order they are shown.
    const t_command& abc = block(*pages, 0, 0);
    QCOMPARE(abc.read_button->nextInFocusChain(), abc.set_button);

    // Parameter rows in document order above the buttons; the unknown type has no row.
    const t_command& master = block(*pages, 0, 1);
    QStringList labels;
    for (int row = 0; row < master.form_layout->rowCount(); ++row) {
        labels << label_text(master.form_layout, row, QFormLayout::LabelRole);
    }
    QCOMPARE(labels, QStringList({"Число", "Только чтение", "Выбор", "Строка", "(no label)"}));
    QVERIFY(!master.parameters.at(2).widget);

    // Buttons know their block; without polling the set button keeps its column.
    const t_command& bare = block(*pages, 2, 0);
    QVERIFY(!bare.read_button);
    QCOMPARE(bare.set_button->tab_id, 2);
    QCOMPARE(block(*pages, 2, 1).read_button->cmd_id, 1);
    QCOMPARE(bare.form_layout->itemAt(0, QFormLayout::FieldRole)->widget(), bare.set_button);

    // The device state is polled by no command.
    const t_page& state = pages->page_list.last();
    QVERIFY(state.is_device_state && state.polled && state.tab_index == 3);
    QCOMPARE(pages->rawdata_list.size(), 3);
    QCOMPARE(pages->poll_commands(state.tab_index), QStringList());
    // Its splitter is a line and a bold caption, and takes no place among the value lines.
    const QFormLayout* first = pages->state_columns.at(0).form_layout;
    auto* line = qobject_cast<QFrame*>(first->itemAt(0, QFormLayout::LabelRole)->widget());
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(label_text(first, 0, QFormLayout::FieldRole), QStringLiteral("<b>Навигация</b>"));
    QCOMPARE(label_text(first, 1, QFormLayout::LabelRole), QStringLiteral("Широта, <b>°</b>"));
    QCOMPARE(label_text(pages->state_columns.at(2).form_layout, 0, QFormLayout::LabelRole),
             QStringLiteral("Имя"));
    QVERIFY(qobject_cast<QLineEdit*>(pages->display_fields.at(0).widget)->isReadOnly());
}

// Typing into an input: what it then holds and what the pages said, and its help (" / " for a
// line break) on the input and its label.
void test_profile_pages::inputs_help_and_typing()
{
    QFETCH(QStringList, row);
    const auto pages = pages_of(row.at(0) == "simple");
    QWidget* input = input_at(*pages, row.at(1));
    QCOMPARE(shown_input(input), row.at(2));
    QSignalSpy said(pages.get(), &tab_xml_widget::value_refused);
    if (auto* edit = qobject_cast<QLineEdit*>(input)) {
        edit->clear();
        QTest::keyClicks(edit, row.at(3));
    }
    QCOMPARE(shown_input(input), row.at(4));
    QStringList texts;
    for (const QVariantList& signal : said) {
        texts << signal.at(0).toString();
    }
    QCOMPARE(texts.join(" ; "), row.at(5));
    QCOMPARE(input->toolTip().replace('\n', " / "), row.at(6));
    QCOMPARE(label_of(input)->toolTip(), input->toolTip().section("\n\n", -1));
}

void test_profile_pages::expert_scenarios()
{
    QFETCH(QStringList, row);
    const auto pages = pages_of(false);
    pages->device_password = "dev";
    pages->master_password = "mst";
    const auto [tab, cmd] = place(row.at(0));
    if (!row.at(1).isEmpty()) {
        pages->apply_command_values(tab, cmd, row.at(1).split(','));
    }
    QStringList taken;
    for (const QString& step : row.at(4).split(' ', Qt::SkipEmptyParts)) {
        taken << take_step(*pages, step);
    }
    QCOMPARE(taken.join(' '), row.at(4));
    QStringList shown;
    for (const t_parameter& parameter : block(*pages, tab, cmd).parameters) {
        if (parameter.widget) {
            shown << shown_input(parameter.widget);
        }
    }
    QCOMPARE(shown.join(','), row.at(2));
    QCOMPARE(pages->build_set_command(tab, cmd), row.at(3));
    QCOMPARE(changes_and_tabs(*pages), row.at(5));
}

void test_profile_pages::buttons_and_tabs_emit_commands()
{
    const auto pages = pages_of(false);
    pages->device_password = "dev";
    QSignalSpy reads(pages.get(), &tab_xml_widget::on_read_button_pressed);
    QSignalSpy sets(pages.get(), &tab_xml_widget::on_set_button_pressed);
    QSignalSpy changes(pages.get(), &tab_xml_widget::on_tab_changed);
    QVERIFY(reads.isValid() && sets.isValid() && changes.isValid());

    const t_command& abc = block(*pages, 0, 0);
    qobject_cast<QComboBox*>(abc.parameters.at(1).widget)->setCurrentIndex(2);
    auto* edit = qobject_cast<QLineEdit*>(abc.parameters.at(0).widget);
    edit->clear();
    QTest::keyClicks(edit, "12");
    QTest::mouseClick(abc.read_button, Qt::LeftButton);
    QTest::mouseClick(abc.set_button, Qt::LeftButton);
    QTest::mouseClick(block(*pages, 2, 1).read_button, Qt::LeftButton);
    // A value below the range is told as it is typed, and its block is not set.
    QSignalSpy refusals(pages.get(), &tab_xml_widget::value_refused);
    edit->clear();
    QTest::keyClicks(edit, "9");
    QTest::mouseClick(abc.set_button, Qt::LeftButton);
    QCOMPARE(QList<QVariantList>(refusals),
             QList<QVariantList>({{"Значение не будет записано. Период: меньше 10"},
                                  {"Команда +ABC не отправлена. Период: меньше 10"}}));
    QCOMPARE(pages->edited_block_commands() + pages->refused_edits(),
             QStringList{"Период: меньше 10"});
    // Disabled pages still take input but send nothing.
    pages->set_pages_enabled(false);
    QVERIFY(edit->isEnabled() && !block(*pages, 2, 0).set_button->isEnabled());
    QTest::mouseClick(abc.read_button, Qt::LeftButton);
    QTest::mouseClick(abc.set_button, Qt::LeftButton);
    QCOMPARE(QList<QVariantList>(reads), QList<QVariantList>({{0, 0, "AT+ABC=?"}, {2, 1, "AT=?"}}));
    QCOMPARE(QList<QVariantList>(sets), QList<QVariantList>({{0, 0, "AT+ABC=dev,12,7,"}}));
    pages->set_pages_enabled(true);
    QVERIFY(abc.read_button->isEnabled() && abc.set_button->isEnabled());

    QCOMPARE(pages->poll_commands(), QStringList{"AT+ABC=?"});
    for (int tab : {2, 3, 1}) {
        pages->tab_widget->setCurrentIndex(tab);
    }
    QCOMPARE(
        QList<QVariantList>(changes),
        QList<QVariantList>({{QStringList{"AT=?"}, 2}, {QStringList(), 3}, {QStringList(), 1}}));
    QCOMPARE(pages->poll_commands(0), QStringList{"AT+ABC=?"});
}

void test_profile_pages::simple_layout_and_polls()
{
    const QRegularExpression bad_entry("^Entry \"\\+VER,(1|#0)\" names no value position");
    for (int i = 0; i < 4; ++i) {
        QTest::ignoreMessage(QtWarningMsg, bad_entry);
    }
    const auto pages = pages_of(true);
    QCOMPARE(pages->tab_widget->count(), 3);
    QVERIFY(pages->page_list.at(1).is_simple);
    QVERIFY(!pages->page_list.at(2).is_simple);

    // The splitter is a line and a heading, but no parameter; the unknown type is a parameter but
    // no row.
    const t_page& first = pages->page_list.at(0);
    QCOMPARE(first.form_layout->rowCount(), 5);
    QVERIFY(
        qobject_cast<QFrame*>(first.form_layout->itemAt(1, QFormLayout::SpanningRole)->widget()));
    QCOMPARE(label_text(first.form_layout, 2, QFormLayout::SpanningRole), QStringLiteral("Группа"));
    QCOMPARE(first.parameters.size(), 4);
    QCOMPARE(first.parameters.at(3)->type, QStringLiteral("date"));
    QVERIFY(!first.parameters.at(3)->widget);

    // Keys in order of first mention, shared commands once, a separator's entries too, a bare
    // name and "none" nothing, a bad position its command without a slot. Defaults mark nothing.
    const QString keys =
        "+TRK:1= 2= 3= 5=!; +SEP:4=; +NAME:1=; +A:1=!; +B:1=!; +SRV:1=; +SRV2:1=; +VER:";
    QCOMPARE(contents(pages->value_store), keys);
    QVERIFY(pages->value_store.build_write_commands("d", "m").isEmpty());
    // A program without pages registers the same store.
    QList<profile_page> sources;
    QString error;
    QVERIFY(read_mode_pages(profile_data("pages.xml"), true, sources, error));
    parameter_value_store store;
    register_simple_pages(sources, store);
    QCOMPARE(contents(store), keys);

    // Every tab polls every command.
    QSignalSpy changes(pages.get(), &tab_xml_widget::on_tab_changed);
    const QStringList all{"AT+TRK=?", "AT+SEP=?", "AT+NAME=?", "AT+A=?",
                          "AT+B=?",   "AT+SRV=?", "AT+SRV2=?", "AT+VER=?"};
    QCOMPARE(pages->poll_commands(), all);
    pages->tab_widget->setCurrentIndex(2);
    pages->tab_widget->setCurrentIndex(1);
    QCOMPARE(QList<QVariantList>(changes), QList<QVariantList>({{all, 2}, {all, 1}}));

    // Disabled pages take no input; the device state is only shown.
    pages->set_pages_enabled(false);
    for (const t_page& page : pages->page_list) {
        for (const t_simple_parameter* p : page.parameters) {
            QVERIFY(!p->widget || !p->widget->isEnabled());
        }
    }
    QVERIFY(pages->display_fields.at(0).widget->isEnabled());
    pages->set_pages_enabled(true);
    QVERIFY(parameter(*pages, 0, 0)->widget->isEnabled());
}

void test_profile_pages::simple_scenarios()
{
    QFETCH(QStringList, row);
    const auto pages = pages_of(true);
    if (!row.at(0).isEmpty()) {
        const auto [page, index] = place(row.at(0).section(':', 0, 0));
        const QString typed = row.at(0).section(':', 1);
        QWidget* widget = parameter(*pages, page, index)->widget;
        widget->setFocus();
        if (typed == "up") {
            QTest::keyClick(widget, Qt::Key_Up);
        } else {
            QTest::keyClicks(widget, typed);
        }
    }
    for (const QString& reply : row.at(1).split(' ', Qt::SkipEmptyParts)) {
        pages->process_simple_response(reply);
    }
    QStringList taken;
    for (const QString& step : row.at(4).split(' ', Qt::SkipEmptyParts)) {
        taken << take_step(*pages, step);
    }
    QCOMPARE(taken.join(' '), row.at(4));
    QCOMPARE(shown_parameters(*pages).join(','), row.at(2));
    QCOMPARE(pages->value_store.build_write_commands("d", "m").join(' '), row.at(3));
    QCOMPARE(changes_and_tabs(*pages), row.at(5));
}

void test_profile_pages::device_state_records()
{
    QFETCH(QStringList, row);
    const auto pages = pages_of(false);
    const QStringList ids = row.at(0).split(' ');
    const QStringList records = row.at(1).split(' ');
    for (int i = 0; i < ids.size(); ++i) {
        pages->decode_device_state(ids.at(i).toInt(),
                                   QByteArray::fromHex(records.at(i).toLatin1()).toBase64());
    }
    QCOMPARE(shown_state(*pages).join(','), row.at(2));
}

QTEST_MAIN(test_profile_pages)
#include "test_profile_pages.moc"
