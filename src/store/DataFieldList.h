#pragma once
// The data-field list offered by the "Activity data => Log" command: the 27
// fixed data fields (every data column except CalendarID) followed by the
// names of the activity codes of the project last imported. Each entry maps
// to the table column whose values it stands for. The main window owns one
// list; the import refills it, the bulk dialog reads it.

#include "store/ActivityLayout.h"

#include <QString>
#include <QVector>

#include <iterator>

namespace orvane::store {

struct DataFieldEntry {
    QString caption;
    int column = -1;   // table column index
    QString field() const { return fieldName(column); }
};

class DataFieldList {
public:
    // The fixed entries: captions of data columns 0, 1, 2, ... in order.
    static constexpr const char* kFixedCaptions[] = {
        "Activity ID", "Description", "Original Duration", "Remaining Duration",
        "Total Float", "Free Float", "Percent Complete", "Early Start",
        "Late Start", "Early Finish", "Late Finish", "Actual Start",
        "Actual Finish", "Actual Duration", "Suspend Date", "Resume Date",
        "Activity Type", "Early Constraint Type", "Early Constraint Date",
        "Late Constraint Type", "Late Constraint Date", "Mandatory Constraint Type",
        "Mandatory Constraint Date", "Expected Finish Date",
        "WBS Code With Separators", "Float Constraint Type", "WBS Code"};
    static constexpr int kFixedCount = int(std::size(kFixedCaptions));
    static_assert(kFixedCount <= kDataColumnCount);

    DataFieldList() { fill(); }

    // Empties the list, adds the fixed entries and selects entry 0.
    void fill()
    {
        m_entries.clear();
        for (int i = 0; i < kFixedCount; ++i)
            m_entries.push_back({QString::fromLatin1(kFixedCaptions[i]), i});
        m_selected = 0;
        ++m_revision;
    }

    // Appends the entry of the next activity code (the k-th code maps to
    // ActivityCode k). Returns false, adding nothing, once all code slots
    // are taken.
    bool appendCode(const QString& name)
    {
        const int k = codeCount() + 1;
        if (k > kCodeSlots)
            return false;
        m_entries.push_back({name, kFirstCodeColumn - 1 + k});
        ++m_revision;
        return true;
    }

    int size() const { return int(m_entries.size()); }
    int codeCount() const { return size() - kFixedCount; }
    const DataFieldEntry& at(int i) const { return m_entries.at(i); }
    const QVector<DataFieldEntry>& entries() const { return m_entries; }
    QStringList captions() const
    {
        QStringList out;
        for (const auto& e : m_entries)
            out << e.caption;
        return out;
    }

    int selected() const { return m_selected; }
    void setSelected(int index) { m_selected = index; }

    // Grows by one on every change, so a dialog can tell when to reload.
    quint64 revision() const { return m_revision; }

private:
    QVector<DataFieldEntry> m_entries;
    int m_selected = 0;
    quint64 m_revision = 0;
};

} // namespace orvane::store
