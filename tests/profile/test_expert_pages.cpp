#include "profile_test_support.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

std::unique_ptr<tab_xml_widget> expert_pages(const char* file = "pages.xml")
{
    return std::make_unique<tab_xml_widget>(nullptr, profile_data(file), false);
}

QString label_of(QFormLayout* form, QWidget* field)
{
    auto* label = qobject_cast<QLabel*>(form->labelForField(field));
    return label ? label->text() : QStringLiteral("(none)");
}

} // namespace

class test_expert_pages : public QObject
{
    Q_OBJECT

private slots:
    void profile_errors_show_two_boxes_data();
    void profile_errors_show_two_boxes();
    void default_box_is_modal_and_answerable();
    void pages_and_blocks();
    void parameter_rows_above_buttons();
    void inputs_follow_their_parameters_data();
    void inputs_follow_their_parameters();
    void set_command_data();
    void set_command();
    void buttons_emit_commands();
    void tab_change_emits_poll_commands();
    void enabling_touches_buttons_only();
    void replies_fill_a_block_data();
    void replies_fill_a_block();
};

void test_expert_pages::profile_errors_show_two_boxes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");

    const QString missing = profile_data("no_such_profile.xml");
    QTest::newRow("missing") << missing << QStringLiteral("Error opening XML file ") + missing;
    QTest::newRow("malformed") << profile_data("malformed.xml")
                               << QStringLiteral("tag mismatch Line: 5");
}

void test_expert_pages::profile_errors_show_two_boxes()
{
    QFETCH(QString, path);
    QFETCH(QString, text);

    for (bool simple : {false, true}) {
        recorded_boxes boxes;
        tab_xml_widget pages(nullptr, path, simple);
        QCOMPARE(recorded_boxes::texts(), QStringList({text, text}));
        QCOMPARE(pages.tab_widget->count(), 0);
        QVERIFY(pages.page_list.isEmpty());
    }
}

void test_expert_pages::default_box_is_modal_and_answerable()
{
    QStringList seen;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            box->accept();
        }
    });
    answerer.start(20);
    tab_xml_widget pages(nullptr, profile_data("no_such_profile.xml"), false);
    answerer.stop();
    const QString text =
        QStringLiteral("Error opening XML file ") + profile_data("no_such_profile.xml");
    QCOMPARE(seen, QStringList({text, text}));
}

void test_expert_pages::pages_and_blocks()
{
    recorded_boxes boxes;
    const auto pages = expert_pages();
    QVERIFY(recorded_boxes::texts().isEmpty());

    QStringList titles;
    for (int i = 0; i < pages->tab_widget->count(); ++i) {
        titles << pages->tab_widget->tabText(i);
        QCOMPARE(pages->page_list.at(i).tab_index, i);
        QVERIFY(!pages->page_list.at(i).is_simple);
    }
    QCOMPARE(titles, QStringList({"Сеть", "Пустая", "Ещё", "Состояние устройства"}));
    QCOMPARE(pages->current_tab(), 0);
    QVERIFY(pages->page_list.at(1).commands.isEmpty());
    QVERIFY(pages->value_store.records().isEmpty());

    const t_command& abc = pages->page_list.at(0).commands.at(0);
    auto* title =
        abc.box->parentWidget()->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(title->text(), QStringLiteral("<b>Блок &lt;ABC&gt;</b>"));
    QCOMPARE(abc.read_button->text(), QStringLiteral("Считать"));
    QCOMPARE(abc.set_button->text(), QStringLiteral("Установить"));

    // Buttons know their block; a block without polling has an empty cell instead.
    const t_command& bare = pages->page_list.at(2).commands.at(0);
    QVERIFY(!bare.read_button);
    QCOMPARE(bare.set_button->tab_id, 2);
    QCOMPARE(bare.set_button->cmd_id, 0);
    const t_command& unnamed = pages->page_list.at(2).commands.at(1);
    QCOMPARE(unnamed.read_button->tab_id, 2);
    QCOMPARE(unnamed.read_button->cmd_id, 1);
    QWidget* empty_cell = bare.form_layout->itemAt(0, QFormLayout::LabelRole)->widget();
    QCOMPARE(empty_cell->metaObject()->className(), "QWidget");
    QCOMPARE(bare.form_layout->itemAt(0, QFormLayout::FieldRole)->widget(), bare.set_button);
}

void test_expert_pages::parameter_rows_above_buttons()
{
    const auto pages = expert_pages();
    const t_command& master = pages->page_list.at(0).commands.at(1);
    QFormLayout* form = master.form_layout;
    // Four rows with inputs (the unknown type has none), then the buttons.
    QCOMPARE(form->rowCount(), 5);
    QStringList labels;
    for (int row = 0; row < 4; ++row) {
        labels << label_of(form, form->itemAt(row, QFormLayout::FieldRole)->widget());
    }
    QCOMPARE(labels, QStringList({"Число", "Только чтение", "Выбор", "Строка"}));
    QCOMPARE(form->itemAt(4, QFormLayout::FieldRole)->widget(), master.set_button);
    QCOMPARE(master.parameters.size(), 5);
    QVERIFY(!master.parameters.at(2).widget);
}

void test_expert_pages::inputs_follow_their_parameters_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("state");

    // The validator lets partial numbers through, so the row can be typed digit by digit.
    QTest::newRow("partial number") << 0 << 0 << "1" << int(QValidator::Intermediate);
    QTest::newRow("in range") << 0 << 0 << "15" << int(QValidator::Acceptable);
    QTest::newRow("above range") << 0 << 0 << "30" << int(QValidator::Invalid);
    QTest::newRow("letter") << 0 << 0 << "a" << int(QValidator::Invalid);
    QTest::newRow("inclusive top") << 1 << 0 << "100" << int(QValidator::Acceptable);
}

void test_expert_pages::inputs_follow_their_parameters()
{
    QFETCH(int, cmd);
    QFETCH(int, parameter);
    QFETCH(QString, typed);
    QFETCH(int, state);

    const auto pages = expert_pages();
    auto* edit = qobject_cast<QLineEdit*>(
        pages->page_list.at(0).commands.at(cmd).parameters.at(parameter).widget);
    QVERIFY(edit && edit->validator());
    int position = 0;
    QCOMPARE(int(edit->validator()->validate(typed, position)), state);
    // Defaults are shown as written, even outside the range.
    QCOMPARE(edit->text(), QStringLiteral("5"));
}

void test_expert_pages::set_command_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("cmd");
    QTest::addColumn<QString>("command");

    // Option data are integers: "07" is sent as 7, "x" as 0.
    QTest::newRow("defaults") << 0 << 0 << "AT+ABC=dev,5,1,";
    QTest::newRow("master, read-only, unknown type, no selection, cut default")
        << 0 << 1 << "AT+MST=mst,5,,,abcd,";
    QTest::newRow("no parameters") << 2 << 0 << "AT+BARE=dev,";
    QTest::newRow("empty name") << 2 << 1 << "AT=dev,,";
}

void test_expert_pages::set_command()
{
    QFETCH(int, tab);
    QFETCH(int, cmd);
    QFETCH(QString, command);

    const auto pages = expert_pages();
    pages->device_password = "dev";
    pages->master_password = "mst";
    QCOMPARE(pages->build_set_command(tab, cmd), command);
}

void test_expert_pages::buttons_emit_commands()
{
    const auto pages = expert_pages();
    pages->device_password = "dev";
    QSignalSpy reads(pages.get(), &tab_xml_widget::on_read_button_pressed);
    QSignalSpy sets(pages.get(), &tab_xml_widget::on_set_button_pressed);
    QVERIFY(reads.isValid() && sets.isValid());

    const t_command& abc = pages->page_list.at(0).commands.at(0);
    auto* combo = qobject_cast<QComboBox*>(abc.parameters.at(1).widget);
    QCOMPARE(combo->itemData(2), QVariant(7));
    combo->setCurrentIndex(2);
    auto* edit = qobject_cast<QLineEdit*>(abc.parameters.at(0).widget);
    edit->clear();
    QTest::keyClicks(edit, "12");

    QTest::mouseClick(abc.read_button, Qt::LeftButton);
    QTest::mouseClick(abc.set_button, Qt::LeftButton);
    QCOMPARE(reads.size(), 1);
    QCOMPARE(reads.at(0), QVariantList({0, 0, "AT+ABC=?"}));
    QCOMPARE(sets.size(), 1);
    QCOMPARE(sets.at(0), QVariantList({0, 0, "AT+ABC=dev,12,7,"}));

    QTest::mouseClick(pages->page_list.at(2).commands.at(1).read_button, Qt::LeftButton);
    QCOMPARE(reads.at(1), QVariantList({2, 1, "AT=?"}));
}

void test_expert_pages::tab_change_emits_poll_commands()
{
    const auto pages = expert_pages();
    QSignalSpy changes(pages.get(), &tab_xml_widget::on_tab_changed);
    QVERIFY(changes.isValid());

    QCOMPARE(pages->poll_commands(), QStringList{"AT+ABC=?"});
    pages->tab_widget->setCurrentIndex(2);
    pages->tab_widget->setCurrentIndex(3);
    pages->tab_widget->setCurrentIndex(1);
    QCOMPARE(changes.size(), 3);
    QCOMPARE(changes.at(0), QVariantList({QStringList{"AT=?"}, 2}));
    QCOMPARE(changes.at(1), QVariantList({QStringList(), 3}));
    QCOMPARE(changes.at(2), QVariantList({QStringList(), 1}));
    QCOMPARE(pages->poll_commands(-1), QStringList());
    QCOMPARE(pages->poll_commands(0), QStringList{"AT+ABC=?"});
}

void test_expert_pages::enabling_touches_buttons_only()
{
    const auto pages = expert_pages();
    pages->set_pages_enabled(false);
    QSignalSpy sets(pages.get(), &tab_xml_widget::on_set_button_pressed);
    const t_command& abc = pages->page_list.at(0).commands.at(0);
    QVERIFY(!abc.read_button->isEnabled());
    QVERIFY(!abc.set_button->isEnabled());
    QVERIFY(!pages->page_list.at(2).commands.at(0).set_button->isEnabled());
    QVERIFY(abc.parameters.at(0).widget->isEnabled());
    QTest::mouseClick(abc.set_button, Qt::LeftButton);
    QCOMPARE(sets.size(), 0);

    pages->set_pages_enabled(true);
    QVERIFY(abc.read_button->isEnabled());
    QVERIFY(abc.set_button->isEnabled());
}

void test_expert_pages::replies_fill_a_block_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("option");

    QTest::newRow("values") << QStringList{"+RESP:ABC", "17", "0"} << "17" << 0;
    QTest::newRow("integer data matched as text") << QStringList{"+RESP:ABC", "", "7"} << "" << 2;
    QTest::newRow("unknown option clears selection")
        << QStringList{"+RESP:ABC", "abc", "07"} << "abc" << -1;
    QTest::newRow("short reply leaves the rest") << QStringList{"+RESP:ABC", "3"} << "3" << 1;
    QTest::newRow("name only") << QStringList{"+RESP:ABC"} << "5" << 1;
    QTest::newRow("extra values ignored")
        << QStringList{"+RESP:ABC", "1", "1", "9", "9"} << "1" << 1;
}

void test_expert_pages::replies_fill_a_block()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, number);
    QFETCH(int, option);

    const auto pages = expert_pages();
    pages->apply_command_values(0, 0, fields);
    const t_command& abc = pages->page_list.at(0).commands.at(0);
    QCOMPARE(qobject_cast<QLineEdit*>(abc.parameters.at(0).widget)->text(), number);
    QCOMPARE(qobject_cast<QComboBox*>(abc.parameters.at(1).widget)->currentIndex(), option);
}

QTEST_MAIN(test_expert_pages)
#include "test_expert_pages.moc"
