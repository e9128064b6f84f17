#include "link_indicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

link_indicator::link_indicator(QWidget* parent)
    : QWidget(parent), label(new QLabel(this)), bar(new QProgressBar(this))
{
    label->setObjectName(QStringLiteral("link_indicator_text"));
    bar->setTextVisible(false);
    bar->setMaximumWidth(120);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(label);
    show_state(link_session::state::idle, {}, {});
}

void link_indicator::show_state(link_session::state state, link_session::progress reads,
                                link_session::progress writes)
{
    const view shown = view_of(state, reads, writes);
    label->setText(shown.text);
    bar->setVisible(shown.progress.total > 0);
    bar->setRange(0, shown.progress.total);
    bar->setValue(shown.progress.done);
}

// A write under way says more than a read beside it: the user pressed Save.
link_indicator::view link_indicator::view_of(link_session::state state,
                                             link_session::progress reads,
                                             link_session::progress writes)
{
    using s = link_session::state;
    switch (state) {
    case s::idle:
        return {QStringLiteral("Нет связи"), {}};
    case s::opening:
        return {QStringLiteral("Открытие порта"), {}};
    case s::handshake:
        return {QStringLiteral("Установка связи"), {}};
    case s::lost:
        return {QStringLiteral("Связь потеряна"), {}};
    case s::stopping:
        return {QStringLiteral("Разрыв связи"), {}};
    case s::ready:
        break;
    }
    if (writes.running())
        return {QStringLiteral("Запись %1 из %2").arg(writes.done + 1).arg(writes.total), writes};
    if (reads.running())
        return {QStringLiteral("Чтение %1 из %2").arg(reads.done + 1).arg(reads.total), reads};
    return {QStringLiteral("Готов"), {}};
}
