// Times the main window on the road a planner takes through it, at 100,000
// activities by default: every step goes through the dialogs, menus, header
// clicks and keys a person uses, sent as mouse and key events to the real
// window on the platform Orvane runs on (xcb under Xvfb here, not
// offscreen), and is timed until the grid has repainted and the normal
// cursor is back:
//
//   filter     the filter button of "Percent Complete" clicked, the value
//              "50" clicked in its drop-down; and "(All)" clicked to clear;
//   bulk       "Log# X => Log# Y" from its tool button, the numbers typed,
//              OK clicked: until the grid shows the copied log; and apart,
//              how soon the dialog is gone and the busy cursor shows;
//   sort       a click on the "Description" header;
//   drop-down  the filter button of "Description" clicked (every value
//              distinct) until the list is shown, and a search typed into it
//              until the narrowed list is shown;
//   undo       Ctrl+Z on the grid, taking the bulk command back;
//   export     Alt+A and a click on "Export to MS Excell..." (65,534 rows
//              shown, the file name answered without its dialog).
//
// Usage: xvfb-run -a -s "-screen 0 1600x1000x24" window_road_bench
//            [--activities N] [--keep DIR] [--runs N]
// Targets on a quiet machine: filter < 300 ms, bulk < 500 ms, sort < 200
// ms, drop-down < 150 ms, undo < 500 ms.

#include "WindowBenchSupport.h"

#include "filter/FilterDropDown.h"
#include "logedit/TForm2Log.h"
#include "shell/ClassicFont.h"
#include "shell/CommandTable.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace orvane;
using bench::ms;
using bench::Spread;
using shell::Command;

namespace {

// Waits as a person sees it: the command's rows all there, the grid
// repainted and on the screen, the busy cursor gone.
void untilShown(shell::TMainForm& form)
{
    bench::settle(form);
    while (QGuiApplication::overrideCursor())
        QCoreApplication::processEvents();
    QGuiApplication::sync();
}

class Road {
public:
    explicit Road(shell::TMainForm& form)
        : m_form(form), m_view(form.cxGridProject()->view()), m_model(form.cxGridProject()->model())
    {
    }

    int column(const char* field) const { return m_model.columnIdOfField(QString::fromLatin1(field)); }

    // Points at a header and clicks its filter button; the drop-down that
    // opens, shown.
    filter::FilterDropDown* clickFilterButton(int columnId)
    {
        QTest::mouseMove(m_view.viewport(), m_view.columnHeaderRect(columnId).center());
        QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, m_view.filterButtonRect(columnId).center());
        auto* dropDown = qobject_cast<filter::FilterDropDown*>(QApplication::activePopupWidget());
        if (dropDown) {
            dropDown->repaint();
            QGuiApplication::sync();
        }
        return dropDown;
    }

    // Clicks the entry with this text in an open drop-down.
    void clickEntry(filter::FilterDropDown* dropDown, const QString& text)
    {
        QListView* list = dropDown->list();
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            if (index.data().toString() != text)
                continue;
            list->scrollTo(index);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
            return;
        }
        std::fprintf(stderr, "no entry '%s'\n", qPrintable(text));
    }

    void clickHeader(int columnId)
    {
        QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, m_view.columnHeaderRect(columnId).center());
    }

    // "Log# X => Log# Y" from the tool button: the numbers typed, OK
    // clicked. Returns the time from the click on OK until the grid shows
    // the result; `gone` the time until the dialog was off the screen with
    // the busy cursor on (negative when that was never seen).
    double log2Log(int from, int to, double* gone)
    {
        logedit::TForm2Log* dialog = m_form.Form2Log();
        QElapsedTimer timer;
        *gone = -1;
        QTimer::singleShot(0, dialog, [&] {
            while (!dialog->isVisible())
                QCoreApplication::processEvents();
            for (auto [box, number] : {std::pair{dialog->SpinEdit1, from}, std::pair{dialog->SpinEdit2, to}}) {
                QTest::mouseDClick(box->findChild<QLineEdit*>(), Qt::LeftButton);
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, QString::number(number));
            }
            // Runs at the first pass over the event queue once OK is clicked.
            QTimer::singleShot(0, [&] {
                const QCursor* cursor = QGuiApplication::overrideCursor();
                if (!dialog->isVisible() && cursor && cursor->shape() == Qt::WaitCursor)
                    *gone = ms(timer);
            });
            timer.start();
            QTest::mouseClick(dialog->OkBtn, Qt::LeftButton);
        });
        QTest::mouseClick(m_form.tbarMain()->widgetForAction(m_form.toolAction(Command::Log2Log)), Qt::LeftButton);
        untilShown(m_form);
        return ms(timer);
    }

    void pressOnGrid(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        activate();
        QTest::keyClick(&m_view, key, modifiers);
    }

    void activate()
    {
        if (m_form.isActiveWindow())
            return;
        m_form.activateWindow();
        if (!QTest::qWaitForWindowActive(&m_form))
            std::fprintf(stderr, "the window could not be activated\n");
    }

    // Alt and the menu's letter, then a click on the command's item (the
    // menu runs its own loop meanwhile). Returns the time from the click
    // until the grid is shown again with the normal cursor.
    double fromMenu(Qt::Key letter, Command command)
    {
        // Without a window manager nothing gives the window back its
        // activation after a pop-up; the keys need it.
        activate();
        // A menu button pressed by its letter stays down a moment after its
        // menu closed, and takes no letter meanwhile.
        QTest::qWait(200);
        QElapsedTimer timer;
        bool clicked = false;
        QTimer::singleShot(0, &m_form, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            timer.start();
            clicked = true;
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(m_form.menuAction(command)).center());
        });
        QTest::keyClick(&m_view, letter, Qt::AltModifier);
        untilShown(m_form);
        if (!clicked)
            std::fprintf(stderr, "no menu opened\n");
        return clicked ? ms(timer) : -1;
    }

private:
    shell::TMainForm& m_form;
    grid::GridView& m_view;
    grid::GridViewModel& m_model;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);   // each figure as it comes
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--prepare"))
        return bench::prepareDatabase(args[1], args[2]);
    shell::applyClassicFont();
    QTemporaryDir temp;
    const std::optional<bench::WindowBenchSetup> setup = bench::setUpWindowBench(args, temp);
    if (!setup)
        return 1;
    const int runs = setup->runs;
    const QString& work = setup->work;
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));

    // Notices (the export's rows that did not fit) are counted, not shown.
    int notices = 0;
    shell::setBoxPresenter([&notices](shell::BoxKind, const QString&, const QString&) { ++notices; });

    QDir::setCurrent(work);
    shell::TAboutForm about;
    shell::TMainForm form(&about);
    form.setGeometry(40, 40, 1500, 900);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        std::fprintf(stderr, "the window could not be activated\n");
    untilShown(form);
    grid::GridViewModel& model = form.cxGridProject()->model();
    form.cxGridProject()->view().setFocus();
    std::printf("%d activities in the grid\n", model.rowCount());
    Road road(form);
    const int percent = road.column("PercentComplete");
    const int description = road.column("Description");

    Spread applyFilter, clearFilter;
    int filteredRows = 0;
    for (int i = 0; i < runs; ++i) {
        filter::FilterDropDown* dropDown = road.clickFilterButton(percent);
        if (!dropDown)
            return 1;
        QElapsedTimer t;
        t.start();
        road.clickEntry(dropDown, QStringLiteral("50"));
        untilShown(form);
        applyFilter.add(ms(t));
        filteredRows = model.rowCount();
        dropDown = road.clickFilterButton(percent);
        if (!dropDown)
            return 1;
        t.start();
        road.clickEntry(dropDown, QStringLiteral("(All)"));
        untilShown(form);
        clearFilter.add(ms(t));
    }
    std::printf("filter Percent Complete = 50: %d of %d rows\n", filteredRows, model.rowCount());
    applyFilter.print("filter: value clicked in the drop-down", 300);
    clearFilter.print("filter: (All) clicked", 300);

    Spread bulk, gone, undo;
    for (int i = 0; i < runs; ++i) {
        double dialogGone = -1;
        bulk.add(road.log2Log(1, 40, &dialogGone));
        gone.add(dialogGone);
        QElapsedTimer t;
        t.start();
        road.pressOnGrid(Qt::Key_Z, Qt::ControlModifier);
        untilShown(form);
        undo.add(ms(t));
    }
    std::printf("bulk command: %s\n", qPrintable(form.statusPanel(2)->text()));
    bulk.print("bulk: OK clicked until the grid shows it", 500);
    gone.print("  dialog gone, busy cursor shown after", 100);
    undo.print("undo: Ctrl+Z until the grid shows it", 500);

    Spread sort;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        road.clickHeader(description);
        untilShown(form);
        sort.add(ms(t));
    }
    sort.print("sort: Description header clicked", 200);

    Spread open, search;
    int entries = 0, found = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        filter::FilterDropDown* dropDown = road.clickFilterButton(description);
        open.add(ms(t));
        if (!dropDown)
            return 1;
        entries = dropDown->list()->model()->rowCount();
        t.start();
        QTest::keyClicks(dropDown, QStringLiteral("B%1").arg(1234 + i, 5, 10, QLatin1Char('0')));
        dropDown->repaint();
        QGuiApplication::sync();
        search.add(ms(t));
        found = dropDown->list()->model()->rowCount();
        QTest::keyClick(dropDown, Qt::Key_Escape);
        QCoreApplication::processEvents();
    }
    std::printf("drop-down of Description: %d entries, %d after the search\n", entries, found);
    open.print("drop-down: filter button clicked", 150);
    search.print("drop-down: a 6-letter search typed", 150);

    {
        const int keep = std::min(65534, model.rowCount());
        model.applyTableFilter(QStringLiteral("[ActivityID] <= 'B%1'").arg(keep - 1, 6, 10, QLatin1Char('0')), true);
        untilShown(form);
        const QString file = temp.filePath(QStringLiteral("grid.xls"));
        form.askExportFileName = [&file] { return file; };
        Spread exportTime;
        for (int i = 0; i < runs; ++i) {
            exportTime.add(road.fromMenu(Qt::Key_A, Command::Export));
        }
        std::printf("export: %d rows shown, %.1f MB, %d notices\n", model.rowCount(), QFileInfo(file).size() / 1e6,
                    notices);
        exportTime.print("export: menu item clicked", 300);
    }
    return 0;
}
