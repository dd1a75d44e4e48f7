#include "qtablewidgetex.h"

#include <QMouseEvent>

QTableWidgetEx::QTableWidgetEx(QWidget *parent)
    : QTableWidget(parent)
{
}

void QTableWidgetEx::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit mouseLeftPressd();
    else if (event->button() == Qt::RightButton)
        emit mouseRightPressd();
    QTableWidget::mousePressEvent(event);
}

void QTableWidgetEx::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit mouseLeftReleased();
    else if (event->button() == Qt::RightButton)
        emit mouseRightReleased();
    QTableWidget::mouseReleaseEvent(event);
}

void QTableWidgetEx::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit mouseLeftDoubled();
    else if (event->button() == Qt::RightButton)
        emit mouseRightDoubled();
    QTableWidget::mouseDoubleClickEvent(event);
}
