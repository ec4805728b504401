// The main window as it first shows each sample project, in the window's own
// font and at its start size: every column of the left band shows its whole
// caption (on one line or two) and every row's whole value, the right band's
// mark column its whole caption, and the log band stays in sight beside them.

#include "grid/ActivityGrid.h"
#include "grid/ActivityGridLayout.h"
#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"
#include "p3sim/Server.h"
#include "shell/ClassicFont.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/DataFieldList.h"
#include "support/SampleProjects.h"
#include "support/TempDatabase.h"

#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QtTest>

using namespace orvane;

namespace {

class NoView : public p3link::OperationView {};

// Imports a sample project into pdb.mdb of the current folder.
void importSample(const QString& group, const QString& subproject)
{
    p3sim::control().reset();
    p3sim::control().settings = p3sim::Settings{};
    p3sim::control().settings.projectsFolder = orvane::testing::kSampleProjects;
    p3sim::control().settings.hasCurrentUser = true;
    p3sim::control().settings.currentUser = QStringLiteral("PLANNER");
    store::ActivityStore store;
    store.openAtStartup([](const QString& m) { QFAIL(qPrintable(m)); });
    p3link::P3Credentials credentials;
    NoView view;
    store::DataFieldList fields;
    QString projectGroup, projectName;
    p3link::FixedProjectChooser chooser(p3sim::control().settings.projectsFolder, group, subproject);
    p3link::OperationContext context{store, credentials, nullptr, chooser, view, {projectGroup, projectName}, &fields};
    QVERIFY(p3link::importProject(context).imported > 0);
    p3link::Session.reset();
}

// The room a header of this rectangle leaves for its caption, as the style
// lays the label out.
int labelWidth(const grid::GridView& view, int columnId)
{
    QStyleOptionHeader opt;
    opt.initFrom(&view);
    opt.rect = view.columnHeaderRect(columnId);
    opt.orientation = Qt::Horizontal;
    opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
    const grid::SortOrder order = view.model().column(columnId).sortOrder;
    opt.sortIndicator = order == grid::SortOrder::Ascending    ? QStyleOptionHeader::SortDown
                        : order == grid::SortOrder::Descending ? QStyleOptionHeader::SortUp
                                                               : QStyleOptionHeader::None;
    return view.style()->subElementRect(QStyle::SE_HeaderLabel, &opt, &view).width();
}

} // namespace

class StartLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_temp.filePath(QStringLiteral("settings")));
        shell::applyClassicFont();
    }

    void wholeCaptionsAndValues_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("subproject");
        QTest::newRow("CLIN") << "CLIN" << "";
        QTest::newRow("CAMP/LIBR") << "CAMP" << "LIBR";
        QTest::newRow("CAMP/SPRT") << "CAMP" << "SPRT";
        QTest::newRow("DEPO") << "DEPO" << "";
        QTest::newRow("TWNT") << "TWNT" << "";
    }

    void wholeCaptionsAndValues()
    {
        // Drawing the first screen draws nothing the style refuses (a
        // header wholly under the right band, for one).
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QPainter")));
        QFETCH(QString, group);
        QFETCH(QString, subproject);
        orvane::testing::TempWorkDir work;
        importSample(group, subproject);
        // The longest identity P3 allows, in wide letters, besides the sample's own.
        orvane::testing::insertRow({{"ActivityID", QString(store::kActivityIdMaxLength, QLatin1Char('W'))},
                                    {"Description", "widest identity"},
                                    {"OriginalDuration", 9999.0},
                                    {"RemainingDuration", 9999.0},
                                    {"PercentComplete", 100.0},
                                    {"EarlyStart", QDateTime(QDate(2028, 12, 28), QTime(8, 0))},
                                    {"EarlyFinish", QDateTime(QDate(2028, 12, 28), QTime(17, 0))},
                                    {"CalendarID", "88"},
                                    {"Flag", false}});

        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.width(), 802);
        grid::ActivityGrid& grid = *form.cxGridProject();
        grid::GridViewModel& model = grid.model();
        grid::GridView& view = grid.view();
        // The start columns are fitted once every row is there.
        QTRY_VERIFY(model.allRowsPresent() && model.rowCount() > 1
                    && model.columnWidth(0) > 34);
        QCoreApplication::processEvents();

        const QFontMetrics metrics = view.fontMetrics();
        const QVector<int> shown = model.visibleColumns(grid::kInfoBand);
        QCOMPARE(shown.size(), 8);
        // The right band's mark column shows its caption whole too.
        const QVector<int> marks = model.visibleColumns(grid::kFlagBand);
        QCOMPARE(marks, QVector<int>({store::kFlagColumn}));
        for (int id : shown + marks) {
            const QString caption = model.columnCaption(id);
            // Drawn lines: at most two, together the whole caption, each within the label.
            const QStringList lines = view.headerText(id).split(QLatin1Char('\n'));
            QVERIFY2(lines.size() <= 2, qPrintable(caption));
            QCOMPARE(lines.join(QString()).remove(QLatin1Char(' ')), QString(caption).remove(QLatin1Char(' ')));
            for (const QString& line : lines)
                QVERIFY2(metrics.horizontalAdvance(line) <= labelWidth(view, id),
                         qPrintable(QStringLiteral("%1: \"%2\" in %3 px").arg(caption, line).arg(labelWidth(view, id))));
            QVERIFY2(view.columnHeaderRect(id).height() >= lines.size() * metrics.height(), qPrintable(caption));
            // Descriptions are free text and marks are check boxes; the others show whole.
            if (id == store::kDescriptionColumn || id == store::kFlagColumn)
                continue;
            for (int row = 0; row < model.rowCount(); ++row) {
                const QString text = model.displayText(row, id);
                QVERIFY2(metrics.horizontalAdvance(text) + 6 <= model.columnWidth(id),
                         qPrintable(QStringLiteral("%1: \"%2\" in %3 px").arg(caption, text).arg(model.columnWidth(id))));
            }
        }
        // The log band keeps at least one whole log column in sight.
        const QRect info = view.bandHeaderRect(grid::kInfoBand);
        const QRect flag = view.bandHeaderRect(grid::kFlagBand);
        QVERIFY2(flag.left() - (info.right() + 1) >= model.columnWidth(store::logColumn(1)),
                 qPrintable(QStringLiteral("log band %1 px").arg(flag.left() - info.right() - 1)));
    }

    // The narrow mark column sorted by a click on its header and pointed
    // at: its caption stays whole, and the filter button keeps to the right
    // of it and of the sort mark.
    void flagCaptionBesideSortMarkAndFilterButton()
    {
        orvane::testing::TempWorkDir work;
        importSample(QStringLiteral("CLIN"), QString());
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        grid::GridView& view = form.cxGridProject()->view();
        grid::GridViewModel& model = view.model();
        QTRY_VERIFY(model.allRowsPresent() && model.columnWidth(0) > 34);
        QCoreApplication::processEvents();
        const int flag = store::kFlagColumn;
        const QPoint header = view.columnHeaderRect(flag).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, header);
        QVERIFY(model.column(flag).sortOrder != grid::SortOrder::None);
        QTest::mouseMove(view.viewport(), header);
        QCoreApplication::processEvents();
        QCOMPARE(view.headerText(flag), QString("Flag"));
        const QRect button = view.filterButtonRect(flag);
        QVERIFY(!button.isEmpty());
        QStyleOptionHeader opt;
        opt.initFrom(&view);
        opt.rect = view.columnHeaderRect(flag);
        opt.rect.setRight(button.left() - 1);
        opt.orientation = Qt::Horizontal;
        opt.sortIndicator = QStyleOptionHeader::SortDown;
        const QRect label = view.style()->subElementRect(QStyle::SE_HeaderLabel, &opt, &view);
        const QRect arrow = view.style()->subElementRect(QStyle::SE_HeaderArrow, &opt, &view);
        QVERIFY2(view.fontMetrics().horizontalAdvance("Flag") <= label.width(), qPrintable(QString::number(label.width())));
        QVERIFY(!arrow.intersects(button));
        QVERIFY(!label.intersects(button));
    }

private:
    QTemporaryDir m_temp;
};

QTEST_MAIN(StartLayoutTest)
#include "StartLayoutTest.moc"
