#include "logedit/FontLayoutTables.h"

#include <QByteArray>
#include <QRawFont>

namespace orvane::logedit {

namespace {

struct Malformed {};

// Big-endian reads inside one table; any read past its end is malformed.
class TableBytes {
public:
    explicit TableBytes(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool empty() const { return m_bytes.isEmpty(); }
    quint16 u16(qsizetype at) const
    {
        check(at, 2);
        return quint16(byte(at) << 8 | byte(at + 1));
    }
    quint32 u32(qsizetype at) const
    {
        check(at, 4);
        return quint32(u16(at)) << 16 | u16(at + 2);
    }

private:
    void check(qsizetype at, qsizetype size) const
    {
        if (at < 0 || at + size > m_bytes.size())
            throw Malformed{};
    }
    quint32 byte(qsizetype at) const { return quint8(m_bytes.at(at)); }

    QByteArray m_bytes;
};

// Every glyph of a coverage table.
void addCoverage(const TableBytes& t, qsizetype at, QSet<quint32>& glyphs)
{
    const quint16 format = t.u16(at);
    const quint16 count = t.u16(at + 2);
    if (format == 1) {
        for (qsizetype i = 0; i < count; ++i)
            glyphs.insert(t.u16(at + 4 + 2 * i));
    } else if (format == 2) {
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype range = at + 4 + 6 * i;
            for (quint32 g = t.u16(range), last = t.u16(range + 2); g <= last; ++g)
                glyphs.insert(g);
        }
    } else {
        throw Malformed{};
    }
}

// The glyphs whose classes are 2, 3 or 4 (ligature, mark, component): a
// lookup flag may skip them, so kerning may pair glyphs around them.
void addSkippableGlyphs(const TableBytes& gdef, QSet<quint32>& glyphs)
{
    const quint16 classDef = gdef.u16(4);
    if (classDef == 0)
        return;
    auto skippable = [](quint16 glyphClass) { return glyphClass >= 2 && glyphClass <= 4; };
    const quint16 format = gdef.u16(classDef);
    if (format == 1) {
        const quint32 first = gdef.u16(classDef + 2);
        const quint16 count = gdef.u16(classDef + 4);
        for (qsizetype i = 0; i < count; ++i)
            if (skippable(gdef.u16(classDef + 6 + 2 * i)))
                glyphs.insert(first + quint32(i));
    } else if (format == 2) {
        const quint16 count = gdef.u16(classDef + 2);
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype range = classDef + 4 + 6 * i;
            if (skippable(gdef.u16(range + 4)))
                for (quint32 g = gdef.u16(range), last = gdef.u16(range + 2); g <= last; ++g)
                    glyphs.insert(g);
        }
    } else {
        throw Malformed{};
    }
}

enum class LayoutTable { Substitution, Positioning };

// The coverage at which a contextual subtable (formats 1 to 3) starts: its
// own coverage, or that of its first input glyph.
void addContextCoverage(const TableBytes& t, qsizetype at, bool chained, QSet<quint32>& glyphs)
{
    const quint16 format = t.u16(at);
    if (format == 1 || format == 2) {
        addCoverage(t, at + t.u16(at + 2), glyphs);
    } else if (format == 3) {
        qsizetype input = at + 6;   // glyph count, lookup count, then the coverages
        if (chained) {
            const quint16 backtrack = t.u16(at + 2);
            input = at + 4 + 2 * backtrack + 2;   // past the backtrack coverages and the input count
            if (t.u16(input - 2) == 0)
                return;
        } else if (t.u16(at + 2) == 0) {
            return;
        }
        addCoverage(t, at + t.u16(input), glyphs);
    } else {
        throw Malformed{};
    }
}

// One subtable of a lookup: the glyphs at which it may act on more than one
// glyph's own advance and its pair kerning.
void addSubtable(const TableBytes& t, LayoutTable table, quint16 type, qsizetype at, QSet<quint32>& glyphs)
{
    const bool substitution = table == LayoutTable::Substitution;
    const quint16 extension = substitution ? 7 : 9;
    if (type == extension) {
        const quint16 realType = t.u16(at + 2);
        if (realType == extension)
            throw Malformed{};
        addSubtable(t, table, realType, at + qsizetype(t.u32(at + 4)), glyphs);
        return;
    }
    if (substitution) {
        // Every substitution changes glyphs, hence advances and pairs.
        if (type == 5 || type == 6)
            addContextCoverage(t, at, type == 6, glyphs);
        else
            addCoverage(t, at + t.u16(at + 2), glyphs);
        return;
    }
    switch (type) {
    case 1:   // single adjustment: the glyph's own advance, as measured alone
    case 2:   // pair adjustment: the kerning of neighbours, as measured in pairs
        return;
    case 7:
    case 8:
        addContextCoverage(t, at, type == 8, glyphs);
        return;
    default:   // cursive and mark attachment: the glyphs they start at
        addCoverage(t, at + t.u16(at + 2), glyphs);
        return;
    }
}

// Features a shaper applies to horizontal left-to-right text unless asked
// not to. Others ("frac", "smcp", "sups", ...) act only when asked for, or
// around characters that are never plain (the fraction slash).
bool appliedByDefault(const TableBytes& t, qsizetype tagAt)
{
    const quint32 tag = t.u32(tagAt);
    for (const char* name : {"abvm", "blwm", "calt", "ccmp", "clig", "curs", "dist", "kern", "liga", "locl", "ltra",
                             "ltrm", "mark", "mkmk", "rclt", "rlig", "rvrn"}) {
        const quint32 wanted = quint32(quint8(name[0])) << 24 | quint32(quint8(name[1])) << 16
                               | quint32(quint8(name[2])) << 8 | quint32(quint8(name[3]));
        if (tag == wanted)
            return true;
    }
    return false;
}

// The lookups a shaper may apply by default: those of the default features
// and of every script's and language's required feature. A font whose
// features vary (with the axes of a variable font) has all of them taken.
QSet<quint16> defaultLookups(const TableBytes& t, quint16 lookupCount)
{
    QSet<quint16> lookups;
    const bool varies = t.u16(2) >= 1 && t.u32(10) != 0;
    if (varies) {
        for (quint16 i = 0; i < lookupCount; ++i)
            lookups.insert(i);
        return lookups;
    }
    const qsizetype featureList = t.u16(6);
    if (featureList == 0)
        return lookups;
    const quint16 featureCount = t.u16(featureList);
    auto addFeature = [&](quint16 index) {
        if (index >= featureCount)
            throw Malformed{};
        const qsizetype feature = featureList + t.u16(featureList + 2 + 6 * index + 4);
        const quint16 count = t.u16(feature + 2);
        for (qsizetype k = 0; k < count; ++k)
            lookups.insert(t.u16(feature + 4 + 2 * k));
    };
    for (quint16 i = 0; i < featureCount; ++i)
        if (appliedByDefault(t, featureList + 2 + 6 * i))
            addFeature(i);
    const qsizetype scriptList = t.u16(4);
    if (scriptList == 0)
        return lookups;
    auto addRequired = [&](qsizetype langSys) {
        const quint16 required = t.u16(langSys + 2);
        if (required != 0xFFFF)
            addFeature(required);
    };
    const quint16 scriptCount = t.u16(scriptList);
    for (qsizetype i = 0; i < scriptCount; ++i) {
        const qsizetype script = scriptList + t.u16(scriptList + 2 + 6 * i + 4);
        if (const quint16 defaultLangSys = t.u16(script))
            addRequired(script + defaultLangSys);
        const quint16 langSysCount = t.u16(script + 2);
        for (qsizetype k = 0; k < langSysCount; ++k)
            addRequired(script + t.u16(script + 4 + 6 * k + 4));
    }
    return lookups;
}

// The glyphs at which the default lookups of a GSUB or GPOS table may act
// beyond one glyph's advance and its pair kerning. Lookups that others call
// from a context act only inside it, which starts at a glyph taken here.
void addLookups(const TableBytes& t, LayoutTable table, QSet<quint32>& glyphs)
{
    if (t.empty())
        return;
    const qsizetype lookupList = t.u16(8);
    if (lookupList == 0)
        return;
    const quint16 lookupCount = t.u16(lookupList);
    for (const quint16 i : defaultLookups(t, lookupCount)) {
        if (i >= lookupCount)
            throw Malformed{};
        const qsizetype lookup = lookupList + t.u16(lookupList + 2 + 2 * i);
        const quint16 type = t.u16(lookup);
        const quint16 subtableCount = t.u16(lookup + 4);
        for (qsizetype k = 0; k < subtableCount; ++k)
            addSubtable(t, table, type, lookup + t.u16(lookup + 6 + 2 * k), glyphs);
    }
}

// Tables through which a shaper lays text out by rules not read here.
bool hasOtherLayoutTables(const QRawFont& font)
{
    for (const char* tag : {"morx", "mort", "kerx", "trak"})
        if (!font.fontTable(tag).isEmpty())
            return true;
    // The kerning table of version 1 (32-bit version) may hold state machines.
    const TableBytes kern(font.fontTable("kern"));
    return !kern.empty() && kern.u16(0) != 0;
}

} // namespace

ContextualGlyphs contextualGlyphs(const QRawFont& font)
{
    ContextualGlyphs result;
    try {
        if (!font.isValid() || hasOtherLayoutTables(font)) {
            result.wholeFont = true;
            return result;
        }
        addLookups(TableBytes(font.fontTable("GSUB")), LayoutTable::Substitution, result.glyphs);
        addLookups(TableBytes(font.fontTable("GPOS")), LayoutTable::Positioning, result.glyphs);
        const TableBytes gdef(font.fontTable("GDEF"));
        if (!gdef.empty())
            addSkippableGlyphs(gdef, result.glyphs);
    } catch (const Malformed&) {
        result.wholeFont = true;
        result.glyphs.clear();
    }
    return result;
}

} // namespace orvane::logedit
