#pragma once

class QCoreApplication;

// Qt's own Russian texts for its standard dialogs and buttons ("Отмена", "Папка:"), from the
// system's Qt translations. The interface is Russian whatever the system's language, so these
// are too. False when the catalog is not installed: the standard texts then stay English.
bool install_qt_translations(QCoreApplication& app);
