#include "p3link/WindowOperationView.h"

#include "grid/GridViewModel.h"
#include "store/ActivityTable.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>

namespace orvane::p3link {

QString CurrentProjectGroup;
QString CurrentProjectName;

WindowOperationView::~WindowOperationView()
{
    while (m_busy > 0)
        endBusy();
    if (m_detached) {
        try {
            reattachGrid();
        } catch (...) {
            // Nothing may leave a destructor; the grid is linked again all the same.
        }
    }
}

void WindowOperationView::showProject(const QString& caption, const QString& folder)
{
    if (!m_previousProject)
        m_previousProject.emplace(m_parts.window ? m_parts.window->windowTitle() : QString(),
                                  m_parts.statusPanel1 ? m_parts.statusPanel1->text() : QString());
    if (m_parts.window)
        m_parts.window->setWindowTitle(caption);
    if (m_parts.statusPanel1)
        m_parts.statusPanel1->setText(QDir::toNativeSeparators(folder));
}

void WindowOperationView::restoreProject()
{
    if (!m_previousProject)
        return;
    const auto [caption, folder] = *m_previousProject;
    m_previousProject.reset();
    if (m_parts.window)
        m_parts.window->setWindowTitle(caption);
    if (m_parts.statusPanel1)
        m_parts.statusPanel1->setText(folder);
}

void WindowOperationView::beginBusy()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_busy;
    QCoreApplication::processEvents();
}

void WindowOperationView::endBusy()
{
    if (m_busy == 0)
        return;
    --m_busy;
    QApplication::restoreOverrideCursor();
}

void WindowOperationView::showCodeColumn(int column, const QString& name)
{
    if (!m_parts.grid)
        return;
    m_parts.grid->setColumnCaption(column, QStringLiteral(" ") + name);
    m_parts.grid->setColumnHidden(column, false);
}

void WindowOperationView::hideCodeColumn(int column)
{
    if (m_parts.grid)
        m_parts.grid->setColumnHidden(column, true);
}

void WindowOperationView::detachGrid()
{
    if (m_parts.grid && !m_detached) {
        m_parts.grid->detachDataSource();
        m_detached = true;
    }
}

void WindowOperationView::reattachGrid()
{
    if (!m_parts.grid || !m_detached)
        return;
    m_detached = false;
    // Rows appended while the table's row filter is on are all in its
    // cursor; a re-read puts the filter over them, so the grid, the export,
    // the bulk commands and the editor's moves all see the same rows.
    struct Reattach {
        grid::GridViewModel* grid;
        ~Reattach() { grid->reattachDataSource(); }
    } reattach{m_parts.grid};
    if (m_parts.table && m_parts.table->filtered())
        m_parts.table->requery();
}

void WindowOperationView::showProgress(int maximum)
{
    if (!m_parts.progressBar)
        return;
    m_parts.progressBar->setRange(0, std::max(maximum, 0));
    m_parts.progressBar->setValue(0);
    m_parts.progressBar->show();
}

void WindowOperationView::setProgress(int position)
{
    if (m_parts.progressBar)
        m_parts.progressBar->setValue(position);
}

void WindowOperationView::hideProgress()
{
    if (m_parts.progressBar)
        m_parts.progressBar->hide();
}

void WindowOperationView::setStatus(const QString& text)
{
    if (m_parts.statusPanel0)
        m_parts.statusPanel0->setText(text);
}

void WindowOperationView::showErrorList(const QStringList& lines)
{
    if (m_parts.showErrorList)
        m_parts.showErrorList(lines);
}

void WindowOperationView::showInformation(const QString& text)
{
    if (m_parts.showInformation)
        m_parts.showInformation(text);
}

void WindowOperationView::countActivities(int count)
{
    if (m_parts.countActivities)
        m_parts.countActivities(count);
}

} // namespace orvane::p3link

namespace orvane::p3link {

bool WindowOperationView::confirmDropChanges(const QString& question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Get logs from P3"), question,
                    QMessageBox::Yes | QMessageBox::No, m_parts.window);
    box.setObjectName(QStringLiteral("DropChangesQuestion"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace orvane::p3link
