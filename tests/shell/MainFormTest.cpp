// The main window on the offscreen platform: layout, command table,
// start-up failures, the remembered user name and Help.

#include "common/Errors.h"
#include "logedit/BulkCommands.h"
#include "p3link/P3Session.h"
#include "p3link/WindowOperationView.h"
#include "grid/ActivityGrid.h"
#include "shell/CommandTable.h"
#include "store/ActivityLayout.h"
#include "shell/ErrorBox.h"
#include "shell/HelpDocument.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "shell/UserSetting.h"
#include "support/RunProgram.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace orvane::shell;

// Stands in for the desktop's handler of file addresses: records what Help
// asks to open instead of starting a browser.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

namespace {

void writeFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_settingsDir;
    QList<std::tuple<BoxKind, QString, QString>> m_boxes;

    QSettings rawSettings()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Marbolt", "Orvane");
    }

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_settingsDir.path());
        setBoxPresenter([this](BoxKind kind, const QString& caption, const QString& text) {
            m_boxes.append({kind, caption, text});
        });
    }

    void init()
    {
        m_boxes.clear();
        setApplicationTitle(QString());   // as before the main window exists
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Marbolt", "Orvane");
        s.clear();
        s.sync();
    }

    void windowLayout()
    {
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        TMainForm form(&about);
        QCOMPARE(form.windowTitle(), QString("Orvane"));
        QCOMPARE(form.size(), QSize(802, 600));
        QCOMPARE(applicationTitle(), QString("Orvane"));
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(form.ProgressBar1()->height(), 10);
        QCOMPARE(form.ProgressBar1()->value(), 0);
        QCOMPARE(form.statusPanel(0)->width(), 150);
        QVERIFY(form.statusPanel(0)->text().isEmpty());
        QVERIFY(form.statusPanel(1)->text().isEmpty());
        QVERIFY(form.store().taActivities.isActive());
    }

    void menusInOrder()
    {
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        TMainForm form(&about);
        QStringList tops;
        QList<QStringList> items;
        for (QAction* action : form.tbarMenu()->actions()) {
            auto* button = qobject_cast<QToolButton*>(form.tbarMenu()->widgetForAction(action));
            QVERIFY(button && button->menu());
            tops << QString(button->text()).remove('&');
            QStringList entries;
            for (QAction* item : button->menu()->actions())
                entries << (item->isSeparator() ? QString("-") : item->text());
            items << entries;
        }
        QCOMPARE(tops, (QStringList{"File", "Edit", "Actions", "Help"}));
        QCOMPARE(items[0], (QStringList{"Get logs from P3...", "Set logs to P3...", "Compare with P3...", "-", "Exit"}));
        QCOMPARE(items[1], (QStringList{"Undo (import and saves to P3 end the undo history)", "-",
                                        "Review changes..."}));
        QCOMPARE(items[2], (QStringList{"Log # X => Log # Y...", "Description && Log...", "Activity data => Log...",
                                        "-", "Logs multy edit...", "Customize fields...", "-",
                                        "Export to MS Excell...", "Get logs from workbook..."}));
        QCOMPARE(items[3], (QStringList{"Orvane Help", "-", "Marbolt ltd. Home Page", "-", "About..."}));
        // No accelerator letters: every "&" is doubled, so none is a mnemonic.
        for (const QStringList& entries : items)
            for (const QString& text : entries)
                QVERIFY2(!QString(text).remove("&&").contains('&'), qPrintable(text));
    }

    // The keyboard reaches the menus and the common commands: Alt and a
    // menu's letter, F10, and the usual keys, pressed on the grid.
    void keyboardReachesTheMenusAndCommands()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}});
        TAboutForm about;
        TMainForm form(&about);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        QWidget* grid = form.cxGridProject();
        grid->setFocus();
        QTRY_VERIFY(form.isActiveWindow());
        auto menuNamed = [&](const QString& name) { return form.findChild<QMenu*>("menu" + name); };
        const struct {
            QKeyCombination key;
            const char* menu;
        } menuKeys[] = {{Qt::ALT | Qt::Key_F, "File"}, {Qt::ALT | Qt::Key_E, "Edit"},
                        {Qt::ALT | Qt::Key_A, "Actions"}, {Qt::ALT | Qt::Key_H, "Help"}, {QKeyCombination(Qt::Key_F10), "File"}};
        for (const auto& k : menuKeys) {
            // The menu runs its own loop until it closes: it is looked at
            // and closed with Esc from there.
            QMenu* menu = menuNamed(k.menu);
            QVERIFY2(menu, k.menu);
            bool shown = false;
            QTimer::singleShot(0, menu, [menu, &shown] {
                QTRY_VERIFY(menu->isVisible());
                shown = QApplication::activePopupWidget() == menu;
                QTest::keyClick(menu, Qt::Key_Escape);
            });
            QTest::keyClick(&form.cxGridProject()->view(), k.key.key(), k.key.keyboardModifiers());
            QVERIFY2(shown, k.menu);
            QTRY_VERIFY(!menu->isVisible());
            // The platform here gives the window back no activation of its
            // own after a pop-up; a window manager would.
            form.activateWindow();
            QTRY_VERIFY(form.isActiveWindow());
        }
        int asked = 0;
        form.askExportFileName = [&] { ++asked; return QString(); };
        grid->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(asked, 1);
        QString opened;
        QTimer::singleShot(0, [&opened] {
            QTRY_VERIFY(QApplication::activeModalWidget());
            opened = QString::fromLatin1(QApplication::activeModalWidget()->metaObject()->className());
            QApplication::activeModalWidget()->close();
        });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY2(opened.endsWith("TfmFilterControlDialog"), qPrintable(opened));
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(form.menuAction(Command::Open)->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(form.toolAction(Command::Save)->shortcut(), QKeySequence("Ctrl+S"));
        QCOMPARE(form.menuAction(Command::Undo)->shortcut(), QKeySequence("Ctrl+Z"));
    }

    void toolBarInOrder()
    {
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        TMainForm form(&about);
        QStringList captions;
        for (QAction* action : form.tbarMain()->actions()) {
            captions << (action->isSeparator() ? QString("-") : action->data().toString());
            if (!action->isSeparator()) {
                QCOMPARE(action->icon().actualSize(QSize(32, 32)), QSize(32, 32));
                QCOMPARE(form.tbarMain()->widgetForAction(action)->size(), QSize(39, 38));
            }
        }
        QCOMPARE(captions, (QStringList{"Open project", "Save", "Save to Primavera", "-", "Log# X => Log# Y",
                                        "Description & Log", "Data => Log", "-", "Multy edit logs",
                                        "Customize fields", "-", "Export to Excell", "Logs from workbook", "-"}));
        // Menu item and tool button of one command share one handler.
        QCOMPARE(form.menuAction(Command::Open)->objectName(), QString("tbtnOpenClick_menu"));
        QCOMPARE(form.toolAction(Command::Open)->objectName(), QString("tbtnOpenClick"));
    }

    // A missing pdb.mdb is one question, captioned as the window's errors;
    // No (the default) leaves an empty window and no file, Yes makes an
    // empty database there and opens it.
    void missingDatabaseAsksOnceToCreateOne_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }

    void missingDatabaseAsksOnceToCreateOne()
    {
        QFETCH(bool, answer);
        orvane::testing::TempWorkDir dir(false);
        QStringList questions;
        setQuestionPresenter([&](const QString& caption, const QString& text) {
            questions << caption + "|" + text;
            return answer;
        });
        auto unset = qScopeGuard([] { setQuestionPresenter({}); });
        TAboutForm about;
        TMainForm form(&about);
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].startsWith("Orvane|Could not find file '"), qPrintable(questions[0]));
        QVERIFY2(questions[0].endsWith("pdb.mdb'.\n\nCreate an empty pdb.mdb here?"), qPrintable(questions[0]));
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(form.store().taActivities.isActive(), answer);
        QCOMPARE(QFile::exists(dir.file("pdb.mdb")), answer);
        QCOMPARE(form.windowTitle(), QString("Orvane"));
        if (answer)
            QCOMPARE(form.store().taActivities.rowCount(), 0);
    }

    // Any other start-up failure is one error box with the window's title.
    void damagedDatabaseGivesOneErrorBox()
    {
        orvane::testing::TempWorkDir dir(false);
        QFile file(dir.file("pdb.mdb"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database at all, just text that is long enough to be read as a header");
        file.close();
        TAboutForm about;
        TMainForm form(&about);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<0>(m_boxes[0]), BoxKind::Error);
        QCOMPARE(std::get<1>(m_boxes[0]), QString("Orvane"));
        QVERIFY(!form.store().taActivities.isActive());
    }

    void userNameSettingCases()
    {
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        {   // first run: no key, empty name; closing writes an empty text
            TMainForm form(&about);
            QVERIFY(form.FP3User.isEmpty());
            form.close();
            QCOMPARE(rawSettings().value("P3User").typeId(), int(QMetaType::QString));
            QCOMPARE(rawSettings().value("P3User").toString(), QString());
        }
        {   // a stored name is read; the password is never written
            writeP3User("PLANNER");
            TMainForm form(&about);
            QCOMPARE(form.FP3User, QString("PLANNER"));
            form.FP3User = "NEWUSER";
            form.FP3Password = "SECRET";
            form.close();
            QCOMPARE(readP3User(), QString("NEWUSER"));
            QFile ini(rawSettings().fileName());
            QVERIFY(ini.open(QIODevice::ReadOnly));
            QVERIFY(!ini.readAll().contains("SECRET"));
        }
        {   // a value that is not text is ignored at start and overwritten at exit
            { auto s = rawSettings(); s.setValue("P3User", 1234); }
            TMainForm form(&about);
            QVERIFY(form.FP3User.isEmpty());
            form.FP3User = "PLANNER";
            form.close();
            QCOMPARE(rawSettings().value("P3User").typeId(), int(QMetaType::QString));
            QCOMPARE(readP3User(), QString("PLANNER"));
        }
    }

    // The export's notice (a log cut at the sheet's 32,767 characters) waits
    // for OK under the normal cursor, not the busy one the export shows.
    void boxesWaitUnderTheNormalCursor()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}, {"Log#1", QString(40000, 'x')}});
        TAboutForm about;
        TMainForm form(&about);
        QList<int> shapes;
        setBoxPresenter([&](BoxKind, const QString&, const QString&) {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            shapes << (cursor ? int(cursor->shape()) : -1);
        });
        auto restore = qScopeGuard([this] {
            setBoxPresenter([this](BoxKind kind, const QString& caption, const QString& text) {
                m_boxes.append({kind, caption, text});
            });
        });
        form.askExportFileName = [&] { return dir.file("grid.xls"); };
        form.menuAction(Command::Export)->trigger();
        QCOMPARE(shapes, QList<int>{int(Qt::ArrowCursor)});
        QVERIFY(!QGuiApplication::overrideCursor());   // the busy cursor is gone after OK
    }

    // A cell typed into the grid and a mark clicked are undo steps of their
    // own, taken back one by one with Ctrl+Z, newest first.
    void cellEditsAreUndoneWithCtrlZ()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}, {"Description", "pour east wing"}, {"Flag", false}});
        TAboutForm about;
        TMainForm form(&about);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.store().taActivities.fetchAll();
        auto& view = form.cxGridProject()->view();
        QWidget* viewport = view.viewport();
        const int description = orvane::store::kDescriptionColumn;
        const int flag = orvane::store::kFlagColumn;
        QTRY_COMPARE(form.cxGridProject()->model().rowCount(), 1);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, view.cellRect(0, description).center());
        QCOMPARE(view.focusedColumn(), description);
        QTest::keyClicks(&view, "poured");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(orvane::testing::readValue("A10", "Description"), QVariant("poured"));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, view.cellRect(0, flag).center());
        QVERIFY2(view.focusedColumn() == flag, qPrintable(QString("%1 %2 / %3 at %4,%5").arg(view.focusedColumn()).arg(view.isEditing()).arg(viewport->width()).arg(view.cellRect(0, flag).x()).arg(view.cellRect(0, flag).width())));
        QCOMPARE(orvane::testing::readValue("A10", "Flag").toBool(), true);
        QVERIFY(form.menuAction(Command::Undo)->isEnabled());

        QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(orvane::testing::readValue("A10", "Flag").toBool(), false);
        QCOMPARE(orvane::testing::readValue("A10", "Description"), QVariant("poured"));
        QCOMPARE(form.statusPanel(2)->text(), QString("Undone: cell edit"));
        QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(orvane::testing::readValue("A10", "Description"), QVariant("pour east wing"));
        // The grid shows what the file holds.
        QCOMPARE(form.cxGridProject()->model().displayText(0, description), QString("pour east wing"));
        QVERIFY(!form.menuAction(Command::Undo)->isEnabled());
        QVERIFY(m_boxes.isEmpty());
    }

    void exportCommandWritesTheGridAsShown()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}, {"Log#1", "pour east wing"}, {"Flag", false}});
        TAboutForm about;
        TMainForm form(&about);

        // Both the tool button and the menu item run the command: each asks
        // for a file name.
        int asked = 0;
        form.askExportFileName = [&] { ++asked; return QString(); };   // Cancel
        form.toolAction(Command::Export)->trigger();
        QCOMPARE(asked, 1);
        QVERIFY(QDir(dir.path()).entryList({"*.xls"}).isEmpty());

        const QString path = dir.file("grid.xls");
        form.askExportFileName = [&] { return path; };
        form.menuAction(Command::Export)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        const auto read = orvane::testing::runProgram(
            "/usr/bin/python3", {"-c",
                                 "import os, sys, xlrd\n"
                                 "s = xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, 'w')).sheet_by_index(0)\n"
                                 "print(s.cell_value(0, 0)); print(s.cell_value(1, 0)); print(s.cell_value(2, 0))\n"
                                 "print([c for c in s.row_values(1)].index('Log#1'))\n"
                                 "print(s.cell_value(2, [c for c in s.row_values(1)].index('Log#1')))",
                                 path});
        QCOMPARE(read.exitCode, 0);
        QCOMPARE(read.out.split('\n').mid(0, 3), (QStringList{"Activity Info", "ActivityID", "A10"}));
        QCOMPARE(read.out.split('\n').value(4), QString("pour east wing"));
    }

    // "Export to Excell" asks for the file in its own dialog, which offers
    // .xlsx beside .xls: a name typed with .xlsx writes an .xlsx workbook,
    // one without extension takes the type chosen in the dialog, one with
    // .xls an .xls workbook, each read back by its own reader.
    void exportDialogOffersXlsxBesideXls()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}, {"Log#1", "pour east wing"}, {"Flag", false}});
        TAboutForm about;
        TMainForm form(&about);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        struct Case {
            const char* typed;
            int typeKeys;          // Down key presses on the file type list (0: left as it is)
            const char* written;
            const char* reader;
        };
        const Case cases[] = {
            {"grid.xlsx", 0, "grid.xlsx", "openpyxl"},
            {"plan", 1, "plan.xlsx", "openpyxl"},
            {"older.xls", 0, "older.xls", "xlrd"},
        };
        for (const Case& c : cases) {
            QStringList offered;
            bool driven = false;
            QTimer::singleShot(0, &form, [&] {
                auto* dialog = form.findChild<QFileDialog*>("SaveDialog");
                auto* types = dialog ? dialog->findChild<QComboBox*>("fileTypeCombo") : nullptr;
                auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
                if (!dialog || !types || !name) {
                    if (dialog)
                        dialog->reject();
                    return;
                }
                offered = dialog->nameFilters();
                dialog->setDirectory(dir.path());   // where the planner's files are
                for (int i = 0; i < c.typeKeys; ++i)
                    QTest::keyClick(types, Qt::Key_Down);
                QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(name, c.typed);
                QTest::keyClick(name, Qt::Key_Return);
                driven = true;
                // A name the dialog did not take leaves it open: closed
                // after a while, the checks below say so.
                QTimer::singleShot(5000, dialog, &QDialog::reject);
            });
            form.toolAction(Command::Export)->trigger();
            QVERIFY(driven);
            QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
            QCOMPARE(offered, (QStringList{"Microsoft Excel 97-2003 (*.xls)", "Microsoft Excel (*.xlsx)"}));
            QCOMPARE(form.statusPanel(2)->text(), QString("Exported 1 rows to %1").arg(c.written));
            const QString script = QString(c.reader) == "xlrd"
                ? "import os, sys, xlrd\ns = xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, 'w')).sheet_by_index(0)\n"
                  "print(s.cell_value(2, 0))"
                : "import sys, openpyxl\ns = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\nprint(s.cell(3, 1).value)";
            const auto read = orvane::testing::runProgram("/usr/bin/python3", {"-c", script, dir.file(c.written)});
            QCOMPARE(read.exitCode, 0);
            QCOMPARE(read.out.trimmed(), QString("A10"));
        }
    }

    // A table of another layout is refused by every command that reads or
    // writes it, before P3 or the file is touched.
    void refusedTableRefusesEveryCommand()
    {
        orvane::testing::TempWorkDir dir;
        orvane::testing::insertRow({{"ActivityID", "A10"}, {"Log#1", "kept"}});
        orvane::testing::execRaw("ALTER TABLE P3Data ADD COLUMN Extra TEXT");
        auto bytes = [&] {
            QFile f(dir.file("pdb.mdb"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        TAboutForm about;
        {
            TMainForm form(&about);
            QCOMPARE(m_boxes.size(), 1);
            const QString refusal = std::get<2>(m_boxes[0]);
            QVERIFY(refusal.contains("expected layout"));
            orvane::p3link::CurrentProjectGroup = "CLIN";
            int asked = 0;
            form.askExportFileName = [&] { ++asked; return dir.file("grid.xls"); };
            form.askWorkbookFileName = [&] { ++asked; return dir.file("grid.xls"); };
            const std::vector<std::pair<const char*, std::function<void()>>> commands = {
                {"Save", [&] { form.toolAction(Command::Save)->trigger(); }},
                {"Save to Primavera", [&] { form.toolAction(Command::SaveTo)->trigger(); }},
                {"Get logs from P3", [&] { form.toolAction(Command::Open)->trigger(); }},
                {"Export", [&] { form.toolAction(Command::Export)->trigger(); }},
                {"Logs from workbook", [&] { form.toolAction(Command::FromWorkbook)->trigger(); }},
                {"Apply", [&] { runGuarded([&] { form.ApplyMultiLog(); }); }},
                {"bulk copy", [&] { runGuarded([&] {
                     orvane::logedit::runBulkStatement(form.store(), orvane::logedit::log2LogStatement("1", "2"));
                 }); }},
            };
            for (const auto& [name, run] : commands) {
                m_boxes.clear();
                run();
                QVERIFY2(m_boxes.size() == 1, name);
                QCOMPARE(std::get<2>(m_boxes[0]), errorBoxText(refusal));
            }
            QCOMPARE(asked, 0);
            orvane::p3link::CurrentProjectGroup.clear();
        }
        QVERIFY(!QFile::exists(dir.file("grid.xls")));
        QCOMPARE(bytes(), before);
    }

    void helpDocumentCases()
    {
        struct Case {
            const char* name;
            QStringList files;      // relative to the program's folder "bin"
            QStringList folders;
            QString expected;       // empty: nothing to open
        };
        const QList<Case> cases{
            {"nothing beside the program", {}, {}, {}},
            {"help file", {"bin/orvane.chm", "bin/guide/index.html"}, {}, "bin/orvane.chm"},
            {"guide beside the program", {"bin/guide/index.html", "share/orvane/guide/index.html"}, {},
             "bin/guide/index.html"},
            {"installed guide", {"share/orvane/guide/index.html"}, {}, "share/orvane/guide/index.html"},
            {"a folder is no help file", {"bin/guide/index.html"}, {"bin/orvane.chm"}, "bin/guide/index.html"},
            {"a guide folder without its first page", {"bin/guide/importing.html"}, {"bin/guide"}, {}},
        };
        for (const Case& c : cases) {
            QTemporaryDir root;
            QDir().mkpath(root.filePath("bin"));
            for (const QString& folder : c.folders)
                QDir().mkpath(root.filePath(folder));
            for (const QString& file : c.files)
                writeFile(root.filePath(file));
            const QString expected = c.expected.isEmpty() ? QString() : root.filePath(c.expected);
            QVERIFY2(helpDocument(root.filePath("bin")) == expected, c.name);
        }
    }

    void helpWithoutADocumentSaysWhereItShouldBe()
    {
        // This test program has neither a help file nor a guide beside it;
        // a help file in the working folder is not the program's.
        QVERIFY(helpDocument(QCoreApplication::applicationDirPath()).isEmpty());
        orvane::testing::TempWorkDir dir;
        writeFile(dir.file("orvane.chm"));
        writeFile(dir.file("guide/index.html"));
        OpenedUrls opened;
        QDesktopServices::setUrlHandler("file", &opened, "open");
        auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
        TAboutForm about;
        TMainForm form(&about);
        form.menuAction(Command::Docs)->trigger();
        QVERIFY(opened.urls.isEmpty());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<0>(m_boxes[0]), BoxKind::Information);
        QVERIFY2(std::get<2>(m_boxes[0]).contains(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())),
                 qPrintable(std::get<2>(m_boxes[0])));
        QVERIFY(form.store().taActivities.isActive());
    }

    // The guide is there but no program opens it (the offscreen platform
    // has none): the user is told where the guide is.
    void helpWithoutAProgramToOpenTheGuideSaysWhereItIs()
    {
        const QDir program(QCoreApplication::applicationDirPath());
        QVERIFY(!program.exists("orvane.chm") && !program.exists("guide"));
        auto remove = qScopeGuard([&] { QDir(program.filePath("guide")).removeRecursively(); });
        writeFile(program.filePath("guide/index.html"));
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        TMainForm form(&about);
        form.menuAction(Command::Docs)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), "No program could open the guide. Open it yourself: "
                                              + QDir::toNativeSeparators(program.filePath("guide/index.html")));
    }

    void helpOpensTheDocumentBesideTheProgram()
    {
        const QDir program(QCoreApplication::applicationDirPath());
        QVERIFY(!program.exists("orvane.chm") && !program.exists("guide"));
        auto remove = qScopeGuard([&] {
            QFile::remove(program.filePath("orvane.chm"));
            QDir(program.filePath("guide")).removeRecursively();
        });
        orvane::testing::TempWorkDir dir;
        OpenedUrls opened;
        QDesktopServices::setUrlHandler("file", &opened, "open");
        auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
        TAboutForm about;
        TMainForm form(&about);

        writeFile(program.filePath("guide/index.html"));
        form.menuAction(Command::Docs)->trigger();
        writeFile(program.filePath("orvane.chm"));
        form.menuAction(Command::Docs)->trigger();
        QCOMPARE(opened.urls, (QList<QUrl>{QUrl::fromLocalFile(program.filePath("guide/index.html")),
                                           QUrl::fromLocalFile(program.filePath("orvane.chm"))}));
        QVERIFY(m_boxes.isEmpty());
    }

    // The about box shows the version the build took from the project.
    void aboutShowsTheProjectVersion()
    {
        TAboutForm about;
        QStringList texts;
        for (const QLabel* label : about.findChildren<QLabel*>())
            texts << label->text();
        QVERIFY2(texts.contains(QStringLiteral("<b>Orvane</b> version " ORVANE_PROJECT_VERSION)),
                 qPrintable(texts.join('|')));
    }

    // A long list (the activities a save could not write) scrolls inside a
    // 1024 x 768 screen, OK in reach and the text selectable; a short
    // message stays a plain message box.
    void longListsFitTheScreen()
    {
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines << QStringLiteral("A%1 is not found in local table.").arg(1000 + 10 * i);
        std::unique_ptr<QDialog> box(createMessageBox(BoxKind::ErrorList, "Error", lines.join('\n'), nullptr));
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QCOMPARE(box->windowTitle(), QString("Error"));
        QVERIFY(box->frameGeometry().width() <= 1024 && box->frameGeometry().height() <= 768);
        QVERIFY(box->screen()->availableGeometry().contains(box->frameGeometry()));
        auto* buttons = box->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        QVERIFY(ok && ok->isVisible());
        QVERIFY(box->rect().contains(QRect(ok->mapTo(box.get(), QPoint(0, 0)), ok->size())));
        auto* text = box->findChild<QPlainTextEdit*>("MessageText");
        QVERIFY(text);
        QCOMPARE(text->toPlainText(), lines.join('\n'));
        QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);

        std::unique_ptr<QDialog> plain(createMessageBox(BoxKind::Error, "Orvane", "One line.", nullptr));
        QVERIFY(qobject_cast<QMessageBox*>(plain.get()));
    }

    // The platform adds the application's display name to window titles
    // when one is set: none is, so every title is exactly the window's own.
    void windowTitlesHaveNothingAdded()
    {
        orvane::testing::TempWorkDir dir;
        TAboutForm about;
        TMainForm form(&about);
        QCOMPARE(applicationTitle(), QString("Orvane"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QVERIFY(QCoreApplication::applicationName() != "Orvane");
    }

    void commandErrorsReachTheCommonBox()
    {
        runGuarded([] { throw orvane::AutomationError("Invalid user name or password"); });
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), QString("Invalid user name or password."));
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
