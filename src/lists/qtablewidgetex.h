#pragma once

#include <QTableWidget>

// A QTableWidget that also announces every press, release and double click
// of the left and the right mouse button as a signal of its own. Each event
// then goes on to the base class, so selection and editing behave as in a
// plain table.
class QTableWidgetEx : public QTableWidget
{
    Q_OBJECT

public:
    explicit QTableWidgetEx(QWidget *parent = nullptr);

signals:
    void mouseLeftReleased();
    void mouseRightReleased();
    void mouseLeftPressd();
    void mouseRightPressd();
    void mouseLeftDoubled();
    void mouseRightDoubled();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
