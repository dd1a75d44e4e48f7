#pragma once

#include <QWidget>

class CodeEditor;

// The gutter of a CodeEditor. It holds no state: its size and its painting
// come from the editor it belongs to.
class LineNumberArea : public QWidget
{
    Q_OBJECT

public:
    explicit LineNumberArea(CodeEditor *editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CodeEditor *codeEditor;
};
