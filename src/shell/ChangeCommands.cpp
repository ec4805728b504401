#include "shell/ChangeCommands.h"

#include "shell/TextListDialog.h"
#include "store/ActivityStore.h"
#include "store/UndoHistory.h"

#include <QMessageBox>

namespace orvane::shell {

namespace {

void requeryTexts(store::ActivityStore& store, const std::vector<int>& columns)
{
    if (store.taActivities.isActive() && !columns.empty())
        store.taActivities.requeryColumns(columns);
}

std::vector<QStringList> reviewRows(const std::vector<store::ChangedText>& changes)
{
    std::vector<QStringList> rows;
    rows.reserve(changes.size());
    for (const store::ChangedText& change : changes)
        rows.push_back({change.activityId, store::textFieldName(change.field), change.base, change.current});
    return rows;
}

QString countOf(std::size_t count, const char* one, const char* many)
{
    return count == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(count);
}

// Gives the chosen texts their imported text back, recorded for undo.
QString revert(store::ActivityStore& store, const std::vector<store::ChangedText>& chosen)
{
    std::vector<store::ActivityStore::TextAssignment> assignments;
    for (const store::ChangedText& change : chosen)
        assignments.push_back({change.activityId, change.field, change.base, change.current});
    store::UndoRecording recording(store.undo, QStringLiteral("revert"));
    std::vector<int> columns;
    {
        store::Transaction transaction(store.ADOCon);
        columns = store.assignTexts(assignments);
        transaction.commit();
    }
    recording.finish();
    requeryTexts(store, columns);
    return countOf(chosen.size(), "1 text reverted to its imported text", "%1 texts reverted to their imported text");
}

} // namespace

QString reviewChanges(store::ActivityStore& store, QWidget* parent)
{
    if (!store.base.project()) {
        QMessageBox::information(parent, QStringLiteral("Information"),
                                 QStringLiteral("This table holds no record of what was imported, so Orvane cannot "
                                                "tell which texts you changed."));
        return QString();
    }
    TextListDialog dialog(QStringLiteral("ReviewChanges"), QStringLiteral("Review changes"),
                          {QStringLiteral("Activity"), QStringLiteral("Field"), QStringLiteral("Imported text"),
                           QStringLiteral("Current text")},
                          parent);
    std::vector<store::ChangedText> changes = store.base.changedTexts();
    QString status;
    const auto show = [&] {
        dialog.setRows(reviewRows(changes));
        dialog.setIntro(changes.empty() ? QStringLiteral("No text was changed since the import.")
                                        : countOf(changes.size(), "1 text differs from what was imported.",
                                                  "%1 texts differ from what was imported."));
    };
    dialog.addCommand(QStringLiteral("Revert"), [&](const std::vector<int>& rows) {
        std::vector<store::ChangedText> chosen;
        for (int row : rows)
            chosen.push_back(changes[size_t(row)]);
        status = revert(store, chosen);
        changes = store.base.changedTexts();
        show();
    });
    show();
    dialog.exec();
    return status;
}

void showComparison(const p3link::WriteBackResult& result, QWidget* parent)
{
    std::vector<QStringList> rows;
    const std::pair<QString, const std::vector<p3link::SavedText>*> lists[] = {
        {QStringLiteral("Write to P3"), &result.writtenTexts},
        {QStringLiteral("Take from P3"), &result.takenTexts},
        {QStringLiteral("Conflict"), &result.conflicts}};
    for (const auto& [what, list] : lists)
        for (const p3link::SavedText& text : *list)
            rows.push_back({what, text.activityId, store::textFieldName(text.field), text.local, text.p3});
    TextListDialog dialog(QStringLiteral("CompareWithP3"), QStringLiteral("Compare with P3"),
                          {QStringLiteral("Save would"), QStringLiteral("Activity"), QStringLiteral("Field"),
                           QStringLiteral("Your text"), QStringLiteral("P3's text")},
                          parent);
    QString intro = QStringLiteral("A save now would write %1 to P3, take %2 from P3 and leave %3 in conflict. "
                                   "Nothing was changed.")
                        .arg(countOf(result.writtenTexts.size(), "1 text", "%1 texts"),
                             countOf(result.takenTexts.size(), "1 text", "%1 texts"),
                             countOf(result.conflicts.size(), "1 text", "%1 texts"));
    for (const QString& notice : result.notices)
        intro += QLatin1Char('\n') + notice;
    dialog.setIntro(intro);
    dialog.setRows(rows);
    dialog.exec();
}

void keepP3Texts(store::ActivityStore& store, const std::vector<p3link::SavedText>& conflicts)
{
    std::vector<store::ActivityStore::TextAssignment> assignments;
    std::vector<int> columns;
    {
        store::Transaction transaction(store.ADOCon);
        for (const p3link::SavedText& conflict : conflicts) {
            assignments.push_back({conflict.activityId, conflict.field, conflict.p3, conflict.local});
            store.base.setTexts(conflict.activityId, {{conflict.field, conflict.p3}});
        }
        columns = store.assignTexts(assignments);
        transaction.commit();
    }
    requeryTexts(store, columns);
}

void resolveConflicts(store::ActivityStore& store, const std::vector<p3link::SavedText>& conflicts, QWidget* parent,
                      const std::function<void(const std::vector<p3link::SavedText>&)>& overwrite)
{
    TextListDialog dialog(QStringLiteral("SaveConflicts"), QStringLiteral("Changed on both sides"),
                          {QStringLiteral("Activity"), QStringLiteral("Field"), QStringLiteral("Your text"),
                           QStringLiteral("P3's text")},
                          parent);
    std::vector<p3link::SavedText> open = conflicts;
    QStringList lines;
    for (const p3link::SavedText& conflict : conflicts)
        lines << p3link::conflictLine(conflict);
    const auto show = [&] {
        std::vector<QStringList> rows;
        for (const p3link::SavedText& conflict : open)
            rows.push_back({conflict.activityId, store::textFieldName(conflict.field), conflict.local, conflict.p3});
        dialog.setRows(rows);
        if (open.empty())
            dialog.accept();
    };
    dialog.setIntro(lines.join(QLatin1Char('\n'))
                    + QStringLiteral("\n\nYour texts are kept in the table and stay marked. Choose for the selected "
                                     "lines:"));
    const auto chosenOf = [&](const std::vector<int>& rows) {
        std::vector<p3link::SavedText> chosen;
        for (int row : rows)
            chosen.push_back(open[size_t(row)]);
        return chosen;
    };
    // Lines leave the list once their choice went through.
    const auto drop = [&](const std::vector<int>& rows) {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            open.erase(open.begin() + *row);
        show();
    };
    dialog.addCommand(QStringLiteral("Overwrite in P3"), [&](const std::vector<int>& rows) {
        overwrite(chosenOf(rows));
        drop(rows);
    });
    dialog.addCommand(QStringLiteral("Keep P3's text"), [&](const std::vector<int>& rows) {
        keepP3Texts(store, chosenOf(rows));
        drop(rows);
    });
    show();
    dialog.exec();
}

} // namespace orvane::shell
