// The cell style record, its hash and the style registry's lifecycle.

#include "common/Errors.h"
#include "export/ExportCellStyle.h"
#include "export/ExportStyleManager.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace orvane::exporting;

// The hash rotates left by five and XORs each byte; the values are worked
// out by hand, the second wraps bits round the top.
TEST(ExportCellStyle, HashRotatesAndXors)
{
    const std::uint8_t bytes[] = {0x01, 0x02, 0xFF};
    EXPECT_EQ(exportHash(bytes, 3), 0x4BFu);   // ((1 rol 5) ^ 2) rol 5 ^ 0xFF
    std::uint8_t many[40];
    std::memset(many, 0x80, sizeof many);
    EXPECT_EQ(exportHash(many, sizeof many), 0xF7BDEB5Eu);

    // A style's hash covers what it looks like, not the hash field itself.
    ExportCellStyle s = defaultExportCellStyle();
    const std::uint32_t plain = styleHash(s);
    s.StyleHash = 0x12345678;
    EXPECT_EQ(styleHash(s), plain);
    s.BrushBkColor ^= 1;   // the last field of the key
    EXPECT_NE(styleHash(s), plain);
}

TEST(TcxExportStyleManager, SameBytesSameIndex)
{
    auto* m = TcxExportStyleManager::GetInstance(QStringLiteral("/tmp/styles-a.xls"));
    ExportCellStyle a = defaultExportCellStyle();
    ExportCellStyle b = a;
    b.AlignText = 2;
    EXPECT_EQ(m->AddStyle(a), 0);
    EXPECT_EQ(m->AddStyle(b), 1);
    ExportCellStyle again = defaultExportCellStyle();
    again.StyleHash = 0xDEADBEEF;   // only the first 92 bytes count
    EXPECT_EQ(m->AddStyle(again), 0);
    EXPECT_EQ(again.StyleHash, styleHash(a));
    EXPECT_EQ(m->StyleAt(1).AlignText, 2);
    EXPECT_THROW(m->StyleAt(2), orvane::EcxExportData);
    m->Release();
}

TEST(TcxExportStyleManager, SharedByNameAndDestroyedOnLastRelease)
{
    const int before = TcxExportStyleManager::InstanceCount();
    const QString name = QStringLiteral("/tmp/styles-b.xls");
    auto* first = TcxExportStyleManager::GetInstance(name);
    ExportCellStyle bold = defaultExportCellStyle();
    bold.FontStyle = kFontBold;
    EXPECT_EQ(first->AddStyle(bold), 0);
    // A second user of the same name shares it; the default style is added.
    auto* second = TcxExportStyleManager::GetInstance(name);
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->RefCount(), 2);
    EXPECT_EQ(second->Count(), 2);
    try {
        second->Destroy();
        FAIL() << "destroyed while referenced";
    } catch (const orvane::EcxExportData& e) {
        EXPECT_EQ(e.message(), QStringLiteral("The Style Manager is currently being used elsewhere "
                                              "and can not be released at this stage"));
    }
    EXPECT_EQ(first->Count(), 2);   // nothing was freed
    second->Release();
    first->Release();
    EXPECT_EQ(TcxExportStyleManager::InstanceCount(), before);
    // The next export to the same name starts empty.
    auto* fresh = TcxExportStyleManager::GetInstance(name);
    EXPECT_EQ(fresh->Count(), 0);
    ExportCellStyle plain = defaultExportCellStyle();
    EXPECT_EQ(fresh->AddStyle(plain), 0);
    fresh->Release();
}
