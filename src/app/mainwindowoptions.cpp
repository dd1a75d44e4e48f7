#include "mainwindow.h"

#include "settings.h"
#include "ui_mainwindow.h"

namespace {

const QString setGroup = QStringLiteral("set");

// Stored words for the first four items of the sheet box.
const QString sheetWords[] = {QStringLiteral("Default"), QStringLiteral("First"),
                              QStringLiteral("Last"), QStringLiteral("All")};

// A stored number; text that is no decimal number counts as 0.
int storedNumber(const QString &text)
{
    return text.toInt(nullptr, 10);
}

QString storedFlag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

// Values that name no tab or no item are ignored, so a damaged or foreign
// file can never leave a control without a current entry.
void MainWindow::restoreOptions()
{
    const auto read = [this](const QString &key, const QString &defaultValue) {
        return readSetting(configPath, setGroup, key, defaultValue);
    };

    const int way = storedNumber(read(QStringLiteral("way"), QString()));
    if (way >= 0 && way < ui->tabWidget_1->count())
        ui->tabWidget_1->setCurrentIndex(way);

    ui->lineEdit_Separator->setText(read(QStringLiteral("separator"), QStringLiteral("|")));

    const int key = storedNumber(read(QStringLiteral("key"), QStringLiteral("1")));
    if (key == 0)
        ui->radioButton_position->setChecked(true);
    else if (key == 1)
        ui->radioButton_key->setChecked(true);

    // The keyword-mode options are only restored in keyword mode.
    if (ui->radioButton_key->isChecked()) {
        ui->checkBox_matchCase->setChecked(storedNumber(read(QStringLiteral("matchCase"), QStringLiteral("0"))) != 0);
        const int order = storedNumber(read(QStringLiteral("searchOrder"), QStringLiteral("0")));
        if (order >= 0 && order < ui->comboBox_searchOrder->count())
            ui->comboBox_searchOrder->setCurrentIndex(order);
        ui->checkBox_lookAt->setChecked(storedNumber(read(QStringLiteral("lookAt"), QStringLiteral("0"))) != 0);
    }

    const QString sheets = read(QStringLiteral("comIndex"), QString());
    if (sheets.isEmpty() || sheets == sheetWords[0]) {
        ui->comboBox->setCurrentIndex(0);
    } else if (sheets == sheetWords[1]) {
        ui->comboBox->setCurrentIndex(1);
    } else if (sheets == sheetWords[2]) {
        ui->comboBox->setCurrentIndex(2);
    } else if (sheets == sheetWords[3]) {
        ui->comboBox->setCurrentIndex(3);
    } else {
        // A typed sheet list: the box stays at its first item and only its
        // edit field shows the text.
        ui->comboBox->setEditable(true);
        ui->comboBox->setCurrentText(sheets);
    }

    ui->radioButton_position->setChecked(!ui->radioButton_key->isChecked());
}

void MainWindow::saveOptions()
{
    const auto write = [this](const QString &key, const QString &value) {
        writeSetting(configPath, setGroup, key, value);
    };

    write(QStringLiteral("way"), QString::number(ui->tabWidget_1->currentIndex()));
    write(QStringLiteral("separator"), ui->lineEdit_Separator->text());

    // The first four items are stored by their word. An editable box (the
    // "指定表" item, or a typed list restored at start-up, which sits on
    // item 0) is stored by the text its edit field shows, which is also the
    // text a run uses.
    const QComboBox *sheetBox = ui->comboBox;
    const int sheetIndex = sheetBox->currentIndex();
    if (!sheetBox->isEditable() && sheetIndex >= 0 && sheetIndex < 4)
        write(QStringLiteral("comIndex"), sheetWords[sheetIndex]);
    else
        write(QStringLiteral("comIndex"), sheetBox->currentText());

    write(QStringLiteral("key"), storedFlag(ui->radioButton_key->isChecked()));
    write(QStringLiteral("matchCase"), storedFlag(ui->checkBox_matchCase->isChecked()));
    write(QStringLiteral("searchOrder"), QString::number(ui->comboBox_searchOrder->currentIndex()));
    write(QStringLiteral("lookAt"), storedFlag(ui->checkBox_lookAt->isChecked()));
}
