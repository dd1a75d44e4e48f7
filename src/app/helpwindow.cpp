#include "helpwindow.h"

#include "manualplaces.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QVBoxLayout>

namespace {

// The block position of a heading, kept on its contents entry.
constexpr int blockRole = Qt::UserRole;

// A heading's text without its gloss: the manual sets the English
// translation after a Chinese heading in normal weight.
QString headingTitle(const QTextBlock &block)
{
    QString title;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().fontWeight() >= QFont::DemiBold)
            title += it.fragment().text();
    }
    title = title.simplified();
    return title.isEmpty() ? block.text().simplified() : title;
}

} // namespace

HelpWindow::HelpWindow(const QUrl &manual, std::function<bool(const QUrl &)> openExternally, QWidget *parent)
    : QWidget(parent, Qt::Window), m_openExternally(std::move(openExternally))
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Korrin 说明文档"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_back = new QPushButton(tr("后退"));
    m_back->setObjectName(QStringLiteral("helpBack"));
    m_back->setShortcut(QKeySequence::Back);
    m_forward = new QPushButton(tr("前进"));
    m_forward->setObjectName(QStringLiteral("helpForward"));
    m_forward->setShortcut(QKeySequence::Forward);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("helpSearch"));
    m_search->setPlaceholderText(tr("搜索（回车查找下一个）"));
    m_search->setAccessibleName(tr("搜索"));
    m_search->setClearButtonEnabled(true);
    auto *external = new QPushButton(tr("在浏览器中打开"));
    external->setObjectName(QStringLiteral("helpOpenInBrowser"));
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("helpMessage"));

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addWidget(m_search, 1);
    bar->addWidget(m_message);
    bar->addWidget(external);

    m_contents = new QListWidget;
    m_contents->setObjectName(QStringLiteral("helpContents"));
    m_contents->setAccessibleName(tr("目录"));
    m_browser = new QTextBrowser;
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(tr("说明文档"));
    // Links out of the manual go to the desktop; the browser follows only
    // its own pages and anchors.
    m_browser->setOpenLinks(false);

    auto *split = new QSplitter;
    split->addWidget(m_contents);
    split->addWidget(m_browser);
    split->setStretchFactor(1, 1);
    split->setSizes({220, 760});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    resize(1000, 720);

    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        const QUrl page = m_browser->source();
        if (link.isRelative() || (link.isLocalFile() && link.adjusted(QUrl::RemoveFragment) == page.adjusted(QUrl::RemoveFragment)))
            m_browser->setSource(page.resolved(link));
        else if (!m_openExternally(link))
            m_message->setText(tr("没有程序能打开 %1").arg(link.toString()));
    });
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        fillContents();
        fitImages();
    });
    connect(m_contents, &QListWidget::itemActivated, this, &HelpWindow::goToHeading);
    connect(m_contents, &QListWidget::itemClicked, this, &HelpWindow::goToHeading);
    connect(m_search, &QLineEdit::returnPressed, this, [this] { findNext(m_search->text()); });
    connect(m_search, &QLineEdit::textEdited, this, [this](const QString &text) {
        // Searching as one types starts from the top each time.
        m_browser->moveCursor(QTextCursor::Start);
        findNext(text);
    });
    connect(external, &QPushButton::clicked, this, &HelpWindow::openInBrowser);

    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    m_browser->setSource(manual);
}

bool HelpWindow::findNext(const QString &text)
{
    m_message->clear();
    if (text.isEmpty())
        return false;
    if (m_browser->find(text))
        return true;
    m_browser->moveCursor(QTextCursor::Start);
    if (m_browser->find(text))
        return true;
    m_message->setText(tr("未找到"));
    return false;
}

void HelpWindow::openInBrowser()
{
    const QUrl page = m_browser->source();
    if (m_openExternally(page))
        m_message->clear();
    else
        m_message->setText(tr("没有浏览器能打开 %1").arg(page.toLocalFile()));
}

// One entry per heading below the title, indented by level.
void HelpWindow::fillContents()
{
    m_contents->clear();
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level < 2 || level > 3 || block.text().trimmed().isEmpty())
            continue;
        auto *item = new QListWidgetItem(QString(4 * (level - 2), QLatin1Char(' ')) + headingTitle(block));
        item->setData(blockRole, block.position());
        m_contents->addItem(item);
    }
}

// The style sheet's max-width for images is not understood by the text
// browser: pictures wider than the page are drawn smaller instead of
// making the page scroll sideways.
void HelpWindow::fitImages()
{
    // The page keeps a margin on either side of its column.
    const int room = qMax(320, m_browser->viewport()->width() - 90);
    QTextDocument *document = m_browser->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            if (!image.isValid())
                continue;
            const QVariant resource = document->resource(QTextDocument::ImageResource, QUrl(image.name()));
            const QImage picture = resource.value<QImage>();
            const QSize size = picture.isNull() ? resource.value<QPixmap>().size() : picture.size();
            if (size.isEmpty())
                continue;
            const int width = qMin(size.width(), room);
            if (qFuzzyCompare(image.width(), qreal(width)))
                continue;
            image.setWidth(width);
            image.setHeight(qreal(size.height()) * width / size.width());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    cursor.endEditBlock();
}

void HelpWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitImages();
}

void HelpWindow::goToHeading(QListWidgetItem *item)
{
    const QTextBlock block = m_browser->document()->findBlock(item->data(blockRole).toInt());
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    m_browser->setTextCursor(cursor);
    const QRectF where = m_browser->document()->documentLayout()->blockBoundingRect(block);
    m_browser->verticalScrollBar()->setValue(int(where.top()));
}

QString showManual(QWidget *parent, const QStringList &places, const std::function<bool(const QUrl &)> &openExternally)
{
    if (places.isEmpty())
        return openFirstManual(places, [](const QString &) { return false; });
    // help.chm belongs to a viewer of its own.
    const QString chm = places.first();
    if (QFileInfo(chm).isFile() && openExternally(QUrl::fromLocalFile(chm)))
        return QString();
    for (const QString &page : places.mid(1)) {
        if (!QFileInfo(page).isFile())
            continue;
        HelpWindow *window = parent ? parent->findChild<HelpWindow *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
        if (!window) {
            window = new HelpWindow(QUrl::fromLocalFile(page), openExternally, parent);
            window->show();
        } else {
            window->showNormal();
        }
        window->raise();
        window->activateWindow();
        return QString();
    }
    return openFirstManual(places, [](const QString &) { return false; });
}
