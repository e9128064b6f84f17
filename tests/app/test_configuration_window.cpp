// Simple mode in the real window against the simulated tracker: edits marked until the tracker
// confirms them, never dropped without asking, a write the tracker holds otherwise named,
// configuration files compared and applied, and a backup of every connection.

#include "change_marks.h"
#include "configuration_files.h"
#include "file_dialog.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "tab_xml_widget.h"
#include "tracker_configuration.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

const int wait_ms = sim_process::default_timeout_ms;
const QString stream_off = QStringLiteral("AT+SDAD=7395,,0,,,,,");
const QString nothing_changed = QStringLiteral("Вы не изменили ни одного параметра");

QString chosen_file; // what every file dialog answers
QString choose_file(file_dialog_kind, QWidget*, const QString&, const QString&, const QString&)
{
    return chosen_file;
}

QStringList marked(tab_xml_widget& pages)
{
    QStringList labels;
    for (const t_page& page : pages.page_list)
        for (const t_simple_parameter* p : page.parameters)
            if (p->widget && has_change_mark(p->widget))
                labels << p->description;
    return labels;
}

QByteArray file_with(const QByteArray& commands)
{
    return R"({"format": "tracker-configuration", "version": 1, "commands": )" + commands + "}";
}

// Reads the comparison dialog, unticks the rows whose label holds untick, and applies.
struct dialog_reader
{
    QStringList rows;
    QString not_applied;
    void read_and_apply(QWidget* dialog, const QString& untick = QString())
    {
        auto* list = dialog->findChild<QTreeWidget*>("differences");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            rows << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(
                '|');
            if (!untick.isEmpty() && item->text(1).contains(untick))
                item->setCheckState(0, Qt::Unchecked);
        }
        if (auto* text = dialog->findChild<QPlainTextEdit*>("not_applied"))
            not_applied = text->toPlainText();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
};

} // namespace

class test_configuration_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { set_file_dialog_handler(choose_file); }
    void simple_link_life();
    void load_file_data();
    void load_file();
    void save_without_tracker();
};

// Simple mode through a link's life: a backup of the tracker as found, a poll, edits written and
// checked, a backup loaded back, a lost port, a new link, and the questions about edits.
void test_configuration_window::simple_link_life()
{
    tracker_session s;
    QVERIFY2(s.start(true, {"--clamp", "+ODO,1,9000"}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    // Filled before the window's event loop runs, so before any reply is read.
    QVERIFY(QDir().mkdir("backups"));
    for (int i = 0; i < 50; ++i)
        QFile(QString("backups/2000-01-01_00-00-%1_old.json").arg(i, 2, 10, QChar('0')))
            .open(QIODevice::WriteOnly);
    QFile("backups/notes.json").open(QIODevice::WriteOnly);
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(0, 6), QStringList({"AT+APN=?", "AT+GSM=?", "AT+ROAM=?",
                                                     "AT+PIN=?", "AT+TRACK=?", "AT+ODO=?"}));
    QCOMPARE(simple_input(pages, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(simple_input<QComboBox>(pages, 0, 2)->currentData().toString(),
             QStringLiteral("0")); // from +GSM #2
    QCOMPARE(simple_input(pages, 1, 2)->text(), QStringLiteral("5555"));
    // Of the files named as backups, the newest 50 stay.
    const auto listing = [] { return QDir("backups").entryList(QDir::Files, QDir::Name); };
    QTRY_VERIFY_WITH_TIMEOUT(!listing().contains("2000-01-01_00-00-00_old.json"), wait_ms);
    const QStringList first = listing();
    QCOMPARE(first.size(), 51);
    QCOMPARE(first.first(), QStringLiteral("2000-01-01_00-00-01_old.json"));
    QVERIFY(first.at(49).endsWith("_ttySIM.json"));

    // Simple pages are never polled again: a tab change switches the stream only.
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(6, 1), QStringList({stream_off}));
    // The values from the tracker are no edits, and neither is a value that is never written.
    retype(simple_input(pages, 1, 1), "99");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes(), QStringList({nothing_changed}));

    // One position of +APN, an option's code rather than its text, the master +PIN, a value
    // typed back to what it was, and one the tracker clamps: marked until the tracker's answer
    // confirms them, written in profile order, then one save request.
    retype(simple_input(pages, 0, 1), "driver");
    simple_input<QComboBox>(pages, 0, 2)->setFocus();
    QTest::keyClick(simple_input<QComboBox>(pages, 0, 2), Qt::Key_Down);
    retype(simple_input(pages, 0, 3), "2468");
    retype(simple_input(pages, 1, 0), "120");
    retype(simple_input(pages, 1, 2), "99999");
    QCOMPARE(marked(pages),
             QStringList({"Пользователь", "Роуминг", "PIN", "Период, с", "Пробег, км"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(7, 6),
             QStringList({"AT+APN=7395,,driver,", "AT+ROAM=7395,1,", "AT+PIN=8642,2468,",
                          "AT+TRACK=7395,120,,", "AT+ODO=7395,99999,", "AT+SAVE=7395,"}));
    // The clamped value is named in one box, without a command to check it, and stays marked,
    // but as no edit left to write.
    QCOMPARE(s.boxes().mid(1), QStringList({"Трекер хранит не те значения, что были записаны:\n"
                                            "Пробег, км: записано «99999», в трекере «9000»"}));
    QCOMPARE(simple_input(pages, 1, 2)->text(), QStringLiteral("9000"));
    QCOMPARE(marked(pages), QStringList({"Пробег, км"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes().last(), nothing_changed);
    QVERIFY(s.tracker().wait_for_event("saved"));
    const QMap<QString, QStringList> saved{{"+APN", {"apn.tracker", "driver"}},
                                           {"+GSM", {"3", "0"}},
                                           {"+ODO", {"9000"}},
                                           {"+PIN", {"2468"}},
                                           {"+ROAM", {"1"}},
                                           {"+TRACK", {"120", "42"}}};
    QCOMPARE(s.tracker().saved_values(), saved);

    // The backup brings the first values back as edits, all but the unticked row.
    chosen_file = QDir::current().filePath("backups/" + first.at(49));
    dialog_reader dialog;
    modal_answerer answer([&](QWidget* d) { dialog.read_and_apply(d, "Пробег"); });
    s.trigger("actionLoadConfiguration");
    QVERIFY(answer.answered());
    QCOMPARE(dialog.rows, QStringList({"Связь|Пользователь (+APN, #2)|driver|user7",
                                       "Связь|Роуминг (+ROAM, #1)|Разрешён|Запрещён",
                                       "Связь|PIN (+PIN, #1)|2468|1111",
                                       "Трекинг|Пробег, км (+ODO, #1)|9000|5555"}));
    QCOMPARE(simple_input(pages, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(marked(pages), QStringList({"Пользователь", "Роуминг", "PIN", "Пробег, км"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(13, 4), QStringList({"AT+APN=7395,,user7,", "AT+ROAM=7395,0,",
                                                      "AT+PIN=8642,1111,", "AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved", 2));
    QCOMPARE(s.tracker().saved_values().value("+ODO"), QStringList({"9000"}));
    QCOMPARE(marked(pages), QStringList({"Пробег, км"}));
    QCOMPARE(s.boxes().size(), 3);

    // The same link after a lost port: polled again, kept once.
    QVERIFY(s.tracker().unplug());
    const QString opening = "Opening port " + s.tracker().port_path() + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return s.log().count(opening) >= 2; }, wait_ms));
    QVERIFY(s.tracker().replug());
    s.wait_for_commands(17, 6);
    QCOMPARE(listing(), first);

    // Ending the link asks about an edit, dropped here; a new link is kept again.
    QLineEdit* user = simple_input(pages, 0, 1);
    retype(user, "driver");
    tracker_session::edits_question::answer = edits_answer::discard;
    s.connect_button()->click();
    QVERIFY(s.wait_until_idle());
    QCOMPARE(s.wait_for_commands(23, 2), QStringList({stream_off, "AT+TEXT=7395,"}));
    QVERIFY(!has_change_mark(user));
    s.connect_button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!listing().contains(first.first()), wait_ms);
    QCOMPARE(listing().size(), 51);
    s.wait_for_commands(25, 6);

    // Closing with an edit asks first. Cancelled, the window stays and nothing is sent; written,
    // the edit and the save request go before the link ends.
    retype(user, "driver");
    tracker_session::edits_question::answer = edits_answer::cancel;
    s.window().close();
    QVERIFY(s.window().isVisible());
    QVERIFY(has_change_mark(user));
    tracker_session::edits_question::answer = edits_answer::write;
    s.window().close();
    QVERIFY(s.wait_until_closed());
    QCOMPARE(tracker_session::edits_question::asked, 3);
    QCOMPARE(s.wait_for_commands(31, 3),
             QStringList({"AT+APN=7395,,driver,", "AT+SAVE=7395,", "AT+TEXT=7395,"}));
    QVERIFY(!has_change_mark(user));
}

void test_configuration_window::load_file_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("not_applied");
    QTest::addColumn<QString>("box"); // its start; none when empty

    QTest::newRow("unknown and read-only")
        << file_with(R"({"+APN": ["apn.tracker", "user7", null, "x"], "+FOO": ["1"],
                         "+GSM": [null, "1"], "+TRACK": ["120", "99"]})")
        << "Только чтение, не записываются:\n"
           "  Роуминг (+GSM, #2): сейчас «Запрещён», в файле «Разрешён»\n"
           "  Счётчик (+TRACK, #2): сейчас «42», в файле «99»\n"
           "Нет на страницах, пропускаются:\n  +APN position 4\n  +FOO"
        << "";
    QTest::newRow("the same values") << file_with(R"({"+APN": ["apn.tracker", "user7"]})") << ""
                                     << "Значения в файле совпадают";
    QTest::newRow("not JSON") << QByteArray("{") << ""
                              << "Конфигурация не загружена.\nNot a JSON text";
}

// Nothing the pages cannot write is applied, and a file that is refused changes nothing. The
// pages hold the tracker's values without a tracker: the comparison is all that matters here.
void test_configuration_window::load_file()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    tracker_session s;
    QVERIFY2(s.start_without_tracker(true), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    for (const char* reply :
         {"+RESP:APN,apn.tracker,user7", "+RESP:GSM,3,0", "+RESP:ROAM,0", "+RESP:TRACK,120,42"})
        pages.process_simple_response(reply);
    chosen_file = QDir::current().filePath("given.json");
    QFile given(chosen_file);
    QVERIFY(given.open(QIODevice::WriteOnly) && given.write(file) == file.size());
    given.close();

    dialog_reader dialog;
    modal_answerer answer([&](QWidget* d) { dialog.read_and_apply(d); });
    load_file_into_pages(&s.window(), pages);
    QCOMPARE(answer.answered(), box.isEmpty());
    QCOMPARE(dialog.rows, QStringList());
    QTEST(dialog.not_applied, "not_applied");
    QCOMPARE(s.boxes().join('\n').left(box.size()), box);
    QCOMPARE(s.boxes().isEmpty(), box.isEmpty());
    QVERIFY(!pages.has_unwritten_edits());
}

// Offline, the pages' own values make a template: here the expert blocks' defaults, where a
// command's second block is not the one a reply would fill.
void test_configuration_window::save_without_tracker()
{
    tracker_session s;
    QVERIFY2(s.start_without_tracker(false), qPrintable(s.error()));
    chosen_file = QDir::current().filePath("missing/template.json");
    s.trigger("actionSaveConfiguration");
    QCOMPARE(s.boxes().size(), 1);
    QVERIFY(s.boxes().first().startsWith("Конфигурация не сохранена.\nCannot write"));

    chosen_file = QDir::current().filePath("template.json");
    s.trigger("actionSaveConfiguration");
    tracker_configuration written;
    QVERIFY(read_configuration_file(chosen_file, written, nullptr));
    QStringList commands;
    for (const configured_command& c : written.commands) {
        QStringList values;
        for (const std::optional<QString>& value : c.values)
            values << value.value_or("null");
        commands << c.key + '=' + values.join(',');
    }
    QCOMPARE(commands, QStringList({"+APN=internet,gprs", "+GSM=2,1", "+PIN=0000", "+TRACK=60,7",
                                    "+ODO=1234"}));
}

QTEST_MAIN(test_configuration_window)
#include "test_configuration_window.moc"
