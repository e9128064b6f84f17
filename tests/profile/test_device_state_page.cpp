#include "profile_test_support.h"
#include "tab_xml_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<tab_xml_widget> pages_of(const char* file)
{
    return std::make_unique<tab_xml_widget>(nullptr, profile_data(file), false);
}

QString label_text(const QFormLayout* form, int row, QFormLayout::ItemRole role)
{
    auto* label = qobject_cast<QLabel*>(form->itemAt(row, role)->widget());
    return label ? label->text() : QStringLiteral("(no label)");
}

// What every value line shows, in display order.
QStringList shown(const tab_xml_widget& pages)
{
    QStringList texts;
    for (const t_display_field& display : pages.display_fields) {
        if (auto* combo = qobject_cast<QComboBox*>(display.widget)) {
            texts << combo->currentText();
        } else {
            texts << qobject_cast<QLineEdit*>(display.widget)->text();
        }
    }
    return texts;
}

QString base64(const char* hex)
{
    return QString::fromLatin1(QByteArray::fromHex(hex).toBase64());
}

} // namespace

class test_device_state_page : public QObject
{
    Q_OBJECT

private slots:
    void page_layout();
    void no_rawdata_no_page();
    void records_refresh_the_page_data();
    void records_refresh_the_page();
};

void test_device_state_page::page_layout()
{
    const auto pages = pages_of("pages.xml");
    const t_page& page = pages->page_list.last();
    QVERIFY(page.is_device_state);
    QVERIFY(page.polled);
    QCOMPARE(page.name, QStringLiteral("Состояние устройства"));
    QCOMPARE(pages->tab_widget->tabText(page.tab_index), page.name);
    QCOMPARE(pages->rawdata_list.size(), 3);
    QCOMPARE(pages->rawdata_list.at(1).schema, QStringLiteral("Z8S2L|name,pair,raw"));
    QCOMPARE(pages->state_columns.size(), 3);

    // The splitter is a line and a bold caption, and takes no place among the value lines.
    const QFormLayout* first = pages->state_columns.at(0).form_layout;
    QCOMPARE(first->rowCount(), 3);
    auto* line = qobject_cast<QFrame*>(first->itemAt(0, QFormLayout::LabelRole)->widget());
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(label_text(first, 0, QFormLayout::FieldRole), QStringLiteral("<b>Навигация</b>"));
    QCOMPARE(label_text(first, 1, QFormLayout::LabelRole), QStringLiteral("Широта, <b>°</b>"));
    QCOMPARE(label_text(first, 2, QFormLayout::LabelRole), QStringLiteral("Скорость, <b>км/ч</b>"));
    QCOMPARE(label_text(pages->state_columns.at(2).form_layout, 0, QFormLayout::LabelRole),
             QStringLiteral("Имя"));

    QStringList fields;
    for (const t_display_field& display : pages->display_fields) {
        fields << display.field;
    }
    QCOMPARE(fields,
             QStringList({"lat", "speed", "mode", "flags", "name", "pair", "raw", "missing"}));
    const t_display_field& lat = pages->display_fields.at(0);
    QCOMPARE(lat.multiplier, 360.0f);
    QCOMPARE(lat.display_as, QStringLiteral("coord"));
    auto* mode = qobject_cast<QComboBox*>(pages->display_fields.at(2).widget);
    QCOMPARE(mode->count(), 2);
    QCOMPARE(mode->itemData(1), QVariant(QStringLiteral("default")));
    QVERIFY(qobject_cast<QLineEdit*>(lat.widget)->isReadOnly());
    QCOMPARE(shown(*pages), QStringList({"Значение", "Значение", "", "Значение", "Значение",
                                         "Значение", "Значение", "Значение"}));
    QCOMPARE(pages->poll_commands(page.tab_index), QStringList());
}

void test_device_state_page::no_rawdata_no_page()
{
    // Rows without a record layout describe nothing.
    const auto bare = pages_of("no_sections.xml");
    QVERIFY(bare->page_list.isEmpty());
    QVERIFY(bare->rawdata_list.isEmpty());
    QVERIFY(bare->state_columns.isEmpty());
    QVERIFY(bare->display_fields.isEmpty());
}

void test_device_state_page::records_refresh_the_page_data()
{
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QStringList>("payloads");
    QTest::addColumn<QStringList>("texts");

    const QString no_data = QStringLiteral("Нет данных");
    const QString initial = QStringLiteral("Значение");
    // lat = 2^31 (180° with multiplier 360), speed 123, mode 1, flags 5
    const QString navigation = base64("00000080"
                                      "7b000000"
                                      "0100"
                                      "05");

    QTest::newRow("navigation") << QList<int>{1} << QStringList{navigation}
                                << QStringList{"180.00000000", "12.3",  "Движение", "101",
                                               no_data,        no_data, no_data,    no_data};
    QTest::newRow("unknown select value shows default")
        << QList<int>{1}
        << QStringList{base64("ffffffff"
                              "00000000"
                              "0700"
                              "00")}
        << QStringList{"недействительны", "0", "Иное", "0", no_data, no_data, no_data, no_data};
    QTest::newRow("unknown id changes nothing")
        << QList<int>{9} << QStringList{navigation}
        << QStringList{initial, initial, "", initial, initial, initial, initial, initial};
    QTest::newRow("empty schema changes nothing")
        << QList<int>{3} << QStringList{navigation}
        << QStringList{initial, initial, "", initial, initial, initial, initial, initial};
    QTest::newRow("two schemas give the union")
        << QList<int>{1, 2} << QStringList{navigation, base64("41420000585858580a000b00ff000000")}
        << QStringList{"180.00000000", "12.3", "Движение", "101", "AB", "0", "000000FF", no_data};
    QTest::newRow("short record leaves zeros")
        << QList<int>{1} << QStringList{base64("00000080")}
        << QStringList{"180.00000000", "0", "Иное", "0", no_data, no_data, no_data, no_data};
    QTest::newRow("characters outside base64 skipped")
        << QList<int>{1} << QStringList{navigation.left(4) + "*\n" + navigation.mid(4)}
        << QStringList{"180.00000000", "12.3",  "Движение", "101",
                       no_data,        no_data, no_data,    no_data};
}

void test_device_state_page::records_refresh_the_page()
{
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, payloads);
    QFETCH(QStringList, texts);

    const auto pages = pages_of("pages.xml");
    for (int i = 0; i < ids.size(); ++i) {
        pages->decode_device_state(ids.at(i), payloads.at(i));
    }
    QCOMPARE(shown(*pages), texts);
}

QTEST_MAIN(test_device_state_page)
#include "test_device_state_page.moc"
