// The installer's comforts in the real window against the simulated tracker: the command
// console, parameter search, the log kept in a file, a port waited for or held by another
// program, and the advice when a port does not open.

#include "command_console.h"
#include "file_dialog.h"
#include "mainwindow.h"
#include "parameter_search.h"
#include "port_advice.h"
#include "port_list.h"
#include "port_waiter.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

namespace {

const int wait_ms = sim_process::default_timeout_ms;

QString log_path;
QList<port_entry> presented_ports;

// Empty while commands can be typed.
QString console_reason(MainWindow& w)
{
    auto* console = w.findChild<command_console*>();
    return console->findChild<QLineEdit*>()->isEnabled() ? QString()
                                                         : console->findChild<QLabel*>()->text();
}

} // namespace

class test_comforts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        set_port_source([] { return presented_ports; });
        set_file_dialog_handler([](file_dialog_kind, QWidget*, const QString&, const QString&,
                                   const QString&) { return log_path; });
    }
    void console();
    void search_data();
    void search();
    void log_saved_and_capped();
    void port_waited_for_then_busy();
    void open_failure_advice_data();
    void open_failure_advice();
};

void test_comforts::console()
{
    tracker_session s;
    QVERIFY2(s.start(false), qPrintable(s.error()));
    MainWindow& w = s.window();
    QCOMPARE(console_reason(w), QStringLiteral("Связь с трекером устанавливается..."));
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    s.trigger("actionConsole");
    auto* input = w.findChild<command_console*>()->findChild<QLineEdit*>();
    // Unsafe commands are not sent; a reply that names no block, or a refusal, opens no box.
    const QString too_long = "AT+APN=" + QString(1100, 'a');
    for (const QString& cmd :
         {too_long, QStringLiteral("AT+APN=\r7395,"), QStringLiteral("AT+ODO=?"),
          QStringLiteral("AT+ROAM=?"), QStringLiteral("AT+PIN=1,2,")}) {
        input->setText(cmd);
        QTest::keyClick(input, Qt::Key_Return);
    }
    QCOMPARE(s.wait_for_commands(2, 3), QStringList({"AT+ODO=?", "AT+ROAM=?", "AT+PIN=1,2,"}));
    const QStringList shown{
        "> " + too_long,
        QStringLiteral("Не отправлена: команда длиннее 1021 байт."),
        QStringLiteral("> AT+APN=␍7395,"),
        QStringLiteral("Не отправлена: в команде есть управляющие символы (CR, LF или NUL)."),
        "> AT+ODO=?",
        "> AT+ROAM=?",
        "> AT+PIN=1,2,",
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
    QTest::addColumn<bool>("simple");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("matches");
    QTest::addColumn<QList<int>>("last"); // its tab, and its row, or its block and parameter

    QTest::newRow("block title, words in any order")
        << false << QStringLiteral("копия доступа")
        << QStringList{QStringLiteral("APN — Точка доступа (копия) (Трекинг)")}
        << QList<int>{1, 2, 0};
    QTest::newRow("same label on two pages")
        << false << "APN"
        << QStringList{QStringLiteral("APN — Точка доступа (Связь)"),
                       QStringLiteral("APN — Точка доступа (копия) (Трекинг)")}
        << QList<int>{1, 2, 0};
    QTest::newRow("simple, е for ё")
        << true << QStringLiteral("счетчик") << QStringList{QStringLiteral("Счётчик — Трекинг")}
        << QList<int>{1, 1};
}

void test_comforts::search()
{
    QFETCH(bool, simple);
    QFETCH(QString, query);
    QFETCH(QList<int>, last);
    tracker_session s;
    QVERIFY2(s.start(simple), qPrintable(s.error()));
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

    results->setCurrentRow(results->count() - 1);
    QTest::keyClick(results, Qt::Key_Return);
    const t_page& page = s.pages().page_list[last[0]];
    QCOMPARE(s.pages().tab_widget->currentIndex(), last[0]);
    QCOMPARE(QApplication::focusWidget(), simple
                                              ? page.parameters[last[1]]->widget
                                              : page.commands[last[1]].parameters[last[2]].widget);
}

void test_comforts::log_saved_and_capped()
{
    tracker_session s;
    QVERIFY2(s.start_without_tracker(false), qPrintable(s.error()));
    s.window().set_status_text(QStringLiteral("Пароль неверный: ё"));
    log_path = QDir::current().filePath(QStringLiteral("журнал.txt"));
    s.trigger("actionSaveLog");
    QFile file(log_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // The lines shown, oldest first, each with its date.
    QStringList saved = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(saved.takeLast(), QString());
    std::reverse(saved.begin(), saved.end());
    const QRegularExpression stamp("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] ");
    QCOMPARE(saved.replaceInStrings(stamp, ""), s.log());

    log_path = QDir::current().filePath("no-such-folder/log.txt");
    s.trigger("actionSaveLog");
    QCOMPARE(s.boxes().size(), 1);
    QVERIFY(s.boxes().first().startsWith(QStringLiteral("Журнал не сохранён: ")));

    for (int i = 0; i < 10000; ++i)
        s.window().set_status_text(QString::number(i));
    const QStringList kept = s.log();
    QCOMPARE(kept.size(), 10000);
    QCOMPARE(kept.first(), QStringLiteral("9999"));
    QCOMPARE(kept.last(), QStringLiteral("0"));
}

// Automatic connection finds no port, so the window waits for one. When one appears, another
// program holds it, and the log says so once.
void test_comforts::port_waited_for_then_busy()
{
    presented_ports.clear();
    tracker_session s;
    QVERIFY2(s.start_without_tracker(false, true), qPrintable(s.error()));
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
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("advice");

    QTest::newRow("no rights")
        << "Can't open ttyACM0, error code 2"
        << QStringList{
               QStringLiteral("Нет прав на порт ttyACM0: открыть его могут только члены группы "
                              "«dialout»."),
               QStringLiteral(
                   "Добавьте себя в эту группу командой: sudo usermod -aG dialout $USER"),
               QStringLiteral("Затем выйдите из системы и войдите снова: членство в группе "
                              "действует только с нового входа.")};
    QTest::newRow("absent device") << "Can't open ttyACM0, error code 1" << QStringList();
    QTest::newRow("another status") << "Opening port ttyACM0 (115200)" << QStringList();
}

// Tests may run as root, whom no permission stops: a fake describes the device file.
void test_comforts::open_failure_advice()
{
    QFETCH(QString, status);
    QString asked;
    const QStringList advice = ::open_failure_advice(status, [&](const QString& port) {
        asked = port;
        return port_access{true, "dialout"};
    });
    QTEST(advice, "advice");
    QCOMPARE(asked, advice.isEmpty() ? QString() : QStringLiteral("ttyACM0"));
}

QTEST_MAIN(test_comforts)
#include "test_comforts.moc"
