// The cell style record, its hash and the style registry's lifecycle.

#include "common/Errors.h"
#include "export/ExportCellStyle.h"
#include "export/ExportStyleManager.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace orvane::exporting;

TEST(ExportCellStyle, DefaultStyleBytes)
{
    const ExportCellStyle& s = defaultExportCellStyle();
    const auto* b = reinterpret_cast<const std::uint8_t*>(&s);
    const SystemColors& c = systemColors();
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(std::memcmp(b + 1, "Tahoma\0", 7), 0);
    EXPECT_EQ(b[34], 0);
    auto u32at = [&](int at) { std::uint32_t v; std::memcpy(&v, b + at, 4); return v; };
    EXPECT_EQ(u32at(35), c.buttonText);
    EXPECT_EQ(u32at(39), 8u);
    EXPECT_EQ(u32at(43), 0u);
    for (int side = 0; side < 4; ++side) {
        EXPECT_EQ(b[47 + 9 * side], 0);
        EXPECT_EQ(u32at(48 + 9 * side), 1u);
        EXPECT_EQ(u32at(52 + 9 * side), c.buttonShadow);
    }
    EXPECT_EQ(b[83], 1);
    EXPECT_EQ(u32at(84), c.window);
    EXPECT_EQ(u32at(88), 0u);
}

TEST(ExportCellStyle, HashRotatesAndXors)
{
    const std::uint8_t bytes[] = {0x01, 0x02, 0xFF};
    // ((0 ^ 1) rol 5 ^ 2) rol 5 ^ 0xFF
    EXPECT_EQ(exportHash(bytes, 3), ((((1u << 5) ^ 2u) << 5) ^ 0xFFu));
    std::uint8_t many[40];
    std::memset(many, 0x80, sizeof many);
    std::uint32_t h = 0;
    for (std::uint8_t v : many)
        h = ((h << 5) | (h >> 27)) ^ v;
    EXPECT_EQ(exportHash(many, sizeof many), h);   // the rotation wraps bits around
    ExportCellStyle s = defaultExportCellStyle();
    s.StyleHash = 0x12345678;
    EXPECT_EQ(styleHash(s), exportHash(&s, 92));
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
