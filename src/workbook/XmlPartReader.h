#pragma once
// One XML part of an .xlsx workbook parsed by QXmlStreamReader, fed piece
// by piece from its source, so that a part of several hundred megabytes is
// never held whole. Around the parser it keeps what a hostile part must not
// get past:
// - a document type declaration is refused: the parts of a workbook have
//   none, and its entities could make a small part expand without bound;
// - a single item (a tag, a text between tags, a comment) longer than
//   kMaxItemBytes is refused before the parser's buffers grow with it;
// - elements nested deeper than kMaxDepth are refused.
// Every fault, of the XML or of the source, comes as Malformed with words
// a user can read.

#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

namespace orvane::workbook {

class XmlPartReader {
public:
    // Fills `into` with up to `size` bytes; returns how many, 0 at the end.
    // It may throw Malformed (a part found too large while read).
    using Source = std::function<qint64(char* into, qint64 size)>;

    struct Malformed {
        QString why;
    };

    // The longest single item: a cell's 32,767 characters written as
    // character references take under 400 KB.
    static constexpr qint64 kMaxItemBytes = qint64(4) << 20;
    // The deepest nesting of elements; workbook parts need a handful.
    static constexpr int kMaxDepth = 256;

    explicit XmlPartReader(Source source);
    ~XmlPartReader();
    XmlPartReader(const XmlPartReader&) = delete;
    XmlPartReader& operator=(const XmlPartReader&) = delete;

    // The next StartElement, EndElement, Characters (text or CDATA, line
    // ends made "\n") or, once the document ended complete, EndDocument.
    // An empty element "<x/>" comes as a StartElement and its EndElement.
    QXmlStreamReader::TokenType next();

    // Of the current start or end element: its name without prefix.
    QStringView name() const { return m_xml.name(); }
    // Of the current start element: the value of the attribute with this
    // qualified name (empty when it has none), entities replaced.
    QStringView attribute(const char* qualifiedName) const
    {
        return m_xml.attributes().value(QLatin1StringView(qualifiedName));
    }
    QXmlStreamAttributes attributes() const { return m_xml.attributes(); }
    // Of the current characters.
    QStringView text() const { return m_xml.text(); }

    // From the current start element, reads up to its end.
    void skipElement();
    // The text of the current start element, which must hold text only and
    // at most maxChars characters (tooLong says why it is refused).
    QString elementText(qsizetype maxChars, const QString& tooLong);

private:
    class SourceDevice;
    [[noreturn]] void fail() const;

    std::unique_ptr<SourceDevice> m_device;
    QXmlStreamReader m_xml;
    int m_depth = 0;
};

} // namespace orvane::workbook
