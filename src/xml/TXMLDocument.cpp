#include "TXMLDocument.h"

#include <cstring>

#include <QFile>
#include <QStringDecoder>

#include "FileReplacement.h"
#include "NamespaceNormalization.h"
#include "XmlErrors.h"

namespace {

QStringList splitLines(const QString& text) {
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

// The second line of the text (without its line end) loses a patient-data namespace.
void normalizeSecondLine(QString& text) {
    const qsizetype start = text.indexOf(u'\n');
    if (start < 0)
        return;
    qsizetype end = text.indexOf(u'\n', start + 1);
    if (end < 0)
        end = text.size();
    if (end > start + 1 && text.at(end - 1) == u'\r')
        --end;
    QString line = text.mid(start + 1, end - start - 1);
    NormalizeNamespace(line);
    text.replace(start + 1, end - start - 1, line);
}

QString decodeFile(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE)(bytes.mid(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    // UTF-16 without a byte-order mark, as the network duplicates are written: "<" then 0.
    if (bytes.size() >= 2 && bytes.at(0) == '<' && bytes.at(1) == '\0')
        return QStringDecoder(QStringDecoder::Utf16LE)(bytes);
    return QString::fromUtf8(bytes);
}

QString describeFailure(const pugi::xml_parse_result& result, const QByteArray& utf8) {
    const qsizetype offset = std::clamp<qsizetype>(result.offset, 0, utf8.size());
    const QByteArray before = utf8.left(offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("XML error at line %1, column %2: %3")
        .arg(line)
        .arg(column)
        .arg(QString::fromUtf8(result.description()));
}

} // namespace

void TXMLDocument::parse(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > kLargestDocument)
        throw EXmlParseError(
            QStringLiteral("The XML document has %1 bytes; documents over %2 bytes are refused")
                .arg(utf8.size())
                .arg(kLargestDocument));
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata;
    const pugi::xml_parse_result result =
        m_document.load_buffer(utf8.constData(), size_t(utf8.size()), options, pugi::encoding_utf8);
    if (!result) {
        m_document.reset();
        m_active = false;
        throw EXmlParseError(describeFailure(result, utf8));
    }
    m_active = true;
}

void TXMLDocument::LoadFromText(const QString& text) {
    m_text = text;
    m_lines.reset();
    parse(text);
}

void TXMLDocument::LoadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EXmlFileUnreadable(QStringLiteral("Could not read ") + path + QStringLiteral(": ") +
                                 file.errorString());
    if (file.size() > 2 * kLargestDocument)
        throw EXmlParseError(QStringLiteral("The XML file %1 has %2 bytes; documents over %3 bytes "
                                            "are refused")
                                 .arg(path)
                                 .arg(file.size())
                                 .arg(kLargestDocument));
    m_text = decodeFile(file.readAll());
    m_lines.reset();
    normalizeSecondLine(m_text);
    // Line ends reach the parser as they are: it reads CR LF as LF.
    parse(m_text);
}

const QStringList& TXMLDocument::Lines() const {
    if (!m_lines)
        m_lines = splitLines(m_text);
    return *m_lines;
}

void TXMLDocument::SaveToFile(const QString& path) const {
    // The declaration keeps a line of its own (readers find the root start tag on line 2) and
    // says UTF-8, as the text is written in UTF-8.
    QByteArray text;
    const pugi::xml_node first = m_document.first_child();
    if (first.type() == pugi::node_declaration) {
        text = "<?xml";
        for (const pugi::xml_attribute& attribute : first.attributes()) {
            const bool encoding = std::strcmp(attribute.name(), "encoding") == 0;
            text += QByteArray(" ") + attribute.name() + "=\"" +
                    (encoding ? "utf-8" : attribute.value()) + "\"";
        }
        text += "?>\r\n";
    }
    struct Writer : pugi::xml_writer {
        QByteArray* out;
        void write(const void* data, size_t size) override {
            out->append(static_cast<const char*>(data), qsizetype(size));
        }
    } writer;
    writer.out = &text;
    for (pugi::xml_node node = first; node; node = node.next_sibling()) {
        if (node.type() != pugi::node_declaration)
            node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    }
    // A document that cannot be written whole leaves no file (and an older one as it was).
    const QString failure = FileReplacement::replace(path, text);
    if (!failure.isEmpty())
        throw EXmlParseError(failure);
}

void TXMLDocument::Deactivate() {
    m_document.reset();
    m_text.clear();
    m_lines.reset();
    m_active = false;
}

bool DocumentContains(const QString& text, const TXMLDocument& document) {
    // A text without line breaks is in some line exactly when it is in the whole text.
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return document.Text().contains(text);
    for (const QString& line : document.Lines()) {
        if (line.contains(text))
            return true;
    }
    return false;
}
