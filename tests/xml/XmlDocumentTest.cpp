#include <gtest/gtest.h>

#include <sstream>

#include <QFile>
#include <QTemporaryDir>

#include "QtPrinters.h"
#include "TXMLDocument.h"
#include "XMLTarvoParser.h"
#include "XmlErrors.h"
#include "XmlMessages.h"

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.path() + u'/' + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

} // namespace

TEST(XmlDocument, ArchivedFilesOfEverySchemaLoseTheirNamespaceOnLineTwo) {
    QTemporaryDir dir;
    for (const char* ns :
         {PatientDataNamespace::k2004, PatientDataNamespace::k2008, PatientDataNamespace::k2012}) {
        TXMLDocument document;
        document.LoadFromFile(writeFile(dir, "doc.xml", XmlMessages::patientData(ns).toUtf8()));
        EXPECT_EQ(document.Lines().at(1), QStringLiteral("<Tarvo version=\"1.0\">")) << ns;
        const auto root = XMLTarvoParser::GetTarvo(document);
        EXPECT_EQ(root.Get_version(), "1.0");
        ASSERT_EQ(root.Count(), 1);
        EXPECT_EQ(root[0].Get_Patient().Get_FirstName(), QStringLiteral("Åsa"));
    }
}

TEST(XmlDocument, RootTagOnTheFirstLineIsNotNormalised) {
    QTemporaryDir dir;
    QString text = XmlMessages::patientData(PatientDataNamespace::k2012);
    text.remove(QStringLiteral("\r\n"));
    TXMLDocument document;
    document.LoadFromFile(writeFile(dir, "one-line.xml", text.toUtf8()));
    EXPECT_TRUE(document.DocumentElement().attribute("xmlns"));
    EXPECT_THROW(XMLTarvoParser::GetTarvo(document), EConvertError);
}

TEST(XmlDocument, Utf16FilesWithAndWithoutByteOrderMark) {
    QTemporaryDir dir;
    const QString text = XmlMessages::patientData(PatientDataNamespace::k2008);
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    for (const QByteArray& bytes : {QByteArray("\xFF\xFE") + utf16, utf16}) {
        TXMLDocument document;
        document.LoadFromFile(writeFile(dir, "utf16.xml", bytes));
        EXPECT_EQ(XMLTarvoParser::GetTarvo(document)[0].Get_Patient().Get_LastName(),
                  QStringLiteral("Öberg"));
    }
}

TEST(XmlDocument, DocumentContainsSearchesEveryLine) {
    TXMLDocument document;
    document.LoadFromText(QStringLiteral("<?xml version=\"1.0\"?>\n<Tarvo>\n<!-- <Events> -->\n"
                                         "<A note=\"&lt;AttemptNo&gt;\"/></Tarvo>"));
    EXPECT_TRUE(DocumentContains(QStringLiteral("<Events>"), document)) << "inside a comment";
    EXPECT_FALSE(DocumentContains(QStringLiteral("<AttemptNo>"), document))
        << "the text as written, not as parsed";
    EXPECT_TRUE(DocumentContains(QStringLiteral("&lt;AttemptNo&gt;"), document));
}

TEST(XmlDocument, ParseFailuresTellWhere) {
    TXMLDocument document;
    try {
        document.LoadFromText(QStringLiteral("<?xml version=\"1.0\"?>\n<Tarvo>\n  <Open></Tarvo>"));
        FAIL();
    } catch (const EXmlParseError& error) {
        EXPECT_TRUE(
            QString::fromUtf8(error.what()).startsWith(QStringLiteral("XML error at line 3,")))
            << error.what();
    }
    EXPECT_FALSE(document.Active());
}

TEST(XmlDocument, OversizedAndDeeplyNestedDocuments) {
    TXMLDocument document;
    const QString huge = QStringLiteral("<Tarvo>") + QString(TXMLDocument::kLargestDocument, u'x') +
                         QStringLiteral("</Tarvo>");
    try {
        document.LoadFromText(huge);
        FAIL();
    } catch (const EXmlParseError& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("are refused")));
    }
    QString deep;
    for (int i = 0; i < 200000; ++i)
        deep += QStringLiteral("<a>");
    for (int i = 0; i < 200000; ++i)
        deep += QStringLiteral("</a>");
    EXPECT_NO_THROW(document.LoadFromText(deep));
    EXPECT_TRUE(document.Active());
}

TEST(XmlDocument, SavedDocumentsReadBackAsUtf8) {
    QTemporaryDir dir;
    TXMLDocument document;
    QString text = XmlMessages::patientData(PatientDataNamespace::k2012);
    text.replace(QStringLiteral("utf-8"), QStringLiteral("utf-16"));
    document.LoadFromText(text);
    const QString path = dir.path() + QStringLiteral("/{U1}.xml");
    document.SaveToFile(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>"))
        << saved.left(60).toStdString();
    EXPECT_TRUE(saved.contains("\xC3\x85sa")) << "UTF-8 Å";
    TXMLDocument again;
    again.LoadFromFile(path);
    EXPECT_EQ(XMLTarvoParser::GetTarvo(again)[0].Get_UniqueID(), "{U1}");
    ASSERT_GE(again.Lines().size(), 4);
    EXPECT_EQ(again.Lines().mid(2, 2), document.Lines().mid(2, 2)) << "the lines are kept";
}

namespace {

// The element tree as the parser holds it.
std::string printed(const TXMLDocument& document) {
    std::ostringstream out;
    document.DocumentElement().print(out, "", pugi::format_raw);
    return out.str();
}

QByteArray utf16WithMark(const QString& text) {
    return QByteArray("\xFF\xFE") +
           QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// What loading a file gives: the parsed tree, the text and lines, the error of a broken file,
// whether the bytes were parsed as they are, and two searches.
struct Loaded {
    std::string tree;
    QString text;
    QStringList lines;
    QString error;
    bool fromBytes = false;
    bool events = false;
    bool attempt = false;
};

Loaded load(const QString& path) {
    Loaded loaded;
    TXMLDocument document;
    try {
        document.LoadFromFile(path);
    } catch (const EXmlParseError& error) {
        loaded.error = QString::fromUtf8(error.what());
        return loaded;
    }
    loaded.fromBytes = !document.Utf8Text().isEmpty();
    loaded.events = DocumentContains(QStringLiteral("<Events>"), document);
    loaded.attempt = DocumentContains(QStringLiteral("<AttemptNo>"), document);
    loaded.tree = printed(document);
    loaded.text = document.Text();
    loaded.lines = document.Lines();
    return loaded;
}

} // namespace

// A UTF-8 file is parsed from its bytes; its UTF-16 twin takes the decoding way. Both give the
// same document, text, lines, searches and errors.
TEST(XmlDocument, Utf8FilesParsedFromTheirBytesReadAsTheirDecodedTwin) {
    const QString document = XmlMessages::patientData(PatientDataNamespace::k2012);
    QString noSecondLine = document;
    noSecondLine.remove(QStringLiteral("\r\n"));
    QString unicodeInTag = document;
    unicodeInTag.replace(QStringLiteral("version=\"1.0\" xmlns"), QStringLiteral("é=\"ü\" xmlns"));
    const struct {
        const char* name;
        QString text;
        bool utf8Mark;
    } cases[] = {
        {"2012, CR LF", document, false},
        {"2012, byte-order mark", document, true},
        {"2004, LF", XmlMessages::patientData(PatientDataNamespace::k2004).replace("\r\n", "\n"),
         false},
        {"2008, CR only",
         XmlMessages::patientData(PatientDataNamespace::k2008).replace("\r\n", "\r"), false},
        {"one line", noSecondLine, false},
        {"no namespace", XmlMessages::eventsDocument(), false},
        {"non-ASCII in the root tag", unicodeInTag, false},
        {"4-byte characters",
         QString(document).replace(QStringLiteral("Åsa"), QStringLiteral("A😀")), false},
        {"broken",
         QString(document).replace(QStringLiteral("</UniqueID>"), QStringLiteral("</Un>")), false},
        {"empty", QString(), false},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QByteArray utf8 =
            (c.utf8Mark ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + c.text.toUtf8();
        const Loaded fast = load(writeFile(dir, "utf8.xml", utf8));
        const Loaded decoded = load(writeFile(dir, "utf16.xml", utf16WithMark(c.text)));
        EXPECT_EQ(fast.fromBytes, fast.error.isEmpty()) << c.name;
        EXPECT_FALSE(decoded.fromBytes) << c.name;
        EXPECT_EQ(fast.error, decoded.error) << c.name;
        EXPECT_EQ(fast.tree, decoded.tree) << c.name;
        EXPECT_EQ(fast.text, decoded.text) << c.name;
        EXPECT_EQ(fast.lines, decoded.lines) << c.name;
        EXPECT_EQ(fast.events, decoded.events) << c.name;
        EXPECT_EQ(fast.attempt, decoded.attempt) << c.name;
    }
}

// Bytes that are not plain UTF-8 are decoded as before: invalid sequences read as replacement
// characters, and a second byte-order mark is dropped.
TEST(XmlDocument, FilesThatAreNotPlainUtf8AreDecoded) {
    const QByteArray document = XmlMessages::patientData(PatientDataNamespace::k2012).toUtf8();
    const struct {
        const char* name;
        QByteArray bytes;
        QString firstName;
    } cases[] = {
        {"Latin-1 byte", QByteArray(document).replace("\xC3\x85sa", "\xC5sa"),
         QStringLiteral("\uFFFDsa")},
        {"encoded surrogate", QByteArray(document).replace("\xC3\x85sa", "\xED\xA0\x80sa"),
         QStringLiteral("\uFFFD\uFFFD\uFFFDsa")},
        {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + document, QStringLiteral("Åsa")},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        TXMLDocument loaded;
        loaded.LoadFromFile(writeFile(dir, "other.xml", c.bytes));
        EXPECT_TRUE(loaded.Utf8Text().isEmpty()) << c.name;
        EXPECT_EQ(loaded.Lines().at(1), QStringLiteral("<Tarvo version=\"1.0\">")) << c.name;
        EXPECT_TRUE(loaded.Text().startsWith(QStringLiteral("<?xml"))) << c.name;
        EXPECT_EQ(XMLTarvoParser::GetTarvo(loaded)[0].Get_Patient().Get_FirstName(), c.firstName)
            << c.name;
    }
}
