#include <gtest/gtest.h>

#include "MessageClassification.h"
#include "QtPrinters.h"

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
