#pragma once

#include <QString>

class QUrl;
class QWidget;

// Everything the window asks of the person in front of it or of the desktop
// goes through here, so that the window can run without either (tests put
// their own implementation in).
class UserInteraction
{
public:
    virtual ~UserInteraction();

    // A modal message box with a single Ok button.
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void warning(QWidget *parent, const QString &title, const QString &text) = 0;

    // Hands url to the desktop's handler for it (file manager, viewer);
    // false when no handler took it.
    virtual bool openUrl(const QUrl &url) = 0;
};

class DesktopInteraction : public UserInteraction
{
public:
    void information(QWidget *parent, const QString &title, const QString &text) override;
    void warning(QWidget *parent, const QString &title, const QString &text) override;
    bool openUrl(const QUrl &url) override;
};
