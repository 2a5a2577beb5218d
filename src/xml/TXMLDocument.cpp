#include "TXMLDocument.h"

#include <algorithm>
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

// Where the second line of UTF-8 bytes begins and how long it is (without its line end); false
// when there is no second line.
bool secondLine(QByteArrayView bytes, qsizetype& start, qsizetype& size) {
    const qsizetype newline = bytes.indexOf('\n');
    if (newline < 0)
        return false;
    start = newline + 1;
    qsizetype end = QByteArrayView(bytes).sliced(start).indexOf('\n');
    end = end < 0 ? bytes.size() : start + end;
    if (end > start && bytes.at(end - 1) == '\r')
        --end;
    size = end - start;
    return true;
}

// The UTF-8 text of a file as the parser reads it, when the file's bytes are UTF-8 that decodes
// without a replacement (so that the text and its bytes say the same); its second line loses a
// patient-data namespace as a decoded text's would. False for every other file.
bool utf8Source(const QByteArray& bytes, QByteArray& utf8) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
        (bytes.size() >= 2 && bytes.at(0) == '<' && bytes.at(1) == '\0'))
        return false;
    utf8 = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
    // A byte-order mark after the first would be dropped in decoding.
    if (utf8.startsWith("\xEF\xBB\xBF") || !QByteArrayView(utf8).isValidUtf8())
        return false;
    qsizetype start = 0;
    qsizetype size = 0;
    if (!secondLine(utf8, start, size))
        return true;
    QString line = QString::fromUtf8(QByteArrayView(utf8).sliced(start, size));
    if (NormalizeNamespace(line) != PatientDataSchema::None)
        utf8.replace(start, size, line.toUtf8());
    return true;
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

bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
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
    parseUtf8(text.toUtf8());
}

void TXMLDocument::parseUtf8(const QByteArray& utf8) {
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
    m_utf8.clear();
    m_lines.reset();
    parse(text);
}

void TXMLDocument::LoadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EXmlFileUnreadable(QStringLiteral("Could not read ") + path + QStringLiteral(": ") +
                                 file.errorString());
    if (file.size() > 2 * kLargestDocument)
        throw EXmlParseError(QStringLiteral("The XML file %1 has %2 bytes; documents over %3 bytes "
                                            "are refused")
                                 .arg(path)
                                 .arg(file.size())
                                 .arg(kLargestDocument));
    const QByteArray bytes = file.readAll();
    m_lines.reset();
    // Line ends reach the parser as they are: it reads CR LF as LF.
    if (utf8Source(bytes, m_utf8)) {
        m_text.reset();
        parseUtf8(m_utf8);
        return;
    }
    m_utf8.clear();
    m_text = decodeFile(bytes);
    normalizeSecondLine(*m_text);
    parse(*m_text);
}

const QString& TXMLDocument::Text() const {
    if (!m_text)
        m_text = QString::fromUtf8(m_utf8);
    return *m_text;
}

const QStringList& TXMLDocument::Lines() const {
    if (!m_lines)
        m_lines = splitLines(Text());
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
    m_utf8.clear();
    m_text.reset();
    m_lines.reset();
    m_active = false;
}

bool DocumentContains(const QString& text, const TXMLDocument& document) {
    // A text without line breaks is in some line exactly when it is in the whole text.
    if (!text.contains(u'\n') && !text.contains(u'\r')) {
        // An ASCII text is in UTF-8 bytes exactly when it is in their decoded text.
        if (!document.Utf8Text().isEmpty() && isAscii(text))
            return document.Utf8Text().contains(text.toLatin1());
        return document.Text().contains(text);
    }
    for (const QString& line : document.Lines()) {
        if (line.contains(text))
            return true;
    }
    return false;
}
