#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <pugixml.hpp>

// A parsed XML document together with its source text as a list of lines. Live messages are
// loaded from their text; archived documents from their file, whose second line (the root start
// tag) loses a patient-data namespace before parsing. Documents over kLargestDocument bytes are
// refused, so no element text or nesting depth can exhaust memory.
class TXMLDocument {
public:
    static constexpr qsizetype kLargestDocument = qsizetype(64) << 20;

    // Parses the text; throws EXmlParseError with the parser's complaint and its line and column.
    void LoadFromText(const QString& text);
    // Reads the file (UTF-8, or UTF-16 with or without byte-order mark), normalises the second
    // line and parses. Throws EXmlParseError; EXmlFileUnreadable when the file cannot be read.
    void LoadFromFile(const QString& path);
    // Writes the document as UTF-8 (replacing the file); throws EXmlParseError on failure.
    void SaveToFile(const QString& path) const;

    void Deactivate();
    bool Active() const { return m_active; }

    // The source text (of a file: with its second line normalised), and the same as lines;
    // the text of a UTF-8 file is decoded and the lines are cut on first use.
    const QString& Text() const;
    const QStringList& Lines() const;
    // The source text's UTF-8 bytes, when the document was parsed from them as they are (a file
    // in UTF-8); empty otherwise.
    const QByteArray& Utf8Text() const { return m_utf8; }
    pugi::xml_node DocumentElement() const { return m_document.document_element(); }

private:
    void parse(const QString& text);
    void parseUtf8(const QByteArray& utf8);

    pugi::xml_document m_document;
    QByteArray m_utf8;
    mutable std::optional<QString> m_text;
    mutable std::optional<QStringList> m_lines;
    bool m_active = false;
};

// True when some line of the document's text contains the text (first hit ends the search).
bool DocumentContains(const QString& text, const TXMLDocument& document);
