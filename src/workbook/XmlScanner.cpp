#include "workbook/XmlScanner.h"

#include <cstring>

namespace orvane::workbook {

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;
// The longest single item (a tag, a text between tags, a comment): a cell's
// 32,767 characters written as character references take under 400 KB.
constexpr std::size_t kMaxItemBytes = std::size_t(4) << 20;
// The deepest nesting of elements; workbook parts need a handful.
constexpr std::size_t kMaxDepth = 256;
// The longest text of an element read whole (a cell's value): more UTF-8
// bytes than three a character hold more characters than a cell.
constexpr std::size_t kMaxElementTextBytes = 3 * 32767;
constexpr std::size_t kNotFound = std::string_view::npos;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends raw XML text with its entities replaced and its line ends made
// "\n"; false on an unknown entity or a bad character reference.
bool decodeInto(std::string& out, std::string_view raw, bool entities)
{
    out.reserve(out.size() + raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        if (c != '&' || !entities) {
            out += c;
            continue;
        }
        const std::size_t semi = raw.find(';', i);
        if (semi == kNotFound)
            return false;
        const std::string_view name = raw.substr(i + 1, semi - i - 1);
        if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "amp") out += '&';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8)
                return false;
            char32_t code = 0;
            for (const char d : digits) {
                int v = -1;
                if (d >= '0' && d <= '9') v = d - '0';
                else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                if (v < 0)
                    return false;
                code = code * (hex ? 16 : 10) + char32_t(v);
            }
            if (!isXmlChar(code))
                return false;
            appendUtf8(out, code);
        } else {
            return false;
        }
        i = semi;
    }
    return true;
}

} // namespace

XmlScanner::XmlScanner(Source source) : m_source(std::move(source))
{
    growBuffer(kChunk);
}

// Bytes the source has yet to fill need no zeroing: a small part then
// costs the pages it fills, not those of a whole chunk.
void XmlScanner::growBuffer(std::size_t size)
{
    auto bigger = std::make_unique_for_overwrite<char[]>(size);
    if (m_end > 0)
        std::memcpy(bigger.get(), m_buffer.get(), m_end);
    m_buffer = std::move(bigger);
    m_bufferSize = size;
}

void XmlScanner::fail(const char* why) const
{
    throw Malformed{QString::fromLatin1(why)};
}

// Makes at least `wanted` bytes from m_pos available; false when the source
// ends first. Offsets from m_pos stay valid; pointers into the buffer do not.
bool XmlScanner::fill(std::size_t wanted)
{
    if (m_end - m_pos >= wanted)
        return true;
    // Items are read whole from m_pos on: one that long would make the
    // buffer grow without end.
    if (wanted > kMaxItemBytes)
        fail("a tag, a text or a comment in it is longer than 4 MiB");
    if (m_pos > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    while (m_end < wanted && !m_atEnd) {
        if (m_bufferSize - m_end < kChunk)
            growBuffer(std::max(m_bufferSize * 2, m_end + kChunk));
        const long long got = m_source(m_buffer.get() + m_end, (long long)(m_bufferSize - m_end));
        if (got < 0)
            fail("the part cannot be read");
        if (got == 0)
            m_atEnd = true;
        m_end += std::size_t(got);
    }
    return m_end - m_pos >= wanted;
}

// Offset from m_pos of `what`, searching from offset `from`; kNotFound when
// the document ends without it.
std::size_t XmlScanner::findInBuffer(std::size_t from, std::string_view what)
{
    for (;;) {
        const std::string_view have(m_buffer.get() + m_pos, m_end - m_pos);
        const std::size_t at = have.find(what, from);
        if (at != kNotFound)
            return at;
        const std::size_t available = have.size();
        if (!fill(available + 1))
            return kNotFound;
        from = available >= what.size() ? available - what.size() + 1 : 0;
    }
}

// Offset from m_pos of the ">" that ends the tag starting at m_pos.
std::size_t XmlScanner::findTagEnd(std::size_t from)
{
    char quote = 0;
    for (std::size_t i = from;; ++i) {
        if (m_pos + i >= m_end && !fill(i + 1))
            fail("a tag is not closed");
        const char c = m_buffer[m_pos + i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        } else if (c == '<') {
            fail("a tag is not closed");
        }
    }
}

void XmlScanner::setName(std::string_view qualified)
{
    const std::size_t colon = qualified.find(':');
    m_localName = colon == kNotFound ? qualified : qualified.substr(colon + 1);
}

XmlScanner::Token XmlScanner::next()
{
    if (!m_started) {
        m_started = true;
        if (fill(3) && std::memcmp(m_buffer.get() + m_pos, "\xEF\xBB\xBF", 3) == 0)
            m_pos += 3;   // the UTF-8 byte order mark
    }
    for (;;) {
        if (!fill(1)) {
            if (!m_open.empty() || !m_seenRoot)
                fail("the document ends early");
            return Token::EndDocument;
        }
        const char* b = m_buffer.get() + m_pos;
        if (*b != '<') {
            std::size_t lt = findInBuffer(0, "<");
            if (lt == kNotFound)
                lt = m_end - m_pos;
            m_text = std::string_view(m_buffer.get() + m_pos, lt);
            m_cdata = false;
            m_pos += lt;
            if (m_open.empty()) {
                if (!isWhitespace())
                    fail("text stands outside the document's element");
                continue;
            }
            return Token::Characters;
        }
        if (!fill(2))
            fail("a tag is not closed");
        b = m_buffer.get() + m_pos;
        if (b[1] == '?') {
            const std::size_t end = findInBuffer(2, "?>");
            if (end == kNotFound)
                fail("a processing instruction is not closed");
            m_pos += end + 2;
            continue;
        }
        if (b[1] == '!') {
            fill(9);
            const std::string_view head(m_buffer.get() + m_pos, std::min<std::size_t>(9, m_end - m_pos));
            if (head.substr(0, 4) == "<!--") {
                const std::size_t end = findInBuffer(4, "-->");
                if (end == kNotFound)
                    fail("a comment is not closed");
                m_pos += end + 3;
                continue;
            }
            if (head == "<![CDATA[") {
                const std::size_t end = findInBuffer(9, "]]>");
                if (end == kNotFound || m_open.empty())
                    fail("a CDATA section is misplaced or not closed");
                m_text = std::string_view(m_buffer.get() + m_pos + 9, end - 9);
                m_cdata = true;
                m_pos += end + 3;
                return Token::Characters;
            }
            fail("a document type declaration is not allowed");
        }
        if (b[1] == '/') {
            const std::size_t end = findTagEnd(2);
            std::string_view qualified(m_buffer.get() + m_pos + 2, end - 2);
            while (!qualified.empty() && isSpace(qualified.back()))
                qualified.remove_suffix(1);
            if (m_open.empty() || m_open.back() != qualified)
                fail("an end tag does not match its start tag");
            m_closing = std::move(m_open.back());
            m_open.pop_back();
            m_pos += end + 1;
            setName(m_closing);
            return Token::EndElement;
        }
        const std::size_t end = findTagEnd(1);
        b = m_buffer.get() + m_pos;
        m_emptyElement = end >= 2 && b[end - 1] == '/';
        std::size_t nameEnd = 1;
        const std::size_t tagEnd = m_emptyElement ? end - 1 : end;
        while (nameEnd < tagEnd && !isSpace(b[nameEnd]))
            ++nameEnd;
        const std::string_view qualified(b + 1, nameEnd - 1);
        if (qualified.empty())
            fail("an element has no name");
        if (m_open.empty() && m_seenRoot)
            fail("the document has more than one element at its top");
        m_seenRoot = true;
        m_tag = std::string_view(b + nameEnd, tagEnd - nameEnd);
        setName(qualified);
        if (!m_emptyElement) {
            if (m_open.size() >= kMaxDepth)
                fail("its elements are nested more than 256 deep");
            m_open.emplace_back(qualified);
        }
        m_pos += end + 1;
        return Token::StartElement;
    }
}

namespace {

// Walks the attributes of a tag: calls visit(qualifiedName, rawValue) for
// each until it returns true. False on a malformed attribute list.
template <typename Visit>
bool forEachAttribute(std::string_view tag, Visit visit)
{
    std::size_t i = 0;
    for (;;) {
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size())
            return true;
        const std::size_t nameStart = i;
        while (i < tag.size() && tag[i] != '=' && !isSpace(tag[i]))
            ++i;
        const std::string_view name = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size() || tag[i] != '=' || name.empty())
            return false;
        ++i;
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return false;
        const char quote = tag[i++];
        const std::size_t close = tag.find(quote, i);
        if (close == kNotFound)
            return false;
        if (visit(name, tag.substr(i, close - i)))
            return true;
        i = close + 1;
    }
}

} // namespace

std::string XmlScanner::attribute(std::string_view qualifiedName, bool* found) const
{
    std::string value;
    bool have = false;
    const bool wellFormed = forEachAttribute(m_tag, [&](std::string_view name, std::string_view raw) {
        if (name != qualifiedName)
            return false;
        have = true;
        if (raw.find('&') == kNotFound && raw.find_first_of("\t\n\r") == kNotFound)
            value.assign(raw);
        else if (!decodeInto(value, raw, true))
            fail("an attribute holds an unknown entity");
        return true;
    });
    if (!wellFormed)
        fail("an attribute is malformed");
    for (char& c : value)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    if (found)
        *found = have;
    return value;
}

void XmlScanner::rawAttributes(std::initializer_list<std::pair<std::string_view, std::string_view*>> wanted) const
{
    for (const auto& [name, value] : wanted)
        *value = {};
    const bool wellFormed = forEachAttribute(m_tag, [&](std::string_view name, std::string_view raw) {
        for (const auto& [wantedName, value] : wanted)
            if (name == wantedName)
                *value = raw;
        return false;
    });
    if (!wellFormed)
        fail("an attribute is malformed");
}

bool XmlScanner::attributeByLocalName(std::string_view localName, std::string& value) const
{
    std::string qualified;
    forEachAttribute(m_tag, [&](std::string_view name, std::string_view) {
        const std::size_t colon = name.find(':');
        if ((colon == kNotFound ? name : name.substr(colon + 1)) != localName)
            return false;
        qualified.assign(name);
        return true;
    });
    if (qualified.empty())
        return false;
    value = attribute(qualified);
    return true;
}

void XmlScanner::appendText(std::string& utf8) const
{
    if (!decodeInto(utf8, m_text, !m_cdata))
        fail("the text holds an unknown entity or a bad character reference");
}

void XmlScanner::appendText(QString& out) const
{
    if (m_cdata || m_text.find_first_of("&\r") != kNotFound) {
        std::string decoded;
        appendText(decoded);
        out += QString::fromUtf8(decoded.data(), qsizetype(decoded.size()));
    } else {
        out += QString::fromUtf8(m_text.data(), qsizetype(m_text.size()));
    }
}

bool XmlScanner::isWhitespace() const
{
    for (const char c : m_text)
        if (!isSpace(c))
            return false;
    return true;
}

void XmlScanner::skipElement()
{
    if (m_emptyElement)
        return;
    const std::size_t depth = m_open.size();
    while (m_open.size() >= depth)
        next();
}

std::string XmlScanner::elementText()
{
    std::string text;
    if (m_emptyElement)
        return text;
    for (;;) {
        switch (next()) {
        case Token::Characters:
            appendText(text);
            if (text.size() > kMaxElementTextBytes)
                fail("a cell's value is longer than the 32,767 characters a cell holds");
            break;
        case Token::EndElement:
            return text;
        case Token::StartElement:
            fail("an element holds an element where text was expected");
        case Token::EndDocument:
            fail("the document ends early");
        }
    }
}

} // namespace orvane::workbook
