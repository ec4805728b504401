#include "export/ExportStyleManager.h"

#include "common/Errors.h"

#include <QHash>
#include <memory>

namespace orvane::exporting {

namespace {

QHash<QString, TcxExportStyleManager*>& registries()
{
    static QHash<QString, TcxExportStyleManager*> map;
    return map;
}

} // namespace

TcxExportStyleManager* TcxExportStyleManager::GetInstance(const QString& fileName,
                                                         const ExportCellStyle& defaultStyle)
{
    auto& map = registries();
    auto it = map.find(fileName);
    if (it != map.end()) {
        TcxExportStyleManager* manager = it.value();
        ExportCellStyle style = defaultStyle;
        manager->AddStyle(style);
        ++manager->m_refCount;
        return manager;
    }
    auto* manager = new TcxExportStyleManager(fileName);
    map.insert(fileName, manager);
    return manager;
}

int TcxExportStyleManager::AddStyle(ExportCellStyle& style)
{
    style.StyleHash = styleHash(style);
    auto [first, last] = m_byHash.equal_range(style.StyleHash);
    for (auto it = first; it != last; ++it) {
        if (sameStyle(m_styles[std::size_t(it->second)], style))
            return it->second;
    }
    const int index = int(m_styles.size());
    m_styles.push_back(style);
    m_byHash.emplace(style.StyleHash, index);
    return index;
}

const ExportCellStyle& TcxExportStyleManager::StyleAt(int index) const
{
    if (index < 0 || std::size_t(index) >= m_styles.size())
        throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(index));
    return m_styles[std::size_t(index)];
}

void TcxExportStyleManager::Release()
{
    if (--m_refCount > 0)
        return;
    m_refCount = 0;
    Destroy();
}

void TcxExportStyleManager::Destroy()
{
    if (m_refCount != 0)
        throw EcxExportData(QStringLiteral(
            "The Style Manager is currently being used elsewhere and can not be released at this stage"));
    m_styles.clear();
    m_byHash.clear();
    registries().remove(m_name);
    delete this;
}

int TcxExportStyleManager::InstanceCount() { return int(registries().size()); }

} // namespace orvane::exporting
