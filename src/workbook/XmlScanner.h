#pragma once
// A small pull scanner for the XML parts of an .xlsx workbook, read piece by
// piece from their source (a part of several hundred megabytes is never held
// whole). It works on the UTF-8 bytes and turns only the texts asked for into
// QString, so that millions of empty cells cost little.
//
// It checks what the parts need: tags close in order, entities and character
// references are known, the document ends complete. Line ends in text come
// as "\n" (a literal CR LF or CR), as any XML reader gives them; "&#13;"
// stays a CR. A document type declaration is refused: the parts of a
// workbook have none, and its entities could make a small file expand
// without bound.

#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::workbook {

class XmlScanner {
public:
    // Fills `into` with up to `size` bytes; returns how many, 0 at the end,
    // below 0 on a read error.
    using Source = std::function<long long(char* into, long long size)>;

    // Thrown by next() on malformed XML or a failed read.
    struct Malformed {
        QString why;
    };

    enum class Token { StartElement, EndElement, Characters, EndDocument };

    explicit XmlScanner(Source source);

    Token next();

    // Of the current start or end element: its name without prefix.
    std::string_view name() const { return m_localName; }
    // Of the current start element: "<x/>", which no EndElement follows.
    bool isEmptyElement() const { return m_emptyElement; }
    // Of the current start element: the value of the attribute with this
    // qualified name, entities replaced; `found` tells whether it is there.
    std::string attribute(std::string_view qualifiedName, bool* found = nullptr) const;
    // Of the current start element: the values of the attributes with
    // these qualified names, as they stand in the tag (entities not
    // replaced), valid until next(); empty for those missing. One pass over
    // the tag, nothing allocated.
    void rawAttributes(std::initializer_list<std::pair<std::string_view, std::string_view*>> wanted) const;
    // Whether the current start element has an attribute with this local
    // name; its value into `value`.
    bool attributeByLocalName(std::string_view localName, std::string& value) const;

    // Of the current characters (text or a CDATA section): append them.
    void appendText(QString& out) const;
    void appendText(std::string& utf8) const;
    // Whether they are only white space.
    bool isWhitespace() const;

    // Reads up to the end of the current start element, skipping all inside.
    void skipElement();
    // The text of the current start element, which must hold text only.
    std::string elementText();

private:
    bool fill(std::size_t wanted);
    void growBuffer(std::size_t size);
    std::size_t findInBuffer(std::size_t from, std::string_view what);
    std::size_t findTagEnd(std::size_t from);
    void setName(std::string_view qualified);
    [[noreturn]] void fail(const char* why) const;

    Source m_source;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferSize = 0;
    std::size_t m_pos = 0;   // next unread byte
    std::size_t m_end = 0;   // end of the bytes read
    bool m_atEnd = false;    // the source has no more

    std::string_view m_localName;
    std::string_view m_tag;       // start tag between its name and ">" or "/>"
    std::string_view m_text;      // current characters
    bool m_cdata = false;
    bool m_emptyElement = false;
    bool m_started = false;
    bool m_seenRoot = false;
    std::vector<std::string> m_open;   // qualified names of the open elements
    std::string m_closing;             // name of the element an EndElement closes
};

} // namespace orvane::workbook
