#include "qtablewidgetex.h"

#include <QtTest>
#include <QtWidgets>

static const struct DataHome
{
    QTemporaryDir dir;
    DataHome() { qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit()); }
} dataHome;

class TestTableWidgetEx : public QObject
{
    Q_OBJECT

private slots:
    void oneSignalPerButtonAndKind_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("expected");
        const int press = int(QTest::MousePress), release = int(QTest::MouseRelease), dclick = int(QTest::MouseDClick);
        QTest::newRow("left press") << press << int(Qt::LeftButton) << QStringList{"mouseLeftPressd"};
        QTest::newRow("right press") << press << int(Qt::RightButton) << QStringList{"mouseRightPressd"};
        QTest::newRow("middle press") << press << int(Qt::MiddleButton) << QStringList{};
        QTest::newRow("left release") << release << int(Qt::LeftButton) << QStringList{"mouseLeftReleased"};
        QTest::newRow("right release") << release << int(Qt::RightButton) << QStringList{"mouseRightReleased"};
        QTest::newRow("left double") << dclick << int(Qt::LeftButton) << QStringList{"mouseLeftDoubled"};
        QTest::newRow("right double") << dclick << int(Qt::RightButton) << QStringList{"mouseRightDoubled"};
        QTest::newRow("middle double") << dclick << int(Qt::MiddleButton) << QStringList{};
    }
    void oneSignalPerButtonAndKind()
    {
        QFETCH(int, action);
        QFETCH(int, button);
        QFETCH(QStringList, expected);

        QTableWidgetEx table;
        table.setRowCount(3);
        table.setColumnCount(2);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));

        QStringList got;
        QObject recorder;
        auto record = [&got](const char *name) { return [&got, name] { got << name; }; };
        connect(&table, &QTableWidgetEx::mouseLeftReleased, &recorder, record("mouseLeftReleased"));
        connect(&table, &QTableWidgetEx::mouseRightReleased, &recorder, record("mouseRightReleased"));
        connect(&table, &QTableWidgetEx::mouseLeftPressd, &recorder, record("mouseLeftPressd"));
        connect(&table, &QTableWidgetEx::mouseRightPressd, &recorder, record("mouseRightPressd"));
        connect(&table, &QTableWidgetEx::mouseLeftDoubled, &recorder, record("mouseLeftDoubled"));
        connect(&table, &QTableWidgetEx::mouseRightDoubled, &recorder, record("mouseRightDoubled"));

        const QPoint cell = table.visualRect(table.model()->index(1, 1)).center();
        // What comes before the event in real use: a press before a
        // release, a click before a double click.
        if (action == int(QTest::MouseRelease))
            QTest::mousePress(table.viewport(), Qt::MouseButton(button), {}, cell);
        if (action == int(QTest::MouseDClick))
            QTest::mouseClick(table.viewport(), Qt::MouseButton(button), {}, cell);
        got.clear();
        QTest::mouseEvent(QTest::MouseAction(action), table.viewport(), Qt::MouseButton(button), {}, cell);
        QCOMPARE(got, expected);
    }

    // The events still reach the table: a left press selects the cell.
    void eventsReachTheTable()
    {
        QTableWidgetEx table;
        table.setRowCount(3);
        table.setColumnCount(2);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(table.model()->index(2, 1)).center());
        QCOMPARE(table.currentRow(), 2);
        QCOMPARE(table.currentColumn(), 1);
    }

    // The window shows its own tip when the pointer enters a cell. The tool
    // tip event that follows a moment later must not hide it for a cell
    // without a tip of its own; a cell's own tip is still shown.
    void shownTipSurvivesCellsWithoutTip()
    {
        QTableWidgetEx table;
        table.setRowCount(2);
        table.setColumnCount(1);
        table.setItem(0, 0, new QTableWidgetItem("plain"));
        table.setItem(1, 0, new QTableWidgetItem("tipped"));
        table.item(1, 0)->setToolTip("own tip");
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        auto askForTip = [&table](int row) {
            const QPoint at = table.visualRect(table.model()->index(row, 0)).center();
            QHelpEvent help(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
            QApplication::sendEvent(table.viewport(), &help);
        };

        QToolTip::showText(table.viewport()->mapToGlobal(QPoint(5, 5)), "shown by the window");
        askForTip(0);
        QTest::qWait(500); // a hidden tip goes after a short delay
        QCOMPARE(QToolTip::text(), QString("shown by the window"));
        askForTip(1);
        QTRY_COMPARE(QToolTip::text(), QString("own tip"));
    }
};

QTEST_MAIN(TestTableWidgetEx)
#include "tst_qtablewidgetex.moc"
