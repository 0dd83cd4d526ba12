#pragma once

#include <QWidget>

#include <initializer_list>

// Sets the keyboard focus order of the widgets to the order given.
inline void chainTabOrder(std::initializer_list<QWidget*> widgets)
{
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}
