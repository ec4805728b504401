// The filter windows of the activity grid, driven through the main window on
// the offscreen platform with a real pdb.mdb: the header drop-down, the
// custom filter dialog, the filter builder with its ".flt" files, and the
// filter panel.

#include "filter/FilterDateEdit.h"
#include "filter/FilterDropDown.h"
#include "filter/FilterPanel.h"
#include "filter/FilterStream.h"
#include "filter/GridFilter.h"
#include "filter/TcxFilterDialog.h"
#include "filter/TfmFilterControlDialog.h"
#include "filter/WidestText.h"
#include "grid/ActivityGrid.h"
#include "grid/GridView.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/ActivityLayout.h"
#include "support/TempDatabase.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace orvane;
using filter::DisplayOperator;
using filter::TcxFilterDialog;
using filter::TfmFilterControlDialog;
using orvane::testing::insertRow;

namespace {

int col(const char* name)
{
    return store::fieldIndex(QString::fromLatin1(name));
}

filter::FilterDropDown* openDropDown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<filter::FilterDropDown*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

void saveShot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

int entryCount(QListView* list)
{
    return list->model()->rowCount();
}

QString entryText(QListView* list, int row)
{
    return list->model()->index(row, 0).data().toString();
}

QRect entryRect(QListView* list, int row)
{
    return list->visualRect(list->model()->index(row, 0));
}

// Whether a list entry lies wholly inside the list's visible area.
bool whollyShown(QListView* list, int row)
{
    return list->viewport()->rect().contains(entryRect(list, row));
}

} // namespace

class FilterWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_settingsDir;
    QStringList m_errors;
    std::unique_ptr<orvane::testing::TempWorkDir> m_dir;
    std::unique_ptr<shell::TAboutForm> m_about;
    std::unique_ptr<shell::TMainForm> m_form;

    filter::GridFilterLink& link() { return *m_form->gridFilter(); }
    filter::TcxDBDataFilterCriteria& criteria() { return link().criteria(); }
    store::ActivityTable& table() { return m_form->store().taActivities; }
    filter::FilterPanel& panel() { return *link().panel(); }

    QStringList shown()
    {
        grid::GridViewModel& model = m_form->cxGridProject()->model();
        QStringList ids;
        for (int row = 0; row < model.rowCount(); ++row)
            ids << model.value(row, col("ActivityID")).toString();
        ids.sort();
        return ids;
    }

    // Opens a column's value drop-down as its filter button does.
    filter::FilterDropDown* dropDownOf(int columnId)
    {
        link().openDropDown(columnId);
        return openDropDown();
    }

    void pickText(int columnId, const QString& text)
    {
        for (const auto& item : link().valueList(columnId))
            if (item.displayText == text) {
                link().run([&] { link().pick(columnId, item); });
                return;
            }
        QFAIL(qPrintable("no entry " + text));
    }

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_settingsDir.path());
        shell::setBoxPresenter([this](shell::BoxKind, const QString&, const QString& text) { m_errors << text; });
    }

    void init()
    {
        m_dir = std::make_unique<orvane::testing::TempWorkDir>();
        insertRow({{"ActivityID", "A"}, {"Log#1", "one A"}, {"OriginalDuration", 5.0},
                   {"EarlyFinish", QDateTime(QDate(2024, 5, 3), QTime(0, 0))}, {"Flag", false}});
        insertRow({{"ActivityID", "B"}, {"Log#1", "one B"}, {"Log#2", "x"}, {"OriginalDuration", 3.0},
                   {"EarlyFinish", QDateTime(QDate(2024, 5, 2), QTime(0, 0))}, {"Flag", true}});
        insertRow({{"ActivityID", "C"}, {"Log#1", "one C"}, {"Log#2", "x"}, {"OriginalDuration", 10.0},
                   {"EarlyFinish", QDateTime(QDate(2024, 5, 1), QTime(0, 0))}, {"Flag", false}});
        m_about = std::make_unique<shell::TAboutForm>();
        m_form = std::make_unique<shell::TMainForm>(m_about.get());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        table().fetchAll();
        QVERIFY(m_form->gridFilter());
    }

    void cleanup()
    {
        m_form.reset();
        m_about.reset();
        m_dir.reset();
        m_errors.clear();
    }

    void headerButtonOpensTheValueDropDownAndAPickFilters()
    {
        grid::GridView& view = m_form->cxGridProject()->view();
        QVERIFY(view.filterButtonsVisible());
        QVERIFY(panel().isHidden());   // fvNonEmpty and no conditions

        const int id = col("ActivityID");
        view.ensureVisible(0, id);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.filterButtonRect(id).center());
        filter::FilterDropDown* dropDown = openDropDown();
        QVERIFY(dropDown);
        QStringList entries;
        for (int i = 0; i < entryCount(dropDown->list()); ++i)
            entries << entryText(dropDown->list(), i);
        QCOMPARE(entries, QStringList({"(All)", "(Custom...)", "A", "B", "C"}));
        QCOMPARE(dropDown->list()->currentIndex().row(), -1);

        // Esc closes without change.
        QTest::keyClick(dropDown->list(), Qt::Key_Escape);
        QTRY_VERIFY(!openDropDown());
        QVERIFY(criteria().IsEmptyFilter());

        link().openDropDown(id);
        dropDown = openDropDown();
        QVERIFY(dropDown);
        QListView* list = dropDown->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryRect(list, 3).center());
        QTRY_VERIFY(!openDropDown());
        QCOMPARE(shown(), QStringList({"B"}));
        QCOMPARE(table().filter(), QString("(ActivityID = 'B')"));
        QVERIFY(!panel().isHidden());
        QCOMPARE(panel().textLabel()->text(), QString("(ActivityID = B)"));
        QVERIFY(panel().activeBox()->isChecked());

        // Reopened, the value of the condition is highlighted; Enter picks
        // the highlighted entry.
        link().openDropDown(id);
        dropDown = openDropDown();
        QVERIFY(dropDown);
        QCOMPARE(dropDown->list()->currentIndex().data().toString(), QString("B"));
        dropDown->list()->setCurrentIndex(dropDown->list()->model()->index(0, 0));   // "(All)"
        QTest::keyClick(dropDown->list(), Qt::Key_Return);
        QTRY_VERIFY(!openDropDown());
        QVERIFY(criteria().IsEmptyFilter());
        QCOMPARE(shown(), QStringList({"A", "B", "C"}));
        QVERIFY(panel().isHidden());
    }

    void dropDownSizeFollowsTheOptions()
    {
        link().setMaxDropDownCount(-3);
        QCOMPARE(link().maxDropDownCount(), 0);
        link().setMaxDropDownCount(3);
        filter::FilterDropDown* few = dropDownOf(col("ActivityID"));
        QVERIFY(few);
        QCOMPARE(few->list()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const int fewHeight = few->height();
        QTest::keyClick(few, Qt::Key_Escape);
        QTRY_VERIFY(!openDropDown());
        link().setMaxDropDownCount(0);
        link().DropDownWidth = 250;
        filter::FilterDropDown* all = dropDownOf(col("ActivityID"));
        QVERIFY(all);
        QCOMPARE(all->list()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(all->width(), 252);
        QVERIFY(all->height() > fewHeight);
        QTest::keyClick(all, Qt::Key_Escape);
    }

    // Every entry of the value drop-down can be seen whole and clicked, the
    // last one included, with and without a scroll bar; the list opens at its
    // top even when the highlighted entry is far down.
    void dropDownEntriesCanAllBeClicked()
    {
        for (int k = 0; k < 30; ++k)
            insertRow({{"ActivityID", QString("Z%1").arg(k, 2, 10, QLatin1Char('0'))}, {"Flag", false}});
        table().requery();
        table().fetchAll();
        const int id = col("ActivityID");
        for (int max : {0, 15}) {
            {
                filter::FilterChangeLock lock(criteria());
                criteria().ClearConditions();
            }
            link().setMaxDropDownCount(max);
            link().openDropDown(id);
            filter::FilterDropDown* dropDown = openDropDown();
            QVERIFY(dropDown);
            QListView* list = dropDown->list();
            QCOMPARE(entryCount(list), 2 + 33);
            QCOMPARE(list->verticalScrollBar()->value(), 0);
            QVERIFY(whollyShown(list, 0));
            const int last = entryCount(list) - 1;
            if (max == 0) {
                QCOMPARE(list->verticalScrollBar()->maximum(), 0);
            } else {
                // Exactly the rows shown fit: the first 15 whole, no part of a 16th.
                QVERIFY(whollyShown(list, max - 1));
                QVERIFY(!list->viewport()->rect().intersects(entryRect(list, max)));
                list->scrollToBottom();
            }
            QVERIFY(whollyShown(list, last));
            if (max == 15)
                saveShot(dropDown, "FilterDropDown-scrolled");
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryRect(list, last).center());
            QTRY_VERIFY(!openDropDown());
            QCOMPARE(table().filter(), QString("(ActivityID = 'Z29')"));
        }
        // Reopened with the last entry highlighted, the list still starts at "(All)".
        QCOMPARE(shown(), QStringList({"Z29"}));
        {
            // The condition stays, the rows come back, so the list is long.
            filter::FilterChangeLock lock(criteria());
            criteria().SetActive(false);
        }
        link().openDropDown(id);
        filter::FilterDropDown* dropDown = openDropDown();
        QVERIFY(dropDown);
        QCOMPARE(dropDown->list()->currentIndex().data().toString(), QString("Z29"));
        QCOMPARE(dropDown->list()->verticalScrollBar()->value(), 0);
        QVERIFY(whollyShown(dropDown->list(), 0));
        saveShot(dropDown, "FilterDropDown-reopened");
        QTest::keyClick(dropDown, Qt::Key_Escape);
        QTRY_VERIFY(!openDropDown());
    }

    // A list longer than its rows has a search box: typing narrows the
    // values (ignoring case) and keeps the fixed entries, Backspace widens
    // it again, Enter picks the first value found.
    void dropDownSearchNarrowsALongList()
    {
        for (int k = 0; k < 30; ++k)
            insertRow({{"ActivityID", QString("Z%1").arg(k, 2, 10, QLatin1Char('0'))}, {"Flag", false}});
        table().requery();
        table().fetchAll();
        link().setMaxDropDownCount(15);
        const int id = col("ActivityID");
        link().openDropDown(id);
        filter::FilterDropDown* dropDown = openDropDown();
        QVERIFY(dropDown);
        QVERIFY(dropDown->searchBox());
        QVERIFY(dropDown->searchBox()->isVisible());
        QVERIFY(dropDown->width() >= 180);
        QListView* list = dropDown->list();
        const auto rows = [list] {
            QStringList texts;
            for (int row = 0; row < list->model()->rowCount(); ++row)
                texts << list->model()->index(row, 0).data().toString();
            return texts;
        };
        QTest::keyClicks(dropDown, "z1");
        QCOMPARE(dropDown->searchBox()->text(), QString("z1"));
        QCOMPARE(rows(), (QStringList{"(All)", "(Custom...)", "Z10", "Z11", "Z12", "Z13", "Z14", "Z15", "Z16",
                                      "Z17", "Z18", "Z19"}));
        QTest::keyClicks(dropDown, "9");
        QCOMPARE(rows(), (QStringList{"(All)", "(Custom...)", "Z19"}));
        QTest::keyClick(dropDown, Qt::Key_Backspace);
        QCOMPARE(rows().size(), 12);
        QTest::keyClicks(dropDown, "7");
        QCOMPARE(list->currentIndex().data().toString(), QString("Z17"));
        QTest::keyClick(dropDown, Qt::Key_Return);
        QTRY_VERIFY(!openDropDown());
        QCOMPARE(table().filter(), QString("(ActivityID = 'Z17')"));

        // A short list shows whole, without a search box.
        link().setMaxDropDownCount(0);
        filter::FilterDropDown* all = dropDownOf(id);
        QVERIFY(all);
        QVERIFY(!all->searchBox());
        QTest::keyClick(all, Qt::Key_Escape);
    }

    // The mouse highlights the entry under it; Up and Down move the
    // highlight and stop at the ends of the list.
    void dropDownHighlightFollowsMouseAndKeys()
    {
        const int id = col("ActivityID");
        link().openDropDown(id);
        filter::FilterDropDown* dropDown = openDropDown();
        QVERIFY(dropDown);
        QListView* list = dropDown->list();
        QTest::mouseMove(list->viewport(), entryRect(list, 3).center());
        QTRY_COMPARE(list->currentIndex().row(), 3);
        QCOMPARE(list->currentIndex().data().toString(), QString("B"));
        QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));
        QTest::keyClick(dropDown, Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 4);
        QTest::keyClick(dropDown, Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 4);   // "C", the last entry
        for (int k = 0; k < 6; ++k)
            QTest::keyClick(dropDown, Qt::Key_Up);
        QCOMPARE(list->currentIndex().row(), 0);   // "(All)", the first
        QTest::keyClick(dropDown, Qt::Key_Down);
        QTest::keyClick(dropDown, Qt::Key_Down);
        QTest::keyClick(dropDown, Qt::Key_Enter);
        QTRY_VERIFY(!openDropDown());
        QCOMPARE(table().filter(), QString("(ActivityID = 'A')"));
    }

    // The widest of many texts, measured on a few of them, is the widest
    // that measuring all of them gives, in three fonts.
    void widestTextIsTheWidestOfAll_data()
    {
        QTest::addColumn<QStringList>("texts");
        QStringList generated;
        for (int i = 0; i < 2000; ++i)
            generated << QString("Generated activity %1").arg(i);
        QStringList sameLength;
        for (int i = 0; i < 2000; ++i)
            sameLength << QString("i%1").arg(i % 10).repeated(8);
        QTest::newRow("none") << QStringList();
        QTest::newRow("empty text") << QStringList({""});
        QTest::newRow("short wide, long narrow") << QStringList({"iiiiiiiiiiiiiiiiiiii", "WWWWW", "MMM", "..........", "l"});
        QTest::newRow("long narrow widest") << QStringList({"WW", "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii", "m"});
        QTest::newRow("one wide among many") << generated + QStringList({"WWWWWWWWWWWWWWWWW", "MMMMMMMMMMMMM"});
        QTest::newRow("one wide among many of one length") << sameLength + QStringList({"WWWWWWWWWWWWWWWW"});
        QTest::newRow("other scripts and full width")
            << QStringList({QStringLiteral("\u6f22\u5b57\u6f22"), QStringLiteral("\uff37\uff37\uff37"), "iiiiiiiii", QStringLiteral("\u0627\u0644\u0639\u0631\u0628\u064a\u0629")});
        QTest::newRow("emoji among many") << generated + QStringList({QStringLiteral("\U0001F600").repeated(12)});
        QTest::newRow("marks, pairs and emoji")
            << QStringList({QStringLiteral("e\u0301e\u0301e\u0301"), QStringLiteral("\U0001F600\U0001F600"), "iii"});
        QTest::newRow("tabs and breaks") << QStringList({"a\tb", "x\ty\tz", "a\nbbbbbbbbbbbb", "abcdefghij"});
        QTest::newRow("short entries first") << QStringList({"(All)", "(Custom...)", "(Blanks)", "(NonBlanks)", "7", "10"});
    }

    void widestTextIsTheWidestOfAll()
    {
        QFETCH(QStringList, texts);
        QFont big = QApplication::font();
        big.setPointSize(20);
        big.setBold(true);
        const QFont windowFace(QStringLiteral("Liberation Sans"), 8);
        for (const QFont& font : {QApplication::font(), big, windowFace}) {
            const QFontMetrics metrics(font);
            int widest = 0;
            for (const QString& text : texts)
                widest = std::max(widest, metrics.horizontalAdvance(text));
            QCOMPARE(filter::widestTextWidth(font, texts, 100000), widest);
            // Capped: no text is measured past the limit.
            QCOMPARE(filter::widestTextWidth(font, texts, 10), std::min(widest, 10));
        }
    }

    // The drop-down opens wide enough for its widest entry, however long the
    // other entries are, and a value wider than the screen leaves the list
    // as wide as the screen.
    void dropDownIsAsWideAsItsWidestEntry()
    {
        const int description = col("Description");
        // The widest value is not the longest.
        for (int k = 0; k < 300; ++k)
            insertRow({{"ActivityID", QString("D%1").arg(k)}, {"Description", QString("fill lift %1 til").arg(k)}});
        insertRow({{"ActivityID", "W"}, {"Description", "WWMMWWMM"}});
        table().requery();
        table().fetchAll();
        link().setMaxDropDownCount(0);
        filter::FilterDropDown* dropDown = dropDownOf(description);
        QVERIFY(dropDown);
        QListView* list = dropDown->list();
        const QFontMetrics metrics(list->font());
        int widest = 0;
        for (int row = 0; row < entryCount(list); ++row)
            widest = std::max(widest, metrics.horizontalAdvance(entryText(list, row)));
        QCOMPARE(widest, metrics.horizontalAdvance("WWMMWWMM"));
        QVERIFY2(list->viewport()->width() >= widest,
                 qPrintable(QString("%1 < %2").arg(list->viewport()->width()).arg(widest)));
        QTest::keyClick(dropDown, Qt::Key_Escape);
        QTRY_VERIFY(!openDropDown());

        insertRow({{"ActivityID", "X"}, {"Description", QString("W").repeated(5000)}});
        table().requery();
        table().fetchAll();
        dropDown = dropDownOf(description);
        QVERIFY(dropDown);
        QCOMPARE(dropDown->width(), dropDown->screen()->availableGeometry().width());
        QTest::keyClick(dropDown, Qt::Key_Escape);
    }

    // Narrow columns (the mark Flag is 22 pixels wide) have a filter button
    // too; a press on it opens their drop-down, not a resize or a sort.
    void narrowColumnsHaveAFilterButton()
    {
        grid::GridView& view = m_form->cxGridProject()->view();
        grid::GridViewModel& model = m_form->cxGridProject()->model();
        const int flag = col("Flag");
        const int remaining = col("RemainingDuration");
        model.resizeColumn(remaining, 7);
        QVERIFY(model.columnWidth(remaining) < 12);
        const int narrowWidth = model.columnWidth(remaining);
        for (int id : {flag, remaining}) {
            view.ensureVisible(0, id);
            const QRect header = view.columnHeaderRect(id);
            const QRect button = view.filterButtonRect(id);
            QVERIFY2(!button.isEmpty(), qPrintable(QString::number(header.width())));
            QVERIFY(header.contains(button));
            QTest::mouseMove(view.viewport(), button.center());
            if (id == flag)
                saveShot(m_form.get(), "Flag-filter-button");
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, button.center());
            filter::FilterDropDown* dropDown = openDropDown();
            QVERIFY(dropDown);
            QCOMPARE(entryText(dropDown->list(), 0), QString("(All)"));
            QTest::keyClick(dropDown, Qt::Key_Escape);
            QTRY_VERIFY(!openDropDown());
        }
        QCOMPARE(model.columnWidth(remaining), narrowWidth);   // a press on the button resized nothing
        // A wide header keeps its caption part for sorting.
        const int description = col("Description");
        view.ensureVisible(0, description);
        const QRect header = view.columnHeaderRect(description);
        QVERIFY(header.width() >= 28);
        QVERIFY(!view.filterButtonRect(description).contains(header.center()));
        QVERIFY(view.filterButtonRect(description).width() >= 14);
    }

    // A value that does not fit its column is refused at OK; the dialog stays
    // open and the criteria stay as they were.
    void customDialogRefusesDatesThatDoNotRead()
    {
        pickText(col("Log#2"), "x");
        const QByteArray before = filter::WriteCriteria(criteria());
        const int finish = col("EarlyFinish");
        TcxFilterDialog dialog(link(), finish);
        auto* date = qobject_cast<filter::FilterDateEdit*>(dialog.edValue1);
        QVERIFY(date);
        struct Case {
            DisplayOperator op;
            const char* text;
        } refused[] = {{DisplayOperator::Equals, "abc"},
                       {DisplayOperator::Greater, "abc"},
                       {DisplayOperator::Less, "32.13.2024"},
                       {DisplayOperator::Greater, ""},
                       {DisplayOperator::LessOrEqual, " "}};
        for (const Case& c : refused) {
            m_errors.clear();
            dialog.setOperator(1, c.op);
            dialog.setValueText(1, c.text);
            dialog.show();
            dialog.accept();
            QCOMPARE(m_errors, QStringList({"Invalid value."}));
            QVERIFY(dialog.isVisible());
            QCOMPARE(filter::WriteCriteria(criteria()), before);
        }
        // The number column refuses letters the same way.
        TcxFilterDialog number(link(), col("OriginalDuration"));
        m_errors.clear();
        number.setOperator(1, DisplayOperator::Greater);
        number.setValueText(1, "five");
        number.accept();
        QCOMPARE(m_errors, QStringList({"Invalid value."}));
        QCOMPARE(filter::WriteCriteria(criteria()), before);

        // A date that reads is taken.
        m_errors.clear();
        dialog.setOperator(1, DisplayOperator::Greater);
        date->setValue(QDateTime(QDate(2024, 5, 1), QTime(0, 0)));
        dialog.accept();
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
        QCOMPARE(shown(), QStringList({"B"}));
        QVERIFY(!panel().isHidden());
    }

    // The date box: a calendar with "Today" and "Clear"; a picked date keeps
    // the time of day the box held.
    void customDialogDateEditor()
    {
        TcxFilterDialog dialog(link(), col("EarlyFinish"));
        auto* date = qobject_cast<filter::FilterDateEdit*>(dialog.edValue1);
        QVERIFY(date);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        date->setValue(QDateTime(QDate(2024, 5, 2), QTime(8, 30)));
        QTest::mouseClick(date->dropDownButton(), Qt::LeftButton);
        QTRY_VERIFY(date->popup() && date->popup()->isVisible());
        QCOMPARE(date->todayButton()->text(), QString("Today"));
        QCOMPARE(date->clearButton()->text(), QString("Clear"));
        QCOMPARE(date->calendar()->selectedDate(), QDate(2024, 5, 2));
        saveShot(&dialog, "TcxFilterDialog-date");
        if (QWidget* popup = date->popup())
            saveShot(popup, "TcxFilterDialog-date-calendar");
        date->calendar()->setSelectedDate(QDate(2024, 5, 9));
        emit date->calendar()->clicked(QDate(2024, 5, 9));
        QVERIFY(!date->popup()->isVisible());
        QCOMPARE(date->value(), QVariant(QDateTime(QDate(2024, 5, 9), QTime(8, 30))));

        date->showPopup();
        QTest::mouseClick(date->todayButton(), Qt::LeftButton);
        QCOMPARE(date->value(), QVariant(QDateTime(QDate::currentDate(), QTime(8, 30))));
        date->showPopup();
        QTest::mouseClick(date->clearButton(), Qt::LeftButton);
        QVERIFY(date->lineEdit()->text().isEmpty());
        QVERIFY(date->value().isNull());
        dialog.reject();
    }

    void customDialogTwoConditionsJoinedByOr()
    {
        const int log1 = col("Log#1");
        {
            TcxFilterDialog dialog(link(), log1);
            QCOMPARE(dialog.windowTitle(), QString("Custom Filter"));
            QCOMPARE(dialog.lblTitle->text(), QString("Show rows where:"));
            QCOMPARE(dialog.lblColumnCaption->text(), QString("Log#1 "));
            QCOMPARE(dialog.cbOperator1->currentText(), QString("like"));
            QCOMPARE(dialog.cbOperator2->currentText(), QString());
            QStringList ops;
            for (int i = 0; i < dialog.cbOperator1->count(); ++i)
                ops << dialog.cbOperator1->itemText(i);
            QCOMPARE(ops, QStringList({"equals", "does not equal", "is less than", "is less than or equal to",
                                       "is greater than", "is greater than or equal to", "like", "not like",
                                       "is blank", "is not blank"}));
            QCOMPARE(dialog.cbOperator2->count(), 11);
            QVERIFY(dialog.rbAnd->isChecked());
            QCOMPARE(dialog.lblSingle->text(), QString("Use _ to represent any single character"));
            QCOMPARE(dialog.lblSeries->text(), QString("Use % to represent any series of characters"));
            QVERIFY(!dialog.lblSingle->isHidden());
            QCOMPARE(dialog.btnOK->text(), QString("Ok"));
            QVERIFY(dialog.btnOK->isDefault());

            dialog.setOperator(1, DisplayOperator::Equals);
            dialog.setValueText(1, "one A");
            dialog.setOperator(2, DisplayOperator::Equals);
            dialog.setValueText(2, "one C");
            dialog.rbOr->setChecked(true);
            QVERIFY(dialog.lblSingle->isHidden());
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(criteria().Root()->BoolOperatorKind(), filter::fboAnd);
        QCOMPARE(criteria().Root()->Count(), 1);
        QVERIFY(criteria().Active());
        QCOMPARE(table().filter(), QString("(([Log#1] = 'one A') OR ([Log#1] = 'one C'))"));
        QCOMPARE(shown(), QStringList({"A", "C"}));

        // Reopened it shows both with OR; OK replaces them and resets the root.
        {
            filter::FilterChangeLock lock(criteria());
            criteria().Root()->SetBoolOperatorKind(filter::fboOr);
        }
        TcxFilterDialog again(link(), log1);
        QCOMPARE(again.cbOperator1->currentText(), QString("equals"));
        QCOMPARE(qobject_cast<QLineEdit*>(again.edValue1)->text(), QString("one A"));
        QCOMPARE(again.cbOperator2->currentText(), QString("equals"));
        QCOMPARE(qobject_cast<QLineEdit*>(again.edValue2)->text(), QString("one C"));
        QVERIFY(again.rbOr->isChecked());
        again.setOperator(2, DisplayOperator::None);
        again.accept();
        QCOMPARE(criteria().Root()->BoolOperatorKind(), filter::fboAnd);
        QCOMPARE(table().filter(), QString("([Log#1] = 'one A')"));
        QCOMPARE(shown(), QStringList({"A"}));
    }

    void customDialogRefusesValuesOfTheWrongType()
    {
        const int duration = col("OriginalDuration");
        TcxFilterDialog dialog(link(), duration);
        QCOMPARE(dialog.cbOperator1->currentText(), QString("equals"));
        dialog.setValueText(1, "abc");
        dialog.accept();
        QCOMPARE(m_errors, QStringList({"Invalid value."}));
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(criteria().IsEmptyFilter());

        // The second value counts even with the empty second operator.
        m_errors.clear();
        dialog.setValueText(1, "5");
        dialog.setValueText(2, "zz");
        dialog.accept();
        QCOMPARE(m_errors, QStringList({"Invalid value."}));
        QVERIFY(criteria().IsEmptyFilter());

        m_errors.clear();
        dialog.setValueText(2, "");
        dialog.accept();
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // The typed number stays text, so the filter text quotes it.
        QCOMPARE(table().filter(), QString("(OriginalDuration = '5')"));
        QCOMPARE(shown(), QStringList({"A"}));
    }

    void customDialogWildcardsOnlyWithLike()
    {
        TcxFilterDialog dialog(link(), col("Log#1"));
        auto* edit = qobject_cast<QLineEdit*>(dialog.edValue1);
        dialog.setValueText(1, "one%");
        QVERIFY(!dialog.lblSeries->isHidden());
        dialog.setOperator(1, DisplayOperator::Equals);
        QCOMPARE(edit->text(), QString("one"));
        QVERIFY(dialog.lblSeries->isHidden());
        dialog.setOperator(2, DisplayOperator::NotLike);   // "not like" in the second row shows them again
        QVERIFY(!dialog.lblSeries->isHidden());
    }

    void builderEditsTheTreeAndAppliesIt()
    {
        TfmFilterControlDialog builder(link());
        QCOMPARE(builder.windowTitle(), QString("Filter builder - [untitled.flt]"));
        QCOMPARE(builder.btOpen->text(), QString("&Open..."));
        QCOMPARE(builder.btSave->text(), QString("Save &As..."));
        QCOMPARE(builder.btApply->text(), QString("&Apply"));
        QVERIFY(builder.minimumWidth() >= 520 && builder.minimumHeight() >= 165);

        auto* root = &builder.root();
        auto* between = builder.addCondition(root);
        builder.setColumn(between, col("OriginalDuration"));
        QCOMPARE(between->op, DisplayOperator::Equals);
        builder.setOperator(between, DisplayOperator::Between);
        builder.setValue(between, 0, "10");
        builder.setValue(between, 1, "5");
        auto* group = builder.addGroup(root);
        builder.setBoolKind(group, filter::fboOr);
        auto* first = group->children.front().get();
        builder.setColumn(first, col("ActivityID"));
        builder.setValue(first, 0, "A");
        auto* second = builder.addCondition(first);
        builder.setColumn(second, col("ActivityID"));
        builder.setValue(second, 0, "C");
        QCOMPARE(builder.rowTexts(),
                 QStringList({"Filter AND <root>", "  OriginalDuration between 10 and 5",
                              "  OR applies to the following conditions", "    ActivityID equals A",
                              "    ActivityID equals C"}));

        builder.apply();
        QVERIFY(criteria().Active());
        QCOMPARE(table().filter(),
                 QString("(OriginalDuration BETWEEN '5' AND '10') AND ((ActivityID = 'A') OR (ActivityID = 'C'))"));
        QCOMPARE(shown(), QStringList({"A", "C"}));
        // The rows come back from the grid's criteria: between stored smaller first.
        QCOMPARE(builder.rowTexts().at(1), QString("  OriginalDuration between 5 and 10"));

        // Removing the last condition of a group removes the group.
        auto* g = builder.root().children.back().get();
        builder.removeRow(g->children.back().get());
        builder.removeRow(g->children.back().get());
        QCOMPARE(builder.root().children.size(), size_t(1));
        builder.clearAll();
        QCOMPARE(builder.rowTexts(), QStringList({"Filter AND <root>"}));
        // Cancel after Apply keeps what Apply did.
        builder.reject();
        QCOMPARE(shown(), QStringList({"A", "C"}));
    }

    void builderKeepsDateConditions()
    {
        const int finish = col("EarlyFinish");
        criteria().SetCurrentDateSource([] { return QDate(2024, 6, 1); });
        {
            filter::FilterChangeLock lock(criteria());
            criteria().AddCondition(nullptr, finish, filter::foGreaterEqual, "x",
                                    QDateTime(QDate(2024, 5, 2), QTime(0, 0)));
            criteria().SetActive(true);
        }
        const QString before = table().filter();
        QCOMPARE(shown(), QStringList({"A", "B"}));
        TfmFilterControlDialog builder(link());
        auto* relative = builder.addCondition(&builder.root());
        builder.setColumn(relative, finish);
        builder.setOperator(relative, DisplayOperator::ThisYear);   // "is this year"
        auto* flag = builder.addCondition(&builder.root());
        builder.setColumn(flag, col("Flag"));
        builder.setValue(flag, 0, "True");
        builder.apply();
        QCOMPARE(table().filter().left(before.size()), before);
        QVERIFY(table().filter().endsWith("AND (Flag = True)"));
        QCOMPARE(shown(), QStringList({"B"}));
        QCOMPARE(criteria().BuildDisplayText().count("blank"), 0);
        QCOMPARE(builder.rowTexts().at(2), QString("  EarlyFinish is this year"));
    }

    void builderSavesAndOpensFltFiles()
    {
        const QString path = m_dir->file("two.flt");
        QStringList saved;
        {
            TfmFilterControlDialog builder(link());
            auto* c1 = builder.addCondition(&builder.root());
            builder.setColumn(c1, col("Log#2"));
            builder.setOperator(c1, DisplayOperator::IsNotBlank);
            auto* g = builder.addGroup(&builder.root());
            builder.setBoolKind(g, filter::fboNotOr);
            auto* c2 = g->children.front().get();
            builder.setColumn(c2, col("Log#1"));
            builder.setOperator(c2, DisplayOperator::InList);
            builder.setValue(c2, 0, "one A");
            builder.setValue(c2, 1, "one B");
            saved = builder.rowTexts();
            builder.saveFile(path);
            QCOMPARE(builder.windowTitle(), "Filter builder - [" + path + "]");
        }
        QVERIFY(QFile::exists(path));
        QVERIFY(criteria().IsEmptyFilter());   // saving changes nothing in the grid

        TfmFilterControlDialog opened(link());
        opened.openFile(path);
        QCOMPARE(opened.rowTexts(), saved);
        QCOMPARE(saved.at(1), QString("  Log#2 is not blank"));
        QCOMPARE(saved.at(3), QString("    Log#1 in (one A, one B)"));
        QVERIFY(criteria().IsEmptyFilter());   // until Apply or Ok
        opened.apply();
        QCOMPARE(shown(), QStringList({"C"}));

        // A malformed file and a file with a column the grid lacks.
        QFile bad(m_dir->file("bad.flt"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("\xff\xff\xff\xff\x00\x05");
        bad.close();
        const QStringList before = opened.rowTexts();
        link().run([&] { opened.openFile(m_dir->file("bad.flt")); });
        QCOMPARE(m_errors, QStringList({"Stream read error."}));
        QCOMPARE(opened.rowTexts(), before);

        m_errors.clear();
        filter::TcxDBDataFilterCriteria foreign;
        foreign.AddCondition(nullptr, 9999, filter::foEqual, "q", "q");
        filter::saveCriteriaFile(foreign, m_dir->file("foreign.flt"));
        link().run([&] { opened.openFile(m_dir->file("foreign.flt")); });
        QCOMPARE(m_errors, QStringList({"Can't build filter from source."}));
    }

    void builderOpenedFromCustomAppliesWhenItCloses()
    {
        // A root of kind OR is too complex for the custom filter dialog.
        {
            filter::FilterChangeLock lock(criteria());
            criteria().Root()->SetBoolOperatorKind(filter::fboOr);
            criteria().AddCondition(nullptr, col("ActivityID"), filter::foEqual, "A", "A");
            criteria().SetActive(true);
        }
        QCOMPARE(shown(), QStringList({"A"}));
        QString filterDuringApply;
        bool sawBuilder = false;
        QTimer::singleShot(0, this, [&] {
            auto* builder = qobject_cast<TfmFilterControlDialog*>(QApplication::activeModalWidget());
            QVERIFY(builder);
            sawBuilder = true;
            auto* c = builder->addCondition(&builder->root());
            builder->setColumn(c, col("ActivityID"));
            builder->setValue(c, 0, "B");
            builder->apply();
            filterDuringApply = table().filter();
            QTest::mouseClick(builder->btOk, Qt::LeftButton);
        });
        pickText(col("ActivityID"), "(Custom...)");
        QVERIFY(sawBuilder);
        QCOMPARE(filterDuringApply, QString("(ActivityID = 'A')"));
        QCOMPARE(table().filter(), QString("(ActivityID = 'A') OR (ActivityID = 'B')"));
        QCOMPARE(shown(), QStringList({"A", "B"}));
        // A later pick joins the column's condition with the root's OR.
        pickText(col("Log#2"), "(Blanks)");
        QCOMPARE(table().filter(), QString("(ActivityID = 'A') OR (ActivityID = 'B') OR ([Log#2] = NULL)"));
    }

    void customOpensTheDialogWhenTheCriteriaAreSimple()
    {
        bool sawDialog = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TcxFilterDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            sawDialog = true;
            dialog->setOperator(1, DisplayOperator::Greater);
            dialog->setValueText(1, "one A");
            QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        });
        pickText(col("Log#1"), "(Custom...)");
        QVERIFY(sawDialog);
        QCOMPARE(table().filter(), QString("([Log#1] > 'one A')"));
        QCOMPARE(shown(), QStringList({"B", "C"}));
    }

    void panelButtons()
    {
        pickText(col("Log#2"), "x");
        QVERIFY(!panel().isHidden());
        QCOMPARE(panel().customizeButton()->text(), QString("Customize..."));

        QTest::mouseClick(panel().activeBox(), Qt::LeftButton);
        QVERIFY(!criteria().Active());
        QVERIFY(!table().filtered());
        QCOMPARE(shown(), QStringList({"A", "B", "C"}));
        QVERIFY(!panel().isHidden());
        QTest::mouseClick(panel().activeBox(), Qt::LeftButton);
        QCOMPARE(shown(), QStringList({"B", "C"}));

        QTest::mouseClick(panel().closeButton(), Qt::LeftButton);
        QVERIFY(criteria().IsEmptyFilter());
        QVERIFY(criteria().Active());   // the close button leaves Active alone
        QCOMPARE(shown(), QStringList({"A", "B", "C"}));
        QVERIFY(panel().isHidden());

        link().setVisible(filter::fvAlways);
        QVERIFY(!panel().isHidden());
        QCOMPARE(panel().textLabel()->text(), QString("<Filter is Empty>"));
        link().CustomizeDialog = false;
        link().refreshPanel();
        QVERIFY(panel().customizeButton()->isHidden());
        link().setVisible(filter::fvNever);
        pickText(col("Log#2"), "x");
        QVERIFY(panel().isHidden());

        // The builder button opens the builder; Apply there changes the rows at once.
        link().setVisible(filter::fvNonEmpty);
        link().CustomizeDialog = true;
        link().refreshPanel();
        QStringList rowsAfterApply;
        QTimer::singleShot(0, this, [&] {
            auto* builder = qobject_cast<TfmFilterControlDialog*>(QApplication::activeModalWidget());
            QVERIFY(builder);
            builder->clearAll();
            builder->apply();
            rowsAfterApply = shown();
            QTest::keyClick(builder, Qt::Key_Escape);
        });
        QTest::mouseClick(panel().customizeButton(), Qt::LeftButton);
        QCOMPARE(rowsAfterApply, QStringList({"A", "B", "C"}));
        QVERIFY(criteria().IsEmptyFilter());
    }

    void unreadableFilterReachesTheErrorBoxAfterTheDialog()
    {
        pickText(col("Log#2"), "x");
        // A builder tree naming a column the grid does not have cannot be
        // shown; the criteria of the grid then refuse to hand it over.
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TcxFilterDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            {
                filter::FilterChangeLock lock(criteria());
                criteria().AddCondition(nullptr, 9999, filter::foEqual, "q", "q");
            }
            QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
        });
        pickText(col("Log#1"), "(Custom...)");
        QCOMPARE(m_errors.size(), 1);
        QCOMPARE(table().filter(), QString("([Log#2] = 'x')"));
        QCOMPARE(shown(), QStringList({"B", "C"}));
        // The criteria are not empty: the panel shows them.
        QVERIFY(!panel().isHidden());
    }
};

QTEST_MAIN(FilterWindowsTest)
#include "FilterWindowsTest.moc"
