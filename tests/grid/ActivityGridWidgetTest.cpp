// The activity grid widget on the offscreen platform, driven by mouse and
// keyboard like a user: editing into the file, refused edits, check boxes,
// sorting and moving by the headers, and the customization window.

#include "grid/ActivityGrid.h"
#include "grid/ActivityGridLayout.h"
#include "grid/CustomizationWindow.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"

#include <QDateTime>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace orvane;
using namespace orvane::grid;
using orvane::store::logColumn;
using orvane::testing::insertRow;
using orvane::testing::readValue;
using orvane::testing::TempWorkDir;

class ActivityGridWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void paintsBandsHeadersAndRows();
    void typingIntoALogCellPostsToTheFile();
    void readOnlyColumnsRefuseTyping();
    void tabMovesBetweenCells();
    void startColumnsShowWholeCaptionsAndValues();
    void numberTooWideIsNotDrawnBlank();
    void checkBoxClickTogglesFlagInTheFile();
    void headerClickSortsAndRowKeysInsertNothing();
    void headerDragMovesWithinItsBandAndAwayHides();
    void customizationWindowPagesAndLifetime();
    void droppedColumnKeepsItsPlaceWithinItsOwnBand();
    void anEditInProgressSurvivesRowsArriving();
    void filterButtonReportsItsColumnInsteadOfSorting();

private:
    QPoint cellCenter(int viewRow, int columnId) { return grid->view().cellRect(viewRow, columnId).center(); }
    QWidget* viewport() { return grid->view().viewport(); }
    int viewRowOf(const QString& id)
    {
        for (int v = 0; v < grid->model().rowCount(); ++v)
            if (grid->model().displayText(v, 0) == id)
                return v;
        return -1;
    }

    std::unique_ptr<TempWorkDir> dir;
    std::unique_ptr<store::ActivityStore> db;
    std::unique_ptr<ActivityGrid> grid;
};

void ActivityGridWidgetTest::init()
{
    dir = std::make_unique<TempWorkDir>();
    const QDateTime day(QDate(2026, 5, 4), QTime(0, 0));
    insertRow({{"ActivityID", "C300"}, {"Description", "third"}, {"EarlyFinish", day.addDays(3)}, {"Flag", false}});
    insertRow({{"ActivityID", "A100"}, {"Description", "first"}, {"EarlyFinish", day.addDays(1)},
               {"Log#1", "old line"}, {"OriginalDuration", 5.0}, {"Flag", false}});
    insertRow({{"ActivityID", "B200"}, {"Description", "second"}, {"EarlyFinish", day.addDays(2)}, {"Flag", true}});
    db = std::make_unique<store::ActivityStore>();
    db->openAtStartup([](const QString& m) { QFAIL(qPrintable(m)); });
    grid = std::make_unique<ActivityGrid>(db->taActivities);
    grid->resize(1000, 400);
    grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
}

void ActivityGridWidgetTest::cleanup()
{
    grid.reset();
    db.reset();
    dir.reset();
}

void ActivityGridWidgetTest::paintsBandsHeadersAndRows()
{
    GridView& view = grid->view();
    // Band headers sit side by side: left fixed, scrolling, right fixed at the edge.
    const QRect info = view.bandHeaderRect(kInfoBand), logs = view.bandHeaderRect(kLogBand),
                flag = view.bandHeaderRect(kFlagBand);
    QCOMPARE(info.width(), 417);
    QCOMPARE(logs.left(), info.right() + 1);
    QCOMPARE(flag.right(), viewport()->width() - 1);
    QCOMPARE(flag.width(), 22);
    // Scrolling moves the log band only.
    view.horizontalScrollBar()->setValue(300);
    QCOMPARE(view.bandHeaderRect(kInfoBand), info);
    QCOMPARE(view.bandHeaderRect(kLogBand).left(), logs.left() - 300);
    QCOMPARE(view.bandHeaderRect(kFlagBand), flag);
    QCOMPARE(view.columnAt(QPoint(info.left() + 5, view.headerHeight() + 2)), 0);
    QCOMPARE(view.columnAt(QPoint(flag.left() + 5, view.headerHeight() + 2)), int(store::kFlagColumn));
    view.horizontalScrollBar()->setValue(0);

    // Rows in EarlyFinish order; the picture is not blank where the text is.
    QCOMPARE(grid->model().displayText(0, 0), QStringLiteral("A100"));
    const QImage shot = grid->grab().toImage();
    const QRect cell = view.cellRect(0, 1).translated(viewport()->mapTo(grid.get(), QPoint(0, 0)));
    bool ink = false;
    for (int x = cell.left() + 2; x < cell.right() && !ink; ++x)
        for (int y = cell.top() + 2; y < cell.bottom() && !ink; ++y)
            ink = qGray(shot.pixel(x, y)) < 128;
    QVERIFY2(ink, "the Description cell of the first row shows text");
}

void ActivityGridWidgetTest::typingIntoALogCellPostsToTheFile()
{
    const int row = viewRowOf("A100");
    const int log2 = logColumn(2);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, log2));
    QCOMPARE(grid->view().focusedColumn(), log2);
    QCOMPARE(db->taActivities.fieldValue(0).toString(), QStringLiteral("A100"));
    QTest::keyClicks(&grid->view(), "poured");
    QVERIFY(grid->view().isEditing());
    // Keys the editor ignores (modifiers on their own) neither loop nor type.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Shift);
    QTest::keyClick(&grid->view(), Qt::Key_Control);
    QVERIFY(grid->view().isEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!grid->view().isEditing());
    QCOMPARE(readValue("A100", "Log#2").toString(), QStringLiteral("poured"));

    // F2 edits the existing text; Escape drops the change.
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, logColumn(1)));
    QTest::keyClick(&grid->view(), Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("old line"));
    QTest::keyClicks(editor, "x");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(readValue("A100", "Log#1").toString(), QStringLiteral("old line"));

    // Description is editable too; leaving the cell posts.
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, 1));
    QTest::keyClicks(&grid->view(), "Pour slab");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(readValue("A100", "Description").toString(), QStringLiteral("Pour slab"));
}

// Tab and Shift+Tab move between cells, also out of an open editor (posting
// it), as in spreadsheet grids; they never leave the grid.
void ActivityGridWidgetTest::tabMovesBetweenCells()
{
    auto* neighbour = new QLineEdit(grid.get());   // a next widget Tab could jump to
    neighbour->show();
    const int row = viewRowOf("A100");
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, logColumn(1)));
    QCOMPARE(grid->view().focusedColumn(), logColumn(1));
    QTest::keyClick(&grid->view(), Qt::Key_Tab);
    QCOMPARE(grid->view().focusedColumn(), logColumn(2));
    QCOMPARE(QApplication::focusWidget(), &grid->view());
    QTest::keyClick(&grid->view(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(grid->view().focusedColumn(), logColumn(1));

    QTest::keyClicks(&grid->view(), "typed");
    QVERIFY(grid->view().isEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(!grid->view().isEditing());
    QCOMPARE(grid->view().focusedColumn(), logColumn(2));
    QCOMPARE(readValue("A100", "Log#1").toString(), QStringLiteral("typed"));
}

// At start the identity, duration, date, percent and calendar columns hold
// their whole values in the window's font.
void ActivityGridWidgetTest::startColumnsShowWholeCaptionsAndValues()
{
    QTRY_VERIFY(grid->model().rowCount() == 3);
    grid->fitStartColumnsOnFirstRows();
    QCoreApplication::processEvents();
    const QFontMetrics metrics = grid->view().fontMetrics();
    for (int field : {0, 2, 3, 6, 7, 9, 27}) {
        const int width = grid->model().columnWidth(field);
        const QString caption = grid->model().columnCaption(field);
        for (int row = 0; row < grid->model().rowCount(); ++row) {
            const QString text = grid->model().displayText(row, field);
            QVERIFY2(metrics.horizontalAdvance(text) + 6 <= width, qPrintable(caption + ": " + text));
        }
    }
}

// A value in a column narrower than its text is shortened with a visible
// mark, never drawn as a blank cell.
void ActivityGridWidgetTest::numberTooWideIsNotDrawnBlank()
{
    const int row = viewRowOf("A100");
    const int field = 2;   // OriginalDuration, 5
    for (int width : {24, 8, 4}) {
        grid->model().resizeColumn(field, width);
        QCoreApplication::processEvents();
        const QRect cell = grid->view().cellRect(row, field);
        const QImage image = viewport()->grab().toImage();
        int ink = 0;
        for (int x = cell.left(); x < cell.right(); ++x)
            for (int y = cell.top() + 1; y < cell.bottom(); ++y)
                ink += qGray(image.pixel(x, y)) < 128;
        QVERIFY2(ink > 0, qPrintable(QString::number(width)));
    }
}

void ActivityGridWidgetTest::readOnlyColumnsRefuseTyping()
{
    const int row = viewRowOf("A100");
    for (int column : {0, 2, 9, 27}) {
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, column));
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, cellCenter(row, column));
        QTest::keyClicks(&grid->view(), "9");
        QTest::keyClick(&grid->view(), Qt::Key_F2);
        QVERIFY2(!grid->view().isEditing(), qPrintable(store::fieldName(column)));
    }
    QCOMPARE(readValue("A100", "ActivityID").toString(), QStringLiteral("A100"));
    QCOMPARE(readValue("A100", "OriginalDuration").toDouble(), 5.0);
}

void ActivityGridWidgetTest::checkBoxClickTogglesFlagInTheFile()
{
    const int row = viewRowOf("A100");
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, store::kFlagColumn));
    QCOMPARE(readValue("A100", "Flag").toBool(), true);
    QTest::keyClick(&grid->view(), Qt::Key_Space);
    QCOMPARE(readValue("A100", "Flag").toBool(), false);
    QVERIFY(!grid->view().isEditing());
}

void ActivityGridWidgetTest::headerClickSortsAndRowKeysInsertNothing()
{
    GridView& view = grid->view();
    QStringList order;
    auto ids = [&] {
        QStringList out;
        for (int v = 0; v < grid->model().rowCount(); ++v)
            out << grid->model().displayText(v, 0);
        return out;
    };
    QCOMPARE(ids(), QStringList({"A100", "B200", "C300"}));
    const QPoint descriptionHeader = view.columnHeaderRect(1).center();
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, descriptionHeader);
    QCOMPARE(ids(), QStringList({"A100", "B200", "C300"}));   // first, second, third
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, descriptionHeader);
    QCOMPARE(ids(), QStringList({"C300", "B200", "A100"}));
    QCOMPARE(grid->model().column(1).sortOrder, SortOrder::Descending);
    QCOMPARE(grid->model().column(9).sortOrder, SortOrder::None);

    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(0, logColumn(1)));
    QTest::keyClick(&view, Qt::Key_Insert);
    QTest::keyClick(&view, Qt::Key_Delete);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Down);   // past the last row: stays
    QCOMPARE(db->taActivities.rowCount(), 3);
    QCOMPARE(grid->model().focusedRow(), 2);
}

void ActivityGridWidgetTest::headerDragMovesWithinItsBandAndAwayHides()
{
    GridView& view = grid->view();
    GridViewModel& m = grid->model();
    auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(viewport(), from + QPoint(10, 0));
        QTest::mouseMove(viewport(), to);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
    };
    // EarlyStart (7) dropped onto the left half of Description (1).
    const QRect description = view.columnHeaderRect(1);
    drag(view.columnHeaderRect(7).center(), QPoint(description.left() + 3, description.center().y()));
    QCOMPARE(m.visibleColumns(kInfoBand).mid(0, 3), QVector<int>({0, 7, 1}));

    // A log column dropped over the left band stays in its own band.
    const QVector<int> logsBefore = m.visibleColumns(kLogBand);
    drag(view.columnHeaderRect(logColumn(2)).center(), description.center());
    QCOMPARE(m.visibleColumns(kLogBand), logsBefore);
    QCOMPARE(m.column(logColumn(2)).band, kLogBand);

    // Dragged down into the rows: hidden, and offered for customization.
    drag(view.columnHeaderRect(2).center(), QPoint(view.columnHeaderRect(2).center().x(), view.headerHeight() + 100));
    QVERIFY(!m.column(2).visible);
    QVERIFY(m.customizableColumns().contains(2));

    // Sizing by the header's right edge.
    const QRect log1 = view.columnHeaderRect(logColumn(1));
    const int before = m.columnWidth(logColumn(1));
    drag(QPoint(log1.right() + 1, log1.center().y()), QPoint(log1.right() + 41, log1.center().y()));
    QCOMPARE(m.columnWidth(logColumn(1)), before + 40);
}

void ActivityGridWidgetTest::customizationWindowPagesAndLifetime()
{
    QPointer<CustomizationWindow> window = grid->openCustomization(1);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Customization"));
    QVERIFY(window->windowFlags() & Qt::Tool);
    auto* pages = window->findChild<QTabWidget*>();
    QVERIFY(pages);
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->tabText(0), QStringLiteral("Bands"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Columns"));
    QCOMPARE(pages->currentIndex(), 1);
    QStringList listed = window->columnCaptions();
    QCOMPARE(listed.size(), 40);   // 20 invisible data columns and all 20 code columns
    for (int k = 1; k <= 20; ++k)
        QVERIFY(listed.contains(QStringLiteral("ActivityCode%1").arg(k)));
    QVERIFY(!listed.contains(QStringLiteral("Description")));

    // An import's captions and hidden flags show at once.
    applyActivityCodeNames(grid->model(), {"Area"});
    listed = window->columnCaptions();
    QCOMPARE(listed.size(), 21);
    QVERIFY(listed.contains(QStringLiteral(" Area")));

    // Opening again while open only switches the page.
    pages->setCurrentIndex(0);
    QCOMPARE(grid->openCustomization(1), window.data());
    QCOMPARE(pages->currentIndex(), 1);

    // Double-clicking an entry brings the column back.
    QListWidget* list = window->columnList();
    const QList<QListWidgetItem*> found = list->findItems(QStringLiteral("TotalFloat"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    emit list->itemDoubleClicked(found.first());
    QVERIFY(grid->model().column(4).visible);
    QVERIFY(!window->columnCaptions().contains(QStringLiteral("TotalFloat")));

    // A hidden band is listed on the "Bands" page and comes back the same way.
    grid->model().setBandVisible(kLogBand, false);
    QCOMPARE(window->bandList()->count(), 1);
    QCOMPARE(window->bandList()->item(0)->text(), QStringLiteral("Log records"));
    emit window->bandList()->itemDoubleClicked(window->bandList()->item(0));
    QVERIFY(grid->model().band(kLogBand).visible);

    // Closing destroys it; the next call makes a new one.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QVERIFY(grid->openCustomization(1));
    QCOMPARE(grid->view().customizationWindow()->currentPage(), 1);
}

// What the customization window's list sends while an entry is dragged
// over the headers and dropped.
void ActivityGridWidgetTest::droppedColumnKeepsItsPlaceWithinItsOwnBand()
{
    GridView& view = grid->view();
    GridViewModel& m = grid->model();
    auto dropColumn = [&](int id, QPoint at) {
        QMimeData mime;
        mime.setData(CustomizationWindow::kColumnMime, QByteArray::number(id));
        QDragEnterEvent enter(at, Qt::MoveAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport(), &enter);
        QDragMoveEvent move(at, Qt::MoveAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport(), &move);
        if (!move.isAccepted())
            return false;
        QDropEvent drop(at, Qt::MoveAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport(), &drop);
        return true;
    };
    const QRect description = view.columnHeaderRect(1);
    // TotalFloat dropped on the left half of Description's header.
    QVERIFY(dropColumn(4, QPoint(description.left() + 4, description.center().y())));
    QVERIFY(m.column(4).visible);
    QCOMPARE(m.visibleColumns(kInfoBand).mid(0, 3), QVector<int>({0, 4, 1}));

    // A code column is refused over the log band and over the rows.
    const QRect log1 = view.columnHeaderRect(logColumn(1));
    QVERIFY(!dropColumn(28, log1.center()));
    QVERIFY(!dropColumn(28, QPoint(description.center().x(), view.headerHeight() + 30)));
    QVERIFY(!m.column(28).visible);

    // A hidden band comes back when dropped anywhere on the headers.
    m.setBandVisible(kFlagBand, false);
    QMimeData band;
    band.setData(CustomizationWindow::kBandMime, QByteArray::number(kFlagBand));
    QDropEvent drop(description.center(), Qt::MoveAction, &band, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport(), &drop);
    QVERIFY(m.band(kFlagBand).visible);
}

void ActivityGridWidgetTest::anEditInProgressSurvivesRowsArriving()
{
    grid.reset();
    db.reset();
    orvane::testing::execRaw(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO P3Data (ActivityID, EarlyFinish, Flag) "
        "SELECT 'Z' || i, strftime('%Y-%m-%dT%H:%M:%S', '2025-01-01', '+' || (i % 500) || ' days'), 0 FROM n");
    db = std::make_unique<store::ActivityStore>();
    db->openAtStartup([](const QString& m) { QFAIL(qPrintable(m)); });
    grid = std::make_unique<ActivityGrid>(db->taActivities);
    grid->resize(1000, 400);
    grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    db->taActivities.requery();   // the first rows at once, the rest from the event loop
    QVERIFY(db->taActivities.isFetching());

    const int row = viewRowOf("A100");
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(row, logColumn(3)));
    QTest::keyClicks(&grid->view(), "while loading");
    QTRY_VERIFY(!db->taActivities.isFetching());
    QCOMPARE(grid->model().rowCount(), 3003);
    QVERIFY(grid->view().isEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(readValue("A100", "Log#3").toString(), QStringLiteral("while loading"));
}

void ActivityGridWidgetTest::filterButtonReportsItsColumnInsteadOfSorting()
{
    GridView& view = grid->view();
    QVERIFY(view.filterButtonRect(logColumn(1)).isEmpty());
    view.setFilterButtonsVisible(true);
    const QRect button = view.filterButtonRect(logColumn(1));
    QVERIFY(view.columnHeaderRect(logColumn(1)).contains(button));
    QSignalSpy clicked(&view, &GridView::filterButtonClicked);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, button.center());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().at(0).toInt(), logColumn(1));
    QCOMPARE(grid->model().sortedColumns(), QVector<int>{9});
}

QTEST_MAIN(ActivityGridWidgetTest)
#include "ActivityGridWidgetTest.moc"
