#include "tab_xml_widget.h"

#include <QTabWidget>
#include <QVBoxLayout>

tab_xml_widget::tab_xml_widget(QWidget* parent, const QString&, bool simple_mode)
    : QWidget(parent), tab_widget(new QTabWidget(this)), is_simple_mode(simple_mode)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tab_widget);
}

void tab_xml_widget::set_pages_enabled(bool) {}
