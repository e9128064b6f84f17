#include "cli_app.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tracker-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TC_VERSION));
    return run_tool(app.arguments().mid(1));
}
