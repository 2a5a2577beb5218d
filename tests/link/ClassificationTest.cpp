#include <gtest/gtest.h>

#include "MessageClassification.h"
#include "QtPrinters.h"
#include "TSockets.h"
#include "XmlDispatcher.h"

namespace {

QString patientData(const char* ns) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.0\" "
                          "xmlns=\"") +
           QLatin1String(ns) + QStringLiteral("\"><Admission/></Tarvo>");
}

const QString kStripped = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Tarvo version=\"1.0\"><Admission/></Tarvo>");

} // namespace

TEST(Classification, PatientDataDocumentsLoseTheirNamespace) {
    QString m2004 = patientData(PatientDataNamespace::k2004);
    EXPECT_EQ(ClassifyMessage(m2004), TMessageType::mtTarvoData);
    EXPECT_EQ(m2004, kStripped);

    QString m2008 = patientData(PatientDataNamespace::k2008);
    EXPECT_EQ(ClassifyMessage(m2008), TMessageType::mtTarvoFlexData);
    EXPECT_EQ(m2008, kStripped);

    QString m2012 = patientData(PatientDataNamespace::k2012);
    EXPECT_EQ(ClassifyMessage(m2012), TMessageType::mtTarvoFlexData);
    EXPECT_EQ(m2012, kStripped);
}

TEST(Classification, LiveForms) {
    const QString declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    QString live = declaration +
                   QStringLiteral("<Tarvo version=\"1.1\"><MDMeasurement></MDMeasurement></Tarvo>");
    QString liveOld =
        declaration + QStringLiteral("<Tarvo><MDMeasurement></MDMeasurement></Tarvo>");
    QString control =
        declaration + QStringLiteral("<Tarvo version=\"1.1\"><AutoControl></AutoControl></Tarvo>");
    QString admission =
        declaration +
        QStringLiteral(
            "<Tarvo "
            "version=\"1.1\"><Admission><AdmissionGuid>g</AdmissionGuid></Admission></Tarvo>");
    QString spaced =
        declaration +
        QStringLiteral("\r\n<Tarvo version=\"1.1\"><MDMeasurement></MDMeasurement></Tarvo>");
    const QString unchanged = live;
    EXPECT_EQ(ClassifyMessage(live), TMessageType::mtXMLTarvoLiveData);
    EXPECT_EQ(live, unchanged);
    EXPECT_EQ(ClassifyMessage(liveOld), TMessageType::mtXMLTarvoLiveData);
    EXPECT_EQ(ClassifyMessage(control), TMessageType::mtXMLTarvoAutoControl);
    EXPECT_EQ(ClassifyMessage(admission), TMessageType::mtXMLTarvoAdmission);
    EXPECT_EQ(ClassifyMessage(spaced), TMessageType::mtUnknown) << "white space in between";
}

TEST(Classification, OnlyTheFirstUtf16OfAChunkIsChanged) {
    const QString one = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo>");
    const QString prepared = PrepareChunk(one + one);
    EXPECT_EQ(prepared,
              QString(one).replace(QStringLiteral("utf-16"), QStringLiteral("utf-8")) + one);
    EXPECT_EQ(PrepareChunk(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(Classification, EveryUtf16MessageIsPreparedInItsDeclarationOnly) {
    const QString declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?>");
    const QString body =
        QStringLiteral("<Tarvo version=\"1.1\"><MDMeasurement><Note>encoding=\"utf-16\""
                       "</Note></MDMeasurement></Tarvo>");
    QString prepared = PrepareMessage(declaration + body);
    EXPECT_EQ(prepared, QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>") + body);
    EXPECT_EQ(ClassifyMessage(prepared), TMessageType::mtXMLTarvoLiveData);
    EXPECT_EQ(PrepareMessage(body), body) << "no declaration, nothing changed";
}

namespace {

// Namespace normalisation the plain way, searching the whole text for each root start tag:
// the reference the one-pass normalisation must agree with.
PatientDataSchema referenceNormalize(QString& text) {
    using namespace PatientDataNamespace;
    const auto attribute = [](const char* ns) {
        return QStringLiteral(" xmlns=\"") + QLatin1String(ns) + u'"';
    };
    const auto removeFirst = [&text](const QString& part) {
        const qsizetype at = text.indexOf(part);
        if (at >= 0)
            text.remove(at, part.size());
    };
    if (text.contains(rootStartTag(k2008)) || text.contains(rootStartTag(k2012))) {
        removeFirst(text.contains(attribute(k2008)) ? attribute(k2008) : attribute(k2012));
        return PatientDataSchema::Year2008Or2012;
    }
    if (text.contains(rootStartTag(k2004))) {
        removeFirst(attribute(k2004));
        return PatientDataSchema::Year2004;
    }
    return PatientDataSchema::None;
}

} // namespace

TEST(Classification, NamespaceNormalisationAgreesWithThePlainSearch) {
    using namespace PatientDataNamespace;
    const auto tag = [](const char* ns) {
        return rootStartTag(ns);
    };
    const auto attribute = [](const char* ns) {
        return QStringLiteral("<Note xmlns=\"") + QLatin1String(ns) + QStringLiteral("\"/>");
    };
    const QString declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    const QStringList texts = {
        declaration + tag(k2004) + QStringLiteral("<Admission/></Tarvo>"),
        declaration + tag(k2008) + QStringLiteral("<Admission/></Tarvo>"),
        declaration + tag(k2012) + QStringLiteral("<Admission/></Tarvo>"),
        // A 2004 tag first and a 2008 or 2012 tag later: the later one decides.
        declaration + tag(k2004) + tag(k2012) + QStringLiteral("</Tarvo></Tarvo>"),
        declaration + tag(k2004) + tag(k2008) + QStringLiteral("</Tarvo></Tarvo>"),
        // A 2008 attribute before a 2012 root: the 2008 attribute is the one removed.
        declaration + attribute(k2008) + tag(k2012) + QStringLiteral("</Tarvo>"),
        declaration + tag(k2012) + attribute(k2008) + QStringLiteral("</Tarvo>"),
        // Near misses: another version, a missing quote, an unfinished tag, no root tag.
        declaration + QStringLiteral("<Tarvo version=\"1.1\" xmlns=\"") + QLatin1String(k2012) +
            QStringLiteral("\"></Tarvo>"),
        declaration + QStringLiteral("<Tarvo version=\"1.0\" xmlns=\"") + QLatin1String(k2012) +
            QStringLiteral("></Tarvo>"),
        declaration + QStringLiteral("<Tarvo version=\"1.0\" xmlns=\"") + QLatin1String(k2008),
        declaration + QStringLiteral("<Tarvo version=\"1.1\"><MDMeasurement/></Tarvo>") +
            attribute(k2004),
        QStringLiteral("<"),
        QString(),
        tag(k2004).left(10) + tag(k2004),
    };
    for (const QString& text : texts) {
        QString normalized = text;
        QString expected = text;
        const PatientDataSchema expectedSchema = referenceNormalize(expected);
        EXPECT_EQ(NormalizeNamespace(normalized), expectedSchema) << text.toStdString();
        EXPECT_EQ(normalized, expected) << text.toStdString();
    }
}

TEST(Classification, APreparedChunkIsAppendedAsPrepareChunkGivesIt) {
    const QStringList chunks = {
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo>"),
        QStringLiteral("utf-16"),
        QStringLiteral("x utf-16 utf-16 y"),
        QStringLiteral("utf-1"),
        QStringLiteral("no declaration"),
        QString(),
    };
    for (const QString& chunk : chunks) {
        PendingText appended;
        appended.append(QStringLiteral("before "));
        AppendPreparedChunk(appended, chunk);
        EXPECT_EQ(appended.text(), QStringLiteral("before ") + PrepareChunk(chunk))
            << chunk.toStdString();
    }
}

TEST(Classification, MessagesAreReturnedOnlyWhileCollected) {
    const QString message =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo "
                       "version=\"1.1\"><MDMeasurement></MDMeasurement></Tarvo>");
    const QString asCut =
        QString(message).replace(QStringLiteral("utf-16"), QStringLiteral("utf-8"));
    TSockets records;
    FramingDispatcher dispatcher(records);
    QStringList reported;
    QObject::connect(&dispatcher, &FramingDispatcher::messageCut,
                     [&reported](const QString&, TMessageType type, const QString& text) {
                         EXPECT_EQ(type, TMessageType::mtXMLTarvoLiveData);
                         reported << text;
                     });
    struct Case {
        bool collect;
        QString returned;
    };
    for (const Case& c : {Case{true, asCut + message}, Case{false, QString()}}) {
        reported.clear();
        {
            const CollectingMessages collecting(dispatcher, c.collect);
            EXPECT_EQ(dispatcher.Dispatch(message + message, QStringLiteral("127.0.0.1")),
                      c.returned)
                << "collect " << c.collect;
        }
        EXPECT_TRUE(dispatcher.CollectsMessages()) << "on again after the reader's calls";
        EXPECT_EQ(reported, QStringList({asCut, asCut})) << "every message handled";
    }
}
