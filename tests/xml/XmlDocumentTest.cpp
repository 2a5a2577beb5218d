#include <gtest/gtest.h>

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
