#pragma once

#include <QString>

class QWidget;
class tab_xml_widget;

// The window's configuration files: the pages saved to a file, and a file loaded through the
// comparison dialog. The file dialogs open in the folder used last, which the program's settings
// keep. Every failure is told to the user in a box.

// The path written; empty when the user cancelled or the file could not be written.
// The name offered carries the tracker's identity (its IMEI, say) when it is known.
QString save_pages_to_file(QWidget* parent, const tab_xml_widget& pages,
                           const QString& profile_name, const QString& identity);

// True when the user applied rows of the file to the pages.
bool load_file_into_pages(QWidget* parent, tab_xml_widget& pages);
