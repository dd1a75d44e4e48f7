#include "codeeditor.h"
#include "linenumberarea.h"

#include <QtTest>
#include <QtWidgets>

// Nothing here should touch the user's data folder; point it elsewhere
// before the application object exists.
static const struct DataHome
{
    QTemporaryDir dir;
    DataHome() { qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit()); }
} dataHome;

class TestCodeEditor : public QObject
{
    Q_OBJECT

    static LineNumberArea *gutterOf(CodeEditor &e) { return e.findChild<LineNumberArea *>(); }
    static int digitWidth(const CodeEditor &e) { return e.fontMetrics().horizontalAdvance('9'); }

    // The gutter as it should look: grey, with the number of every block in
    // view right-aligned at the top of the block's first line (where the
    // editor puts the cursor for the block's start).
    static QImage expectedGutter(CodeEditor &e)
    {
        LineNumberArea *gutter = gutterOf(e);
        QPixmap pixmap(gutter->size());
        pixmap.fill(Qt::lightGray);
        QPainter painter(&pixmap);
        QFont font = e.font(); // same pixel size as on the screen, whatever the pixmap's DPI
        font.setPointSizeF(font.pointSizeF() * e.logicalDpiY() / pixmap.logicalDpiY());
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (QTextBlock block = e.cursorForPosition(QPoint(0, 0)).block(); block.isValid(); block = block.next()) {
            const int top = e.cursorRect(QTextCursor(block)).top();
            if (top > gutter->height())
                break;
            painter.drawText(0, top, gutter->width(), e.fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        painter.end();
        return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void gutterWidthFollowsDigits()
    {
        CodeEditor editor;
        editor.resize(300, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto expectDigits = [&](int digits) {
            const int width = 3 + digits * digitWidth(editor);
            QCOMPARE(editor.gutterWidth(), width);
            QCOMPARE(gutterOf(editor)->width(), width);
            QCOMPARE(gutterOf(editor)->sizeHint().width(), width);
            QCOMPARE(editor.viewport()->x(), editor.contentsRect().x() + width);
        };
        expectDigits(1); // empty
        for (int i = 1; i < 9; ++i)
            QTest::keyClick(&editor, Qt::Key_Return);
        QCOMPARE(editor.blockCount(), 9);
        expectDigits(1);
        QTest::keyClick(&editor, Qt::Key_Return);
        expectDigits(2);
        QTest::keyClick(&editor, Qt::Key_Backspace);
        expectDigits(1);
        editor.setPlainText(QString(99, '\n'));
        expectDigits(3);
    }

    // One number per block, counted from 1 and aligned with the block's
    // first line: for a wrapped block and after scrolling too.
    void numbersMatchBlocks_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("scroll");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("top") << 40 << 0;
        QTest::newRow("scrolled") << 40 << 9;
    }
    void numbersMatchBlocks()
    {
        QFETCH(int, lineCount);
        QFETCH(int, scroll);
        CodeEditor editor;
        editor.resize(200, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QStringList lines;
        for (int i = 0; i < lineCount; ++i)
            lines << (i == 2 ? QString("wrapped ").repeated(4) : QString("x"));
        editor.setPlainText(lines.join('\n'));
        editor.verticalScrollBar()->setValue(scroll);
        QCoreApplication::processEvents();
        if (lineCount > 0)
            QVERIFY(editor.cursorForPosition(QPoint(0, 0)).block().blockNumber() >= scroll / 3);
        QCOMPARE(gutterOf(editor)->grab().toImage().convertToFormat(QImage::Format_RGB32), expectedGutter(editor));
    }

    void currentLineHighlight()
    {
        CodeEditor editor;
        editor.setPlainText("one\ntwo\nthree");
        QTextCursor cursor = editor.textCursor();
        cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor);
        editor.setTextCursor(cursor);

        QCOMPARE(editor.extraSelections().size(), 1);
        const QTextEdit::ExtraSelection line = editor.extraSelections().first();
        QCOMPARE(line.format.background().color(), QColor(Qt::yellow).lighter(160));
        QVERIFY(line.format.property(QTextFormat::FullWidthSelection).toBool());
        QVERIFY(!line.cursor.hasSelection());
        QCOMPARE(line.cursor.position(), cursor.position());

        // Read-only: no highlight at once, nor after the cursor moves.
        editor.setReadOnly(true);
        QVERIFY(editor.extraSelections().isEmpty());
        editor.moveCursor(QTextCursor::End);
        QVERIFY(editor.extraSelections().isEmpty());
        editor.setReadOnly(false);
        QCOMPARE(editor.extraSelections().size(), 1);
    }
};

QTEST_MAIN(TestCodeEditor)
#include "tst_codeeditor.moc"
