#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class LineNumberArea;
class QPaintEvent;
class QResizeEvent;

// A plain-text editor that numbers its lines in a grey gutter at the left
// edge and highlights the line holding the cursor. The keyword panes are
// paired line by line, so the numbers are what lets the user keep them
// aligned.
class CodeEditor : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CodeEditor(QWidget *parent = nullptr);

    // The text of every line, a line being a text block (what the gutter
    // numbers), however it is wrapped on screen.
    QStringList lines() const;

    // Width the gutter needs for the current number of lines: a 3 pixel
    // margin plus one advance of "9" per decimal digit.
    int gutterWidth();

    // Paints the numbers of the blocks that intersect the event's rectangle
    // onto the gutter.
    void paintGutter(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void highlightCurrentLine();
    void updateLineNumberAreaWidth(int newBlockCount);
    void updateLineNumberArea(const QRect &rect, int dy);

private:
    LineNumberArea *lineNumberArea;
};
