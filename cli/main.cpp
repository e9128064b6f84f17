#include "cli_app.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char* argv[])
{
#ifdef SIGPIPE
    // A reader that goes away (tracker-cli watch | head) must not kill the tool before it has
    // switched the stream off and closed its links: the failed write tells it instead.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tracker-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TC_VERSION));
    return run_tool(app.arguments().mid(1));
}
