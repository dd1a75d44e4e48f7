#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTextBrowser;

// The manual shown inside Korrin, so that F1 works on a desktop without a
// browser (or where the desktop hands HTML to a text editor): the page in a
// text browser with its images, a contents list of its headings, back and
// forward, a search box, and a button that hands the page to the desktop's
// browser after all.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    // openExternally hands a URL to the desktop; false when nothing took it.
    HelpWindow(const QUrl &manual, std::function<bool(const QUrl &)> openExternally, QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }
    QListWidget *contents() const { return m_contents; }

    // Goes to the next place, after the cursor, where text occurs, from the
    // top again when there is none below; false when the page has none.
    bool findNext(const QString &text);
    // Hands the page shown to the desktop's browser.
    void openInBrowser();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fillContents();
    void fitImages();
    void goToHeading(QListWidgetItem *item);

    QTextBrowser *m_browser = nullptr;
    QListWidget *m_contents = nullptr;
    QLineEdit *m_search = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_forward = nullptr;
    QLabel *m_message = nullptr;
    std::function<bool(const QUrl &)> m_openExternally;
};

// F1: help.chm in the working directory when there is one and the desktop
// opens it; otherwise the first manual page of places that exists, in the
// help window (one per parent, raised when it is open already). Returns an
// empty text on success, else what was tried, for a box.
QString showManual(QWidget *parent, const QStringList &places, const std::function<bool(const QUrl &)> &openExternally);
