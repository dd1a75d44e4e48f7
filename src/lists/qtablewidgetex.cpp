#include "qtablewidgetex.h"

#include <QHelpEvent>
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

bool QTableWidgetEx::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const QModelIndex cell = indexAt(static_cast<QHelpEvent *>(event)->pos());
        if (cell.data(Qt::ToolTipRole).toString().isEmpty())
            return true;
    }
    return QTableWidget::viewportEvent(event);
}
