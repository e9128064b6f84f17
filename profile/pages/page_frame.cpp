#include "page_frame.h"

#include "tab_xml_widget.h"

#include <QFormLayout>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

QFrame* new_frame(QWidget* parent, QFrame::Shape shape, QFrame::Shadow shadow)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}

QFormLayout* new_form(QWidget* parent)
{
    auto* form = new QFormLayout(parent);
    form->setAlignment(Qt::AlignTop);
    form->setContentsMargins(0, 0, 0, 0);
    form->setLabelAlignment(Qt::AlignRight);
    return form;
}

t_page& add_page(tab_xml_widget& owner, const QString& name, const QString& id, bool simple)
{
    auto* tab_page = new QWidget;
    auto* page_layout = new QVBoxLayout(tab_page);
    page_layout->setContentsMargins(0, 0, 0, 0);

    t_page page;
    page.id = id;
    page.name = name;
    page.scroll_area = new QScrollArea(tab_page);
    page.scroll_area->setWidgetResizable(true);
    page.scroll_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A page wider than the window scrolls rather than being cut.
    page.scroll_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    page_layout->addWidget(page.scroll_area);
    page.content = new QWidget;
    page.content_layout = new QVBoxLayout(page.content);
    page.tab_index = owner.page_list.size();
    page.is_simple = simple;
    if (simple) {
        page.form_frame = new_frame(page.content, QFrame::NoFrame, QFrame::Plain);
        page.content_layout->addWidget(page.form_frame);
        page.form_layout = new_form(page.form_frame);
    }
    owner.page_list.append(page);
    owner.tab_widget->addTab(tab_page, name);
    return owner.page_list.last();
}

void finish_page(t_page& page)
{
    page.scroll_area->setWidget(page.content);
}
