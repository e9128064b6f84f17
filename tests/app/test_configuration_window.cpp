// Configuration files in the real window: saved, compared and applied against the simulated
// tracker, edits marked until the tracker confirms them, never dropped without asking, a write
// the tracker holds otherwise named, and a backup of every connection.

#include "change_marks.h"
#include "file_dialog.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "recorded_boxes.h"
#include "settings_file.h"
#include "tab_xml_widget.h"
#include "tracker_configuration.h"
#include "tracker_session.h"
#include "unwritten_edits_prompt.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

const int wait_ms = sim_process::default_timeout_ms;

QString chosen_file; // what every file dialog answers
QString choose_file(file_dialog_kind, QWidget*, const QString&, const QString&, const QString&)
{
    return chosen_file;
}

edits_answer prompt_answer = edits_answer::cancel;
int prompts = 0;
edits_answer answer_prompt(QWidget*, bool)
{
    ++prompts;
    return prompt_answer;
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

void trigger(MainWindow& w, const char* action)
{
    w.findChild<QAction*>(action)->trigger();
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

Q_DECLARE_METATYPE(edits_answer)

class test_configuration_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        set_file_dialog_handler(choose_file);
        set_unwritten_edits_handler(answer_prompt);
    }
    void round_trip_with_a_clamped_value();
    void load_file_data();
    void load_file();
    void save_without_tracker();
    void prompt_on_close_data();
    void prompt_on_close();
    void backup_once_per_connection_and_pruned();
};

void test_configuration_window::round_trip_with_a_clamped_value()
{
    tracker_session s;
    QVERIFY2(s.start(tracker_with_values(true, {"--clamp", "+ODO,1,9000"})), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    int seen = s.wait_for_commands(0, 6).size();
    chosen_file = QDir::current().filePath("kept.json");
    trigger(s.window(), "actionSaveConfiguration");

    // Edits show until the tracker's answer confirms them; the one it clamped stays marked and
    // is named in one box, without a command to check it.
    retype(simple_input(pages, 0, 1), "driver");
    retype(simple_input(pages, 1, 0), "300");
    retype(simple_input(pages, 1, 2), "99999");
    QCOMPARE(marked(pages), QStringList({"Пользователь", "Период, с", "Пробег, км"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 4),
             QStringList({"AT+APN=7395,,driver,", "AT+TRACK=7395,300,,", "AT+ODO=7395,99999,",
                          "AT+SAVE=7395,"}));
    seen += 4;
    QCOMPARE(s.boxes(), QStringList({"Трекер хранит не те значения, что были записаны:\n"
                                     "Пробег, км: записано «99999», в трекере «9000»"}));
    QCOMPARE(simple_input(pages, 1, 2)->text(), QStringLiteral("9000"));
    QCOMPARE(marked(pages), QStringList({"Пробег, км"}));

    // The kept file brings the old values back as edits, all but the unticked row.
    dialog_reader dialog;
    modal_answerer answer([&](QWidget* d) { dialog.read_and_apply(d, "Пробег"); });
    trigger(s.window(), "actionLoadConfiguration");
    QVERIFY(answer.answered());
    QCOMPARE(dialog.rows, QStringList({"Связь|Пользователь (+APN, #2)|driver|user7",
                                       "Трекинг|Период, с (+TRACK, #1)|300|120",
                                       "Трекинг|Пробег, км (+ODO, #1)|9000|5555"}));
    QCOMPARE(simple_input(pages, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(marked(pages), QStringList({"Пользователь", "Период, с", "Пробег, км"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 3),
             QStringList({"AT+APN=7395,,user7,", "AT+TRACK=7395,120,,", "AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved", 2));
    const QMap<QString, QStringList> saved = s.tracker().saved_values();
    QCOMPARE(saved.value("+APN"), QStringList({"apn.tracker", "user7"}));
    QCOMPARE(saved.value("+TRACK"), QStringList({"120", "42"}));
    QCOMPARE(saved.value("+ODO"), QStringList({"9000"}));
    QCOMPARE(marked(pages), QStringList({"Пробег, км"}));
    QCOMPARE(s.boxes().size(), 1);
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
    QTest::newRow("newer") << QByteArray(R"({"format": "tracker-configuration", "version": 2})")
                           << ""
                           << "Конфигурация не загружена.\nVersion 2 is newer";
}

// Nothing the pages cannot write is applied, and a file that is refused changes nothing.
void test_configuration_window::load_file()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    tracker_session s;
    QVERIFY2(s.start(tracker_with_values(true)), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, 6).size();
    chosen_file = QDir::current().filePath("given.json");
    QFile given(chosen_file);
    QVERIFY(given.open(QIODevice::WriteOnly) && given.write(file) == file.size());
    given.close();

    dialog_reader dialog;
    modal_answerer answer([&](QWidget* d) { dialog.read_and_apply(d); });
    trigger(s.window(), "actionLoadConfiguration");
    QCOMPARE(answer.answered(), box.isEmpty());
    QCOMPARE(dialog.rows, QStringList());
    QTEST(dialog.not_applied, "not_applied");
    QCOMPARE(s.boxes().join('\n').left(box.size()), box);
    QCOMPARE(s.boxes().isEmpty(), box.isEmpty());
    QVERIFY(!pages.has_unwritten_edits());
    QCOMPARE(s.command_count(), seen);
}

// Offline, the pages' own values make a template: here the expert blocks' defaults, where a
// command's second block is not the one a reply would fill.
void test_configuration_window::save_without_tracker()
{
    QTemporaryDir work;
    QVERIFY(QDir::setCurrent(work.path()));
    QVERIFY(QFile::copy(TC_TEST_DATA "/app_profile.xml", "profile.xml"));
    t_settings settings;
    settings.simple_mode = false;
    write_settings(settings_file_path(), settings);
    recorded_boxes boxes;
    MainWindow w;
    chosen_file = work.filePath("missing/template.json");
    trigger(w, "actionSaveConfiguration");
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY(boxes.texts().first().startsWith("Конфигурация не сохранена.\nCannot write"));

    chosen_file = work.filePath("template.json");
    trigger(w, "actionSaveConfiguration");
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

void test_configuration_window::prompt_on_close_data()
{
    QTest::addColumn<bool>("simple_mode");
    QTest::addColumn<edits_answer>("answer");
    QTest::addColumn<QStringList>("sent"); // after the poll

    const QString closing = QStringLiteral("AT+TEXT=7395,");
    QTest::newRow("write") << true << edits_answer::write
                           << QStringList{"AT+APN=7395,,driver,", "AT+SAVE=7395,", closing};
    QTest::newRow("discard") << true << edits_answer::discard << QStringList{closing};
    QTest::newRow("cancel") << true << edits_answer::cancel << QStringList();
    QTest::newRow("expert write") << false << edits_answer::write
                                  << QStringList{"AT+APN=7395,apn.tracker,driver,", "AT+SAVE=7395,",
                                                 closing};
}

void test_configuration_window::prompt_on_close()
{
    QFETCH(bool, simple_mode);
    QFETCH(edits_answer, answer);
    QFETCH(QStringList, sent);
    tracker_session s;
    QVERIFY2(s.start(tracker_with_values(simple_mode)), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, simple_mode ? 6 : 2).size();
    QLineEdit* user = simple_mode ? simple_input(pages, 0, 1) : expert_edit(pages, 0, 0, 1);
    retype(user, "driver");
    QVERIFY(has_change_mark(user));

    prompts = 0;
    prompt_answer = answer;
    s.window().close();
    QCOMPARE(prompts, 1);
    QTRY_COMPARE_WITH_TIMEOUT(s.window().isVisible(), answer == edits_answer::cancel, wait_ms);
    QCOMPARE(s.wait_for_commands(seen, sent.size()), sent);
    QCOMPARE(has_change_mark(user), answer == edits_answer::cancel);
}

void test_configuration_window::backup_once_per_connection_and_pruned()
{
    tracker_session s;
    QVERIFY2(s.start(tracker_with_values(true)), qPrintable(s.error()));
    // Filled before the window's event loop runs, so before any reply is read.
    QVERIFY(QDir().mkdir("backups"));
    for (int i = 0; i < 50; ++i)
        QFile(QString("backups/2000-01-01_00-00-%1_old.json").arg(i, 2, 10, QChar('0')))
            .open(QIODevice::WriteOnly);
    QFile("backups/notes.json").open(QIODevice::WriteOnly);
    const auto listing = [] { return QDir("backups").entryList(QDir::Files, QDir::Name); };
    QTRY_VERIFY_WITH_TIMEOUT(!listing().contains("2000-01-01_00-00-00_old.json"), wait_ms);
    const QStringList first = listing();
    QCOMPARE(first.size(), 51);
    QCOMPARE(first.first(), QStringLiteral("2000-01-01_00-00-01_old.json"));
    QVERIFY(first.at(49).endsWith("_ttySIM.json"));
    tracker_configuration kept;
    QVERIFY(read_configuration_file("backups/" + first.at(49), kept, nullptr));
    QCOMPARE(kept.commands.first().values.value(1).value_or(""), QStringLiteral("user7"));

    // The same link after a lost port: polled again, kept once.
    QVERIFY(s.tracker().unplug());
    const QString opening = "Opening port " + s.tracker().port_path() + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return s.log().count(opening) >= 2; }, wait_ms));
    QVERIFY(s.tracker().replug());
    s.wait_for_commands(6, 6);
    QCOMPARE(listing(), first);

    // A new link is kept again.
    s.connect_button()->click();
    QVERIFY(s.wait_until_idle());
    s.connect_button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!listing().contains(first.first()), wait_ms);
    QCOMPARE(listing().size(), 51);
}

QTEST_MAIN(test_configuration_window)
#include "test_configuration_window.moc"
