#pragma once

#include "objectmodel.h"

#include <QString>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace Excel {

enum class FileSignature;
struct OpenedFile;

class Workbooks
{
public:
    Workbooks();
    ~Workbooks();
    Workbooks(const Workbooks &) = delete;
    Workbooks &operator=(const Workbooks &) = delete;

    // Opens the workbook at filename, choosing the file format by content
    // (a zip package is Office Open XML, a compound file is BIFF8). None when
    // the file cannot be opened; lastError() says why.
    Workbook *Open(const QString &filename);
    // The same, read from a descriptor the caller holds open on filename
    // (its status as fstat gave it), so that the file is not opened again
    // and what is read is the file the caller holds, whatever the name
    // leads to meanwhile. The descriptor is duplicated, not taken.
    Workbook *Open(const QString &filename, int heldFd, const struct stat &heldStatus);

    QString lastError() const { return m_lastError; }

    // Closes every open workbook, dropping unsaved changes.
    void closeAll();

private:
    Workbook *openSniffed(const QString &filename, FileSignature signature, OpenedFile *opened, QString error);

    std::vector<std::unique_ptr<Workbook>> m_open;
    QString m_lastError;
};

// Stands in for Excel's Application. Nothing is ever shown or asked, so
// DisplayAlerts and Visible are accepted and change nothing.
class Application
{
public:
    Application();
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    void setDisplayAlerts(bool on) { m_displayAlerts = on; }
    void setVisible(bool on) { m_visible = on; }
    bool DisplayAlerts() const { return m_displayAlerts; }
    bool Visible() const { return m_visible; }

    Excel::Workbooks *Workbooks() { return &m_workbooks; }

    // Closes every workbook without saving.
    void Quit();

private:
    Excel::Workbooks m_workbooks;
    bool m_displayAlerts = true;
    bool m_visible = false;
};

// Loads the libraries an engine otherwise loads only when a file needs
// them, so that a listing of the libraries in use names them too.
void loadEngineLibraries();

} // namespace Excel
