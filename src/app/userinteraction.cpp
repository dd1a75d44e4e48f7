#include "userinteraction.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

UserInteraction::~UserInteraction() = default;

void DesktopInteraction::information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void DesktopInteraction::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool DesktopInteraction::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
