// Feeds arbitrary texts to the configuration file reader. A text it refuses must say why; a text
// it accepts is written back and read again to the same commands and profile, and that reading
// writes the same text: nothing a file says changes on its way to a tracker.

#include "tracker_configuration.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool same_commands(const QList<configured_command>& a, const QList<configured_command>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).key != b.at(i).key || a.at(i).values != b.at(i).values) {
            return false;
        }
    }
    return true;
}

void ignore_messages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(ignore_messages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    tracker_configuration read;
    QString error;
    if (!parse_configuration(text, read, &error)) {
        require(!error.isEmpty() && read.commands.isEmpty());
        return 0;
    }
    const QByteArray written = configuration_json(read);
    tracker_configuration again;
    require(parse_configuration(written, again, &error));
    require(same_commands(again.commands, read.commands) && again.profile == read.profile);
    require(configuration_json(again) == written);
    return 0;
}
