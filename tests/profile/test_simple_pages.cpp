#include "profile_test_support.h"
#include "t_combo_box_ex.h"
#include "t_line_edit_ex.h"
#include "tab_xml_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QValidator>

#include <memory>

namespace {

std::unique_ptr<tab_xml_widget> simple_pages()
{
    return std::make_unique<tab_xml_widget>(nullptr, profile_data("pages.xml"), true);
}

t_simple_parameter* parameter(tab_xml_widget& pages, int page, int index)
{
    return pages.page_list.at(page).parameters.at(index);
}

QLineEdit* edit_of(tab_xml_widget& pages, int page, int index)
{
    return qobject_cast<QLineEdit*>(parameter(pages, page, index)->widget);
}

QComboBox* combo_of(tab_xml_widget& pages, int page, int index)
{
    return qobject_cast<QComboBox*>(parameter(pages, page, index)->widget);
}

// What the page shows: the text of every input, or the data of a combo box's item, "-" for none.
QStringList shown(tab_xml_widget& pages)
{
    QStringList values;
    for (const t_page& page : pages.page_list) {
        for (t_simple_parameter* p : page.parameters) {
            if (auto* combo = qobject_cast<QComboBox*>(p->widget)) {
                values << (combo->currentIndex() < 0 ? "-" : combo->currentData().toString());
            } else if (auto* edit = qobject_cast<QLineEdit*>(p->widget)) {
                values << edit->text();
            }
        }
    }
    return values;
}

} // namespace

class test_simple_pages : public QObject
{
    Q_OBJECT

private slots:
    void forms_and_registration();
    void inputs_carry_their_parameter();
    void defaults_mark_nothing();
    void every_tab_polls_every_command();
    void enabling_touches_inputs();
    void replies_fill_parameters_data();
    void replies_fill_parameters();
    void reply_to_a_mirrored_combo_box_marks_its_write_command();
    void edits_mark_write_positions_data();
    void edits_mark_write_positions();
    void selection_writes_item_data();
};

void test_simple_pages::forms_and_registration()
{
    recorded_boxes boxes;
    const auto pages = simple_pages();
    QVERIFY(recorded_boxes::texts().isEmpty());
    QCOMPARE(pages->tab_widget->count(), 3);
    QVERIFY(pages->page_list.at(0).is_simple);
    QVERIFY(!pages->page_list.at(2).is_simple);

    // The splitter is a spanning row but no parameter; the unknown type is a parameter but no row.
    const t_page& first = pages->page_list.at(0);
    QCOMPARE(first.form_layout->rowCount(), 4);
    QVERIFY(first.form_layout->itemAt(1, QFormLayout::SpanningRole));
    QCOMPARE(first.parameters.size(), 4);
    QCOMPARE(first.parameters.at(3)->type, QStringLiteral("date"));
    QVERIFY(!first.parameters.at(3)->widget);

    // Keys in order of first mention, shared commands once, a separator's entries too, a bare
    // name and "none" nothing.
    QStringList keys;
    for (const command_values& record : pages->value_store.records()) {
        QStringList indexes;
        for (const value_slot& slot : record.value_slots) {
            indexes << QString::number(slot.index);
        }
        keys << record.key + QLatin1Char(':') + indexes.join(QLatin1Char(',')) +
                    (record.master ? "!" : "");
    }
    QCOMPARE(keys, QStringList({"+TRK:1,2,3,5!", "+SEP:4", "+NAME:1", "+A:1!", "+B:1!", "+SRV:1",
                                "+SRV2:1"}));
}

void test_simple_pages::inputs_carry_their_parameter()
{
    const auto pages = simple_pages();
    auto* period = qobject_cast<t_line_edit_ex*>(parameter(*pages, 0, 0)->widget);
    QVERIFY(period);
    QCOMPARE(period->parameter, parameter(*pages, 0, 0));
    auto* mode = qobject_cast<t_combo_box_ex*>(parameter(*pages, 0, 1)->widget);
    QVERIFY(mode);
    QCOMPARE(mode->parameter, parameter(*pages, 0, 1));

    // Option data stay text in simple mode; the default picks its item by that text.
    QCOMPARE(mode->itemData(1), QVariant(QStringLiteral("07")));
    QCOMPARE(mode->currentIndex(), 1);
    QCOMPARE(edit_of(*pages, 0, 2)->maxLength(), 3);
    QCOMPARE(edit_of(*pages, 1, 0)->maxLength(), QLineEdit().maxLength());
    QString typed = "30";
    int position = 0;
    QCOMPARE(period->validator()->validate(typed, position), QValidator::Invalid);
    QCOMPARE(combo_of(*pages, 1, 1)->currentIndex(), -1);
}

void test_simple_pages::defaults_mark_nothing()
{
    const auto pages = simple_pages();
    QVERIFY(pages->value_store.build_write_commands("d", "m").isEmpty());
}

void test_simple_pages::every_tab_polls_every_command()
{
    const auto pages = simple_pages();
    QSignalSpy changes(pages.get(), &tab_xml_widget::on_tab_changed);
    QVERIFY(changes.isValid());
    const QStringList all{"AT+TRK=?", "AT+SEP=?", "AT+NAME=?", "AT+A=?",
                          "AT+B=?",   "AT+SRV=?", "AT+SRV2=?"};
    QCOMPARE(pages->poll_commands(), all);
    pages->tab_widget->setCurrentIndex(2);
    pages->tab_widget->setCurrentIndex(1);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0), QVariantList({all, 2}));
    QCOMPARE(changes.at(1), QVariantList({all, 1}));
}

void test_simple_pages::enabling_touches_inputs()
{
    const auto pages = simple_pages();
    pages->set_pages_enabled(false);
    QStringList enabled;
    for (const t_page& page : pages->page_list) {
        for (t_simple_parameter* p : page.parameters) {
            if (p->widget && p->widget->isEnabled()) {
                enabled << p->description;
            }
        }
    }
    QVERIFY(enabled.isEmpty());
    for (const t_display_field& display : pages->display_fields) {
        QVERIFY(display.widget->isEnabled());
    }
    pages->set_pages_enabled(true);
    QVERIFY(edit_of(*pages, 1, 2)->isEnabled());
    QVERIFY(combo_of(*pages, 0, 1)->isEnabled());
}

void test_simple_pages::replies_fill_parameters_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("values");

    // Columns: period, mode, name, period again, mirror, address.
    const QStringList defaults{"15", "07", "", "", "-", ""};
    QTest::newRow("nothing") << QStringList() << defaults;
    QTest::newRow("one command, every reader")
        << QStringList{"+RESP:TRK,12,0"} << QStringList{"12", "0", "", "12", "-", ""};
    QTest::newRow("unknown option clears selection")
        << QStringList{"+RESP:TRK,12,7"} << QStringList{"12", "-", "", "12", "-", ""};
    QTest::newRow("position beyond the reply") << QStringList{"+RESP:NAME"} << defaults;
    QTest::newRow("two colons") << QStringList{"+RESP:NAME,12:30"} << defaults;
    QTest::newRow("error reply") << QStringList{"+RESP:ERROR,PASSWORD"} << defaults;
    QTest::newRow("refused command") << QStringList{"+RESP:TRK,ERROR,PASSWORD"} << defaults;
    QTest::newRow("command nobody reads") << QStringList{"+RESP:B,a"} << defaults;
    QTest::newRow("bare name in a read list") << QStringList{"+RESP:DEF,x"} << defaults;
    QTest::newRow("second entry of a read list")
        << QStringList{"+RESP:SRV,h"} << QStringList{"15", "07", "", "", "-", "h"};
    QTest::newRow("mirror") << QStringList{"+RESP:A,b"} << QStringList{"15", "07", "", "", "b", ""};
}

void test_simple_pages::replies_fill_parameters()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, values);

    const auto pages = simple_pages();
    for (const QString& line : lines) {
        pages->process_simple_response(line);
    }
    QCOMPARE(shown(*pages), values);
}

void test_simple_pages::reply_to_a_mirrored_combo_box_marks_its_write_command()
{
    const auto pages = simple_pages();
    QTest::keyClicks(edit_of(*pages, 1, 2), "h");
    pages->process_simple_response("+RESP:A,b");
    // The selection the reply made is due for the commands the combo box writes.
    QCOMPARE(pages->value_store.build_write_commands("d", "m"),
             QStringList({"AT+TRK=m,,,,,b,", "AT+B=m,b,", "AT+SRV=d,h,", "AT+SRV2=d,h,"}));

    // A reply cleans its own command only: the user's address stays due.
    pages->process_simple_response("+RESP:TRK,10,0,x");
    QCOMPARE(pages->value_store.build_write_commands("d", "m"),
             QStringList({"AT+B=m,b,", "AT+SRV=d,h,", "AT+SRV2=d,h,"}));
}

void test_simple_pages::edits_mark_write_positions_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("commands");

    QTest::newRow("one edit, two commands")
        << 1 << 2 << "h" << QStringList{"AT+SRV=d,h,", "AT+SRV2=d,h,"};
    QTest::newRow("master command with a gap") << 1 << 0 << "17" << QStringList{"AT+TRK=m,17,,,,,"};
    QTest::newRow("write none") << 0 << 2 << "ab" << QStringList();
}

void test_simple_pages::edits_mark_write_positions()
{
    QFETCH(int, page);
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(QStringList, commands);

    const auto pages = simple_pages();
    QTest::keyClicks(edit_of(*pages, page, index), typed);
    QCOMPARE(pages->value_store.build_write_commands("d", "m"), commands);
}

void test_simple_pages::selection_writes_item_data()
{
    const auto pages = simple_pages();
    QComboBox* mode = combo_of(*pages, 0, 1);
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Up);
    QCOMPARE(mode->currentText(), QStringLiteral("выкл"));
    QCOMPARE(pages->value_store.build_write_commands("d", "m"), QStringList{"AT+TRK=m,,0,,,,"});
}

QTEST_MAIN(test_simple_pages)
#include "test_simple_pages.moc"
