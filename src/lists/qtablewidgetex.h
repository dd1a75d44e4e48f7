#pragma once

#include <QTableWidget>

// A QTableWidget that also announces every press, release and double click
// of the left and the right mouse button as a signal of its own. Each event
// then goes on to the base class, so selection and editing behave as in a
// plain table. A tip shown while the pointer rests on a cell that has no
// tool tip of its own stays up.
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
    // The window shows a tip of its own when the pointer enters a cell. A
    // moment later the table is asked for the cell's tool tip, and answering
    // with a cell's empty tip would hide the window's again; so a cell
    // without a tip of its own leaves that question unanswered.
    bool viewportEvent(QEvent *event) override;
};
