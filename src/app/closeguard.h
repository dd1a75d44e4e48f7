#pragma once

#include <QObject>

#include <functional>

// Asks before a window closes while work is under way: installed on the
// window, it lets the close through only when busy() is false or confirm()
// says yes; otherwise the window stays open.
class CloseGuard : public QObject
{
    Q_OBJECT

public:
    CloseGuard(QWidget *window, std::function<bool()> busy, std::function<bool()> confirm);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool()> m_busy;
    std::function<bool()> m_confirm;
};
