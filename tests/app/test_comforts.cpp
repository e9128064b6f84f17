// The installer's comforts in the real window: edits marked until the tracker confirms them and
// never dropped without asking, configuration files compared and applied, a backup of every
// connection, the command console, parameter search, the log kept in a file, a port waited for
// or held by another program, the advice when a port does not open, the stream recorded and
// played back, and the production station in a window of its own.

#include "change_marks.h"
#include "command_console.h"
#include "configuration_files.h"
#include "file_dialog.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "parameter_search.h"
#include "port_advice.h"
#include "port_list.h"
#include "port_waiter.h"
#include "recording_reader.h"
#include "station_window.h"
#include "tab_xml_widget.h"
#include "tracker_configuration.h"
#include "tracker_session.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {

const int wait_ms = sim_process::default_timeout_ms;
QList<port_entry> presented_ports;

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

// Empty while commands can be typed.
QString console_reason(MainWindow& w)
{
    auto* console = w.findChild<command_console*>();
    return console->findChild<QLineEdit*>()->isEnabled() ? QString()
                                                         : console->findChild<QLabel*>()->text();
}

void write_file(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), text.size());
}

void click_button(QWidget* window, const QString& text)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == text)
            button->click();
}

// Opens "Серийная настройка..." with the choices given and presses "Начать"; the station serves
// the window's port, or every port when the window has none.
station_window* start_station(tracker_session& s, const QString& configuration,
                              const QString& units, const QString& identity)
{
    s.trigger("actionStation");
    auto* w = s.window().findChild<station_window*>();
    w->findChild<QLineEdit*>("configuration")->setText(configuration);
    w->findChild<QLineEdit*>("unit_values")->setText(units);
    w->findChild<QLineEdit*>("identity")->setText(identity);
    w->findChild<QComboBox*>("ports")->setCurrentIndex(s.tracker().running() ? 1 : 0);
    click_button(w, QStringLiteral("Начать"));
    return w;
}

} // namespace

class test_comforts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        set_port_source([] { return presented_ports; });
        set_file_dialog_handler(choose_file);
    }
    void simple_link_life();
    void load_file_data();
    void load_file();
    void files_saved_without_tracker();
    void console();
    void search_data();
    void search();
    void port_waited_for_then_busy();
    void open_failure_advice_data();
    void open_failure_advice();
    void stream_recorded_and_replayed();
    void station_plan_refused_data();
    void station_plan_refused();
    void station_serves_tracker();
};

// Simple mode through a link's life: a backup of the tracker as found, a poll, edits written and
// checked, a backup loaded back, a lost port, a new link, and the questions about edits.
void test_comforts::simple_link_life()
{
    tracker_session s;
    QVERIFY(s.start(true, {"--clamp", "+ODO,1,9000"}));
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
    // By key: +APN, +GSM, +ODO, +PIN, +ROAM, +TRACK. Positions not written keep their values.
    QStringList saved;
    for (const QStringList& values : s.tracker().saved_values())
        saved << values.join(',');
    QCOMPARE(saved, QStringList({"apn.tracker,driver", "3,0", "9000", "2468", "1", "120,42"}));

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

    // A value below the range is refused where it is typed, and a save sends nothing.
    QLineEdit* period = simple_input(pages, 1, 0);
    QSignalSpy refused(&pages, &tab_xml_widget::value_refused);
    retype(period, "2");
    QCOMPARE(period->toolTip().section('\n', 0, 0),
             QStringLiteral("Значение не будет записано: меньше 10"));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.at(0).at(0).toString(),
             QStringLiteral("Значение не будет записано. Период, с: меньше 10"));
    QCOMPARE(pages.refused_edits(), QStringList({QStringLiteral("Период, с: меньше 10")}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);

    // The same link after a lost port: polled again, kept once; the poll's value ends the refusal.
    QVERIFY(s.tracker().unplug());
    const QString opening = "Opening port " + s.tracker().port_path() + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return s.log().count(opening) >= 2; }, wait_ms));
    QVERIFY(s.tracker().replug());
    QCOMPARE(s.wait_for_commands(17, 6).first(), QStringLiteral("AT+APN=?"));
    QCOMPARE(period->text() + '|' + period->toolTip(),
             QStringLiteral(
                 "120|Период, с\nДопустимо: целое число от 10 до 3600 с\nКоманда: +TRACK, #1"));
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

void test_comforts::load_file_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("not_applied");
    QTest::addColumn<QString>("box"); // its start; none when empty

    QTest::newRow("unknown, read-only and refused")
        << file_with(R"({"+APN": ["apn.tracker", "user,7", null, "x"], "+FOO": ["1"],
                         "+GSM": [null, "1"], "+TRACK": ["5", "99"]})")
        << "Только чтение, не записываются:\n"
           "  Роуминг (+GSM, #2): сейчас «Запрещён», в файле «Разрешён»\n"
           "  Счётчик (+TRACK, #2): сейчас «42», в файле «99»\n"
           "Недопустимые значения, не применяются:\n"
           "  Пользователь (+APN, #2): в файле «user,7» — запятая недопустима\n"
           "  Период, с (+TRACK, #1): в файле «5» — меньше 10\n"
           "Нет на страницах, пропускаются:\n  +APN position 4\n  +FOO"
        << "";
    QTest::newRow("the same values") << file_with(R"({"+APN": ["apn.tracker", "user7"]})") << ""
                                     << "Значения в файле совпадают";
    QTest::newRow("not JSON") << QByteArray("{") << ""
                              << "Конфигурация не загружена.\nNot a JSON text";
}

// Nothing the pages cannot write is applied, and a file that is refused changes nothing. The
// pages hold the tracker's values without a tracker: the comparison is all that matters here.
void test_comforts::load_file()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    tracker_session s;
    QVERIFY(s.start_without_tracker(true));
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

// Offline, the log and the pages' own values are saved to files: here the expert blocks'
// defaults, where a command's second block is not the one a reply would fill.
void test_comforts::files_saved_without_tracker()
{
    tracker_session s;
    QVERIFY(s.start_without_tracker(false));
    chosen_file = QDir::current().filePath("missing/file");
    s.trigger("actionSaveConfiguration");
    s.trigger("actionSaveLog");
    QCOMPARE(s.boxes().size(), 2);
    QVERIFY(s.boxes().first().startsWith("Конфигурация не сохранена.\nCannot write"));
    QVERIFY(s.boxes().last().startsWith(QStringLiteral("Журнал не сохранён: ")));

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

    // The lines shown, oldest first, each with its date; then where they went.
    s.window().set_status_text(QStringLiteral("Пароль неверный: ё"));
    chosen_file = QDir::current().filePath(QStringLiteral("журнал.txt"));
    s.trigger("actionSaveLog");
    QCOMPARE(s.log().takeFirst(),
             QStringLiteral("Журнал сохранён в ") + QDir::toNativeSeparators(chosen_file));
    QFile file(chosen_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList saved = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(saved.takeLast(), QString());
    std::reverse(saved.begin(), saved.end());
    const QRegularExpression stamp("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] ");
    QCOMPARE(saved.replaceInStrings(stamp, ""), s.log().mid(1));

    for (int i = 0; i < 10000; ++i)
        s.window().set_status_text(QString::number(i));
    const QStringList kept = s.log();
    QCOMPARE(kept.size(), 10000);
    QCOMPARE(kept.first(), QStringLiteral("9999"));
    QCOMPARE(kept.last(), QStringLiteral("0"));
}

void test_comforts::console()
{
    tracker_session s;
    QVERIFY(s.start(false));
    MainWindow& w = s.window();
    QCOMPARE(console_reason(w), QStringLiteral("Связь с трекером устанавливается..."));
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    s.trigger("actionConsole");
    auto* input = w.findChild<command_console*>()->findChild<QLineEdit*>();
    // Unsafe commands, and the one that ends command mode, are not sent; a reply that names no
    // block, or a refusal, opens no box. No password is echoed.
    const QString too_long = "AT+APN=" + QString(1100, 'a');
    for (const QString& cmd :
         {too_long, QStringLiteral("AT+APN=\r7395,"), QStringLiteral("AT+TEXT=7395,"),
          QStringLiteral("AT+ODO=?"), QStringLiteral("AT+ROAM=?"), QStringLiteral("AT+PIN=1,2,")}) {
        input->setText(cmd);
        QTest::keyClick(input, Qt::Key_Return);
    }
    QCOMPARE(s.wait_for_commands(2, 3), QStringList({"AT+ODO=?", "AT+ROAM=?", "AT+PIN=1,2,"}));
    const QStringList shown{
        "> AT+APN=****",
        QStringLiteral("Не отправлена: команда длиннее 1021 байт."),
        QStringLiteral("> AT+APN=****,"),
        QStringLiteral("Не отправлена: в команде есть управляющие символы (CR, LF или NUL)."),
        QStringLiteral("> AT+TEXT=****,"),
        QStringLiteral("Не отправлена: эта команда выводит трекер из режима команд, и он "
                       "перестаёт отвечать. Чтобы закончить работу, нажмите «Разорвать связь»: "
                       "программа отправит её сама."),
        "> AT+ODO=?",
        "> AT+ROAM=?",
        "> AT+PIN=****,2,",
        "+RESP:ODO,5555",
        "+RESP:ROAM,0",
        QStringLiteral("+RESP:PIN,ERROR,PASSWORD — ошибка: Неверный пароль")};
    QTRY_COMPARE_WITH_TIMEOUT(w.findChild<QPlainTextEdit*>()->toPlainText().split('\n'), shown,
                              wait_ms);
    QCOMPARE(s.boxes(), QStringList());
    // The pages take the values of a block they know, as from any reply.
    auto* odo = s.pages().page_list[1].commands[1].parameters[0].widget;
    QCOMPARE(qobject_cast<QLineEdit*>(odo)->text(), QStringLiteral("5555"));

    // Up and Down walk through the history, back to what was being typed.
    input->setText("AT+");
    QStringList recalled;
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(input, key);
        recalled << input->text();
    }
    QCOMPARE(recalled, QStringList({"AT+PIN=1,2,", "AT+ROAM=?", "AT+PIN=1,2,", "AT+", "AT+"}));
}

void test_comforts::search_data()
{
    QTest::addColumn<QString>("profile"); // none: the window against the simulated tracker
    QTest::addColumn<bool>("simple");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("matches");
    QTest::addColumn<QList<int>>("last"); // its tab, and its row, or its block and parameter

    QTest::newRow("block title, words in any order")
        << "" << false << QStringLiteral("копия доступа")
        << QStringList{QStringLiteral("APN — Точка доступа (копия) (Трекинг)")}
        << QList<int>{1, 2, 0};
    QTest::newRow("label on two pages, command key")
        << "" << false << "APN"
        << QStringList{QStringLiteral("APN — Точка доступа (Связь)"),
                       QStringLiteral("Пользователь — Точка доступа (Связь)"),
                       QStringLiteral("APN — Точка доступа (копия) (Трекинг)")}
        << QList<int>{1, 2, 0};
    QTest::newRow("simple, е for ё, grouped by its command's block")
        << "" << true << QStringLiteral("счетчик")
        << QStringList{QStringLiteral("Счётчик — Запись точек (Трекинг)")} << QList<int>{1, 1};
    QTest::newRow("simple, command key")
        << "" << true << "+odo" << QStringList{QStringLiteral("Пробег, км — Пробег (Трекинг)")}
        << QList<int>{1, 2};
    QTest::newRow("nothing found")
        << "" << true << QStringLiteral("порт") << QStringList{QStringLiteral("Ничего не найдено")}
        << QList<int>();
    const QString sample = TC_TEST_DATA "/../../profiles/profile.xml";
    const QStringList ports{QStringLiteral("Порт — Основной сервер (Серверы)"),
                            QStringLiteral("Порт — Резервный сервер (Серверы)")};
    for (bool simple : {false, true})
        QTest::addRow("sample profile, %s", simple ? "simple" : "expert")
            << sample << simple << QStringLiteral("сервер порт") << ports << QList<int>();
}

void test_comforts::search()
{
    QFETCH(QString, profile);
    QFETCH(bool, simple);
    QFETCH(QString, query);
    QFETCH(QList<int>, last);
    if (!profile.isEmpty()) { // the listing alone, from the profile's pages without a window
        const tab_xml_widget pages(nullptr, profile, simple);
        QStringList found;
        for (const search_entry& entry : find_parameters(index_parameters(pages), query))
            found << place_text(entry.place);
        QTEST(found, "matches");
        return;
    }
    tracker_session s;
    QVERIFY(s.start(simple));
    QVERIFY(s.wait_until_ready());
    QVERIFY(QTest::qWaitForWindowActive(&s.window()));

    auto* panel = s.window().findChild<parameter_search*>();
    QTest::keyClick(&s.window(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), panel->findChild<QLineEdit*>());
    panel->findChild<QLineEdit*>()->insert(query);
    auto* results = panel->findChild<QListWidget*>();
    QStringList found;
    for (int i = 0; i < results->count(); ++i)
        found << results->item(i)->text();
    QTEST(found, "matches");
    if (last.isEmpty())
        return;

    results->setCurrentRow(results->count() - 1);
    QTest::keyClick(results, Qt::Key_Return);
    const t_page& page = s.pages().page_list[last[0]];
    QCOMPARE(s.pages().tab_widget->currentIndex(), last[0]);
    QCOMPARE(QApplication::focusWidget(), simple
                                              ? page.parameters[last[1]]->widget
                                              : page.commands[last[1]].parameters[last[2]].widget);
}

// Automatic connection finds no port, so the window waits for one. When one appears, another
// program holds it, and the log says so once.
void test_comforts::port_waited_for_then_busy()
{
    presented_ports.clear();
    tracker_session s;
    QVERIFY(s.start_without_tracker(false, true));
    MainWindow& w = s.window();
    QCOMPARE(console_reason(w),
             QStringLiteral("Нет связи с трекером: нажмите «Соедениться с трекером»."));
    auto* waiter = w.findChild<port_waiter*>();
    waiter->set_interval(10);
    QSignalSpy looks(waiter, &port_waiter::still_waiting);
    QTRY_VERIFY_WITH_TIMEOUT(looks.count() >= 2, wait_ms);
    QCOMPARE(w.statusBar()->findChild<QLabel*>()->text(),
             QStringLiteral("Трекер не найден: подключите его, связь начнётся сама (проверок: %1)")
                 .arg(looks.last().first().toInt()));

    sim_process& sim = s.tracker();
    QVERIFY2(sim.start({}, TC_TEST_DATA "/app_profile.xml"), qPrintable(sim.error()));
    QSerialPort holder(sim.port_path());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    const port_entry tracker{sim.port_path(), QStringLiteral("Трекер"), "STMicroelectronics"};
    presented_ports = {{"ttyS0", "Modem", "Other Inc."}, tracker};
    const QString failure = "Can't open " + sim.port_path() + ", error code 2";
    QTRY_VERIFY_WITH_TIMEOUT(s.log().count(failure) >= 2, wait_ms);
    const QStringList log = s.log();
    QVERIFY(log.contains(QStringLiteral("Найден порт ") + port_display_text(tracker)));
    const QString advice = "Порт " + sim.port_path() +
                           QStringLiteral(" занят другой программой. Закройте её: подключение "
                                          "повторяется само.");
    QCOMPARE(log.count(advice), 1);
    QCOMPARE(log.at(log.indexOf(advice) + 1), failure); // newest first: right after the failure

    holder.close();
    QTRY_COMPARE_WITH_TIMEOUT(console_reason(w), QString(), wait_ms);
}

void test_comforts::open_failure_advice_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<QStringList>("advice");

    QTest::newRow("no rights")
        << QSerialPort::PermissionError
        << QStringList{
               QStringLiteral("Нет прав на порт ttyACM0: открыть его могут только члены группы "
                              "«dialout»."),
               QStringLiteral(
                   "Добавьте себя в эту группу командой: sudo usermod -aG dialout $USER"),
               QStringLiteral("Затем выйдите из системы и войдите снова: членство в группе "
                              "действует только с нового входа.")};
    QTest::newRow("absent device") << QSerialPort::DeviceNotFoundError << QStringList();
}

// Tests may run as root, whom no permission stops: a fake describes the device file.
void test_comforts::open_failure_advice()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QString asked;
    const QStringList advice = ::open_failure_advice("ttyACM0", error, [&](const QString& port) {
        asked = port;
        return port_access{true, "dialout"};
    });
    QTEST(advice, "advice");
    QCOMPARE(asked, advice.isEmpty() ? QString() : QStringLiteral("ttyACM0"));
}

// The stream recorded as the device-state page gets it, then played into the page with no
// tracker: the page shows what it showed live. No replay while a link is up.
void test_comforts::stream_recorded_and_replayed()
{
    tracker_session s;
    QVERIFY(s.start(false, {"--stream-interval", "600000"}));
    tab_xml_widget& pages = s.pages();
    const auto shown = [&pages] {
        QStringList texts;
        for (const t_display_field& d : pages.display_fields)
            if (auto* line = qobject_cast<QLineEdit*>(d.widget))
                texts << line->text();
        return texts;
    };
    QVERIFY(s.wait_until_ready());
    chosen_file = QDir::current().filePath("stream.rec");
    s.trigger("actionRecordStream");
    QCOMPARE(s.log().first(), QStringLiteral("Запись потока в ") + chosen_file);
    QCOMPARE(s.window().findChild<QAction*>("actionRecordStream")->text(),
             QStringLiteral("Остановить запись"));
    s.trigger("actionReplayStream");
    QCOMPARE(s.log().first(), QStringLiteral("Запись воспроизводится только без связи с "
                                             "трекером: разорвите связь"));

    pages.tab_widget->setCurrentIndex(pages.page_list.size() - 1);
    QVERIFY(s.tracker().wait_for_event("stream on"));
    const QByteArray nav = QByteArray::fromHex("0000004000000010e8030701");
    const QByteArray power = QByteArray::fromHex("409c0500efbead00") + "123456789012345" + '\0';
    QVERIFY(s.tracker().control("send $SD,1," + nav.toBase64()));
    QVERIFY(s.tracker().control("send $SD,2," + power.toBase64()));
    QTRY_VERIFY_WITH_TIMEOUT(shown().contains("00ADBEEF"), wait_ms);
    const QStringList live = shown();
    s.trigger("actionRecordStream");
    QCOMPARE(s.log().first(),
             QStringLiteral("Запись потока остановлена (%1, строк: 2)").arg(chosen_file));
    recording read;
    recording_error error;
    QVERIFY(read_recording_file(chosen_file, read, error));
    QCOMPARE(read.lines.size(), 2);
    QCOMPARE(read.lines.first().text, "$SD,1," + nav.toBase64());

    s.connect_button()->click();
    QVERIFY(s.wait_until_idle());
    for (const t_display_field& d : pages.display_fields)
        if (auto* line = qobject_cast<QLineEdit*>(d.widget))
            line->clear();
    s.trigger("actionReplayStream");
    QTRY_COMPARE_WITH_TIMEOUT(s.log().first(), QStringLiteral("Воспроизведение записи закончено"),
                              wait_ms);
    QCOMPARE(shown(), live);
}

// A plan with a problem starts nothing; every problem is said at once, each value checked with
// the unit's row too.
void test_comforts::station_plan_refused_data()
{
    QTest::addColumn<QByteArray>("configuration"); // empty: none chosen
    QTest::addColumn<QByteArray>("units");         // the CSV; empty: none chosen
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QStringList>("problems"); // how each line begins

    const QByteArray track = file_with(R"({"+TRACK": ["60", null]})");
    QTest::newRow("nothing chosen, no identity in the profile")
        << QByteArray() << QByteArray() << QString()
        << QStringList{"Выберите файл конфигурации", "Профиль не отмечает позицию"};
    QTest::newRow("identity in another form")
        << track << QByteArray() << "APN1"
        << QStringList{"Позиция идентификатора «APN1» не в виде +IMEI#1"};
    QTest::newRow("identity the profile does not read")
        << track << QByteArray() << "+APN#3"
        << QStringList{"Профиль не читает позицию идентификатора +APN#3"};
    QTest::newRow("value refused in the file")
        << file_with(R"({"+APN": ["a,b", null]})") << QByteArray() << "+APN#1"
        << QStringList{"configuration file: +APN,#1"};
    QTest::newRow("column the profile does not write")
        << track << QByteArray("identity,+TRACK#2\nu1,5\n") << "+APN#1"
        << QStringList{"Значения трекеров не прочитаны: "};
    QTest::newRow("value refused in a unit's row")
        << track << QByteArray("identity,+APN#1\nu1,\"a,b\"\n") << "+APN#1"
        << QStringList{"unit u1: +APN,#1"};
}

void test_comforts::station_plan_refused()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QByteArray, units);
    QFETCH(QString, identity);
    QFETCH(QStringList, problems);
    tracker_session s;
    QVERIFY(s.start_without_tracker(true));
    write_file("conf.json", configuration);
    write_file("units.csv", units);
    station_window* w = start_station(s, configuration.isEmpty() ? QString() : "conf.json",
                                      units.isEmpty() ? QString() : "units.csv", identity);
    const QStringList shown = w->findChild<QPlainTextEdit*>("problems")->toPlainText().split('\n');
    QCOMPARE(shown.size(), problems.size());
    for (int i = 0; i < shown.size(); ++i)
        QVERIFY2(shown.at(i).startsWith(problems.at(i)), qPrintable(shown.at(i)));
    QVERIFY(!w->running());
}

// The station in its window on the window's own port: the link let go first, the tracker
// written, verified and recorded, the same tracker skipped when plugged in again; closing asks
// while the station runs, and the window may connect again once it has stopped.
void test_comforts::station_serves_tracker()
{
    tracker_session s;
    QVERIFY(s.start(true));
    QVERIFY(s.wait_until_ready());
    write_file("conf.json", file_with(R"({"+TRACK": ["60", null]})"));
    station_window* w = start_station(s, "conf.json", QString(), "+APN#1");
    // Whatever fails, the station stops before the window closes, which would ask about it.
    const auto stop_station = qScopeGuard([w] {
        click_button(w, QStringLiteral("Остановить"));
        QVERIFY(QTest::qWaitFor([w] { return !w->running(); }, wait_ms));
    });
    QVERIFY(s.wait_until_idle());
    QVERIFY(!s.connect_button()->isEnabled());
    {
        // The next window starts with what this one was started with.
        const station_window next(t_settings(), {}, nullptr);
        QCOMPARE(next.findChild<QLineEdit*>("configuration")->text(), QStringLiteral("conf.json"));
        QCOMPARE(next.findChild<QLineEdit*>("identity")->text(), QStringLiteral("+APN#1"));
        QCOMPARE(next.findChild<QComboBox*>("ports")->currentIndex(), 1);
    }
    const auto status = [w] {
        const auto* label = w->findChild<QLabel*>("status");
        return label ? label->text() : QString();
    };
    const auto counts = [w] { return w->findChild<QLabel*>("counts")->text(); };
    auto* records = w->findChild<QTableWidget*>("records");
    const auto record = [records](int column) { return records->item(0, column)->text(); };
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("готово"), wait_ms);
    QCOMPARE(counts(), QStringLiteral("Готово: 1   Ошибок: 0   Пропущено: 0"));
    QCOMPARE(s.tracker().saved_values().value("+TRACK").value(0), QStringLiteral("60"));
    QCOMPARE(records->rowCount(), 1);
    QCOMPARE(QStringList({record(2), record(3), record(4)}),
             QStringList({"apn.tracker", "готово", "1"}));

    QVERIFY(s.tracker().unplug());
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("ожидание трекера"), wait_ms);
    QVERIFY(s.tracker().replug());
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("пропущен"), wait_ms);
    QCOMPARE(counts(), QStringLiteral("Готово: 1   Ошибок: 0   Пропущено: 1"));
    QCOMPARE(records->rowCount(), 2);
    QCOMPARE(record(3), QStringLiteral("пропущен"));

    const auto answer = [](const char* text) {
        return [text](QWidget* box) { click_button(box, QString::fromUtf8(text)); };
    };
    modal_answerer cancel(answer("Отмена"));
    w->close();
    QVERIFY(cancel.answered());
    QVERIFY(w->isVisible() && w->running());
    modal_answerer stop(answer("Остановить и закрыть"));
    w->close();
    QVERIFY(stop.answered());
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), wait_ms);
    QVERIFY(s.connect_button()->isEnabled());
}

QTEST_MAIN(test_comforts)
#include "test_comforts.moc"
