#pragma once
// The style registry of one export: an ordered list of distinct cell styles,
// addressed by small indices. Registries are shared per output file name and
// reference counted; the last release destroys one.

#include "export/ExportCellStyle.h"

#include <QString>
#include <unordered_map>
#include <vector>

namespace orvane::exporting {

class TcxExportStyleManager {
public:
    // The registry for a file name: a new name gets an empty registry with
    // count 1; a known one gets the default style registered (or found) and
    // its count raised.
    static TcxExportStyleManager* GetInstance(const QString& fileName,
                                              const ExportCellStyle& defaultStyle = defaultExportCellStyle());

    // Fills style.StyleHash and returns the index of an equal registered
    // style, or registers a copy and returns its new index (0, 1, 2, ...).
    int AddStyle(ExportCellStyle& style);
    // The style at a registered index. Throws EcxExportData for any other.
    const ExportCellStyle& StyleAt(int index) const;
    int Count() const { return int(m_styles.size()); }

    // Lowers the count; at zero the registry leaves the map and is destroyed.
    // The pointer must not be used afterwards.
    void Release();
    int RefCount() const { return m_refCount; }

    // Destroys the registry now. Refused while it is still referenced.
    void Destroy();

    // Number of registries alive (for checks of the lifecycle).
    static int InstanceCount();

private:
    explicit TcxExportStyleManager(QString name) : m_name(std::move(name)) {}
    ~TcxExportStyleManager() = default;

    QString m_name;
    int m_refCount = 1;
    std::vector<ExportCellStyle> m_styles;
    std::unordered_multimap<std::uint32_t, int> m_byHash;
};

} // namespace orvane::exporting
