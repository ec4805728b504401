#include "workbook/XmlPartReader.h"

#include <QIODevice>

#include <exception>

namespace orvane::workbook {

// The parser reads its bytes through a QIODevice. Faults met while reading
// (the source's own, an item grown too long) cannot be thrown through the
// parser: the device ends the data instead and keeps the fault, which
// next() throws once the parser stopped.
class XmlPartReader::SourceDevice : public QIODevice {
public:
    explicit SourceDevice(Source source) : m_source(std::move(source)) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }

    // The parser gave a token: the item it reads next starts afresh.
    void tokenGiven() { m_sinceToken = 0; }
    void rethrowFault() const
    {
        if (m_fault)
            std::rethrow_exception(m_fault);
    }

protected:
    qint64 readData(char* into, qint64 size) override
    {
        if (m_fault)
            return -1;
        try {
            // Bytes handed over without a token coming out of them are one
            // item still open: refused before the parser buffers more of it.
            if (m_sinceToken > kMaxItemBytes)
                throw Malformed{QStringLiteral("a tag, a text or a comment in it is longer than 4 MiB")};
            // Filled whole: the parser takes a short first read for the end.
            qint64 filled = 0;
            while (filled < size) {
                const qint64 got = m_source(into + filled, size - filled);
                if (got < 0)
                    throw Malformed{QStringLiteral("the part cannot be read")};
                if (got == 0)
                    break;
                filled += got;
            }
            m_sinceToken += filled;
            return filled;
        } catch (...) {
            m_fault = std::current_exception();
            return -1;
        }
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    Source m_source;
    qint64 m_sinceToken = 0;
    std::exception_ptr m_fault;
};

XmlPartReader::XmlPartReader(Source source) : m_device(std::make_unique<SourceDevice>(std::move(source)))
{
    m_xml.setDevice(m_device.get());
}

XmlPartReader::~XmlPartReader() = default;

void XmlPartReader::fail() const
{
    m_device->rethrowFault();
    if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        throw Malformed{QStringLiteral("the document ends early")};
    // Qt's words are a sentence of their own; here they follow the part's name.
    QString why = m_xml.errorString();
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (!why.isEmpty())
        why[0] = why.at(0).toLower();
    throw Malformed{QStringLiteral("line %1, column %2: %3").arg(m_xml.lineNumber()).arg(m_xml.columnNumber()).arg(why)};
}

QXmlStreamReader::TokenType XmlPartReader::next()
{
    for (;;) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        m_device->tokenGiven();
        switch (token) {
        case QXmlStreamReader::StartElement:
            if (++m_depth > kMaxDepth)
                throw Malformed{QStringLiteral("its elements are nested more than %1 deep").arg(kMaxDepth)};
            return token;
        case QXmlStreamReader::EndElement:
            --m_depth;
            return token;
        case QXmlStreamReader::Characters:
            return token;
        case QXmlStreamReader::EndDocument:
            // A fault of the source may have ended the data right after
            // the document's element.
            m_device->rethrowFault();
            return token;
        case QXmlStreamReader::DTD:
            throw Malformed{QStringLiteral("a document type declaration is not allowed")};
        case QXmlStreamReader::Invalid:
            fail();
        case QXmlStreamReader::NoToken:
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        }
    }
}

void XmlPartReader::skipElement()
{
    const int depth = m_depth;
    while (m_depth >= depth)
        next();
}

QString XmlPartReader::elementText(qsizetype maxChars, const QString& tooLong)
{
    QString text;
    for (;;) {
        switch (next()) {
        case QXmlStreamReader::Characters:
            text += m_xml.text();
            if (text.size() > maxChars)
                throw Malformed{tooLong};
            break;
        case QXmlStreamReader::EndElement:
            return text;
        default:
            throw Malformed{QStringLiteral("an element holds an element where text was expected")};
        }
    }
}

} // namespace orvane::workbook
