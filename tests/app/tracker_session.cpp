#include "tracker_session.h"

#include "mainwindow.h"
#include "settings_file.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QAction>
#include <QCommandLinkButton>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>

namespace {

const int timeout_ms = sim_process::default_timeout_ms;
const QString profile_path = QStringLiteral(TC_TEST_DATA "/app_profile.xml");

// Other than the profile's defaults, so that a poll shows in the inputs.
const char* const tracker_values = R"({"+APN": ["apn.tracker", "user7"], "+GSM": ["3", "0"],
    "+ROAM": ["0"], "+PIN": ["1111"], "+TRACK": ["120", "42"], "+ODO": ["5555"]})";

} // namespace

tracker_session::~tracker_session()
{
    if (!main_window)
        return;
    // Edits a test leaves are dropped: closing must not wait for an answer.
    edits_question::answer = edits_answer::discard;
    main_window->close();
    if (!wait_until_closed())
        qFatal("the window did not close: its worker would outlive the test");
}

bool tracker_session::fail(const QString& message)
{
    qWarning("the session did not start: %s", qPrintable(message));
    return false;
}

bool tracker_session::start(bool simple_mode, const QStringList& sim_options)
{
    if (!enter_work_directory())
        return false;
    QFile state(sim.state_path());
    if (!state.open(QIODevice::WriteOnly) || state.write(tracker_values) <= 0)
        return fail("cannot write the tracker's values");
    state.close();
    if (!sim.start(QStringList{"--master-password", "8642"} + sim_options, profile_path))
        return fail(sim.error());
    return open_window(simple_mode, sim.port_path(), true);
}

bool tracker_session::start_without_tracker(bool simple_mode, bool auto_connect)
{
    return enter_work_directory() && open_window(simple_mode, QString(), auto_connect);
}

bool tracker_session::enter_work_directory()
{
    if (work.isValid() && QDir::setCurrent(work.path()) && QFile::copy(profile_path, "profile.xml"))
        return true;
    return fail("cannot prepare the working directory");
}

bool tracker_session::open_window(bool simple_mode, const QString& port, bool auto_connect)
{
    t_settings s;
    s.master_password = "8642";
    s.port_name = port;
    s.auto_connect = auto_connect;
    s.simple_mode = simple_mode;
    write_settings(settings_file_path(), s);

    box_recorder.emplace();
    edits_question::answer = edits_answer::cancel;
    edits_question::asked = 0;
    set_unwritten_edits_handler(
        [](QWidget*, bool, edits_kind kind, const QList<unwritten_change>&) {
            ++edits_question::asked;
            edits_question::kind = kind;
            return edits_question::answer;
        });
    main_window = std::make_unique<MainWindow>();
    main_window->show();
    return true;
}

tab_xml_widget& tracker_session::pages()
{
    return *main_window->findChild<tab_xml_widget*>();
}

QAbstractButton* tracker_session::connect_button()
{
    return main_window->findChild<QCommandLinkButton*>("commandLinkButton");
}

QAbstractButton* tracker_session::save_button()
{
    return main_window->findChild<QCommandLinkButton*>("commandLinkButton_2");
}

void tracker_session::trigger(const char* action)
{
    main_window->findChild<QAction*>(action)->trigger();
}

QStringList tracker_session::log() const
{
    QStringList lines;
    const auto* list = main_window->findChild<QListWidget*>("log_widget");
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text().section("] ", 1);
    return lines;
}

bool tracker_session::controls_enabled()
{
    const t_page& first = pages().page_list.first();
    return pages().is_simple_mode ? first.parameters.first()->widget->isEnabled()
                                  : first.commands.first().set_button->isEnabled();
}

bool tracker_session::wait_until_ready()
{
    return QTest::qWaitFor([&] { return controls_enabled(); }, timeout_ms);
}

bool tracker_session::wait_until_idle()
{
    const QString idle = QStringLiteral("Соедениться с трекером");
    return QTest::qWaitFor([&] { return connect_button()->text() == idle; }, timeout_ms);
}

bool tracker_session::wait_until_closed()
{
    return QTest::qWaitFor([&] { return !main_window->isVisible(); }, timeout_ms);
}

// The closing command is the one command that gets no answer.
bool tracker_session::replies_handled() const
{
    const sim_transcript t = sim.transcript();
    int replies = 0;
    for (const QByteArray& line : t.sent_lines())
        replies += line.contains("+RESP") ? 1 : 0;
    const int commands = t.commands().size() - t.commands().filter("AT+TEXT=").size();
    return replies >= commands && log().filter(QRegularExpression("^Result: ")).size() >= replies;
}

QStringList tracker_session::wait_for_commands(int since, int count)
{
    // A time-out fails the test; the caller's comparison then shows what did arrive.
    if (!sim.wait_for(
            [&](const sim_transcript& t) { return t.commands().size() >= since + count; }))
        QTest::qFail("the tracker received fewer commands than expected", __FILE__, __LINE__);
    else if (!QTest::qWaitFor([&] { return replies_handled(); }, timeout_ms))
        QTest::qFail("the window did not handle every reply in time", __FILE__, __LINE__);
    return sim.transcript().commands().mid(since);
}

void retype(QLineEdit* line, const QString& text)
{
    line->selectAll();
    QTest::keyClicks(line, text);
}
