#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "QtPrinters.h"
#include "TXMLDocument.h"
#include "Windows1252.h"
#include "XMLTarvoEventsFromFileParser.h"
#include "XMLTarvoEventsParser.h"
#include "XMLTarvoLiveParser.h"
#include "XMLTarvoParser.h"
#include "XmlErrors.h"
#include "XmlMessages.h"

TEST(Binding, LiveMeasurementWithAndWithoutVersion) {
    for (const bool withVersion : {true, false}) {
        TXMLDocument document;
        document.LoadFromText(XmlMessages::live(withVersion));
        const auto root = XMLTarvoLiveParser::GetTarvo(document);
        EXPECT_EQ(root.Get_version(), withVersion ? "1.1" : "");
        EXPECT_EQ(root.Get_Connection(), "Open");
        const auto md = root.Get_MDMeasurement();
        EXPECT_EQ(md.Get_Patient().Get_PatientID(), "19121212-1212");
        EXPECT_EQ(md.Get_Patient().Get_FirstName(), QStringLiteral("Åsa"));
        EXPECT_EQ(md.Get_Patient().Get_LastName(), QStringLiteral("Öberg"));
        EXPECT_EQ(Windows1252::encode(md.Get_Patient().Get_LastName()), QByteArray("\xD6"
                                                                                   "berg"));
        EXPECT_EQ(md.Get_Unit(), QStringLiteral("µmol/L"));
        EXPECT_EQ(md.Get_Analyte(), "Glucose");
        EXPECT_EQ(md.Get_CatheterLocation(), "CNS");
        EXPECT_EQ(md.Get_Time(), "2026-12-08T12:00:00");
        EXPECT_DOUBLE_EQ(md.Get_Concentration(), 4.25);
        EXPECT_EQ(md.Get_AttemptNo(), 2);
        EXPECT_FALSE(md.Get_Hidden());
        EXPECT_EQ(md.Get_VialID(), "V12");
        EXPECT_EQ(md.Get_Status(), "OK");
        EXPECT_EQ(md.Get_WaterLevel(), 3);
        EXPECT_EQ(md.Get_Offset(), -1);
        const auto samples = md.Get_Samples();
        ASSERT_EQ(samples.Count(), 2);
        EXPECT_EQ(samples.Get_Sample(1), 20);
    }
}

TEST(Binding, AutomaticControlLowAndHigh) {
    for (const QString& type :
         {QStringLiteral("AutoControlLow"), QStringLiteral("AutoControlHigh")}) {
        TXMLDocument document;
        document.LoadFromText(XmlMessages::autoControl(type));
        const auto control = XMLTarvoLiveParser::GetTarvo(document).Get_AutoControl();
        EXPECT_EQ(control.Get_AutoControlSampleType(), type);
        EXPECT_EQ(control.Get_Analyte(), "Lactate");
        EXPECT_DOUBLE_EQ(control.Get_Concentration(), 1.5);
        EXPECT_EQ(control.Get_Result(), "Pass");
    }
}

TEST(Binding, AbsentElementsReadEmptyAndAreCreated) {
    TXMLDocument document;
    document.LoadFromText(XmlMessages::autoControl(QStringLiteral("AutoControlLow")));
    const auto root = XMLTarvoLiveParser::GetTarvo(document);
    const auto md = root.Get_MDMeasurement();
    EXPECT_FALSE(root.HasChild("MDMeasurement") == false) << "reading the structured child made it";
    EXPECT_EQ(md.Get_Patient().Get_PatientID(), "");
    EXPECT_TRUE(md.Get_Patient().HasChild("PatientID")) << "an empty element is left behind";
    EXPECT_DOUBLE_EQ(md.Get_Concentration(), 0.0) << "a missing concentration reads as 0";
    try {
        (void)md.Get_AttemptNo();
        FAIL();
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
    EXPECT_THROW((void)md.Get_Hidden(), EConvertError);
}

TEST(Binding, SettersWriteWhatGettersRead) {
    TXMLDocument document;
    document.LoadFromText(QStringLiteral("<Tarvo/>"));
    auto md = XMLTarvoLiveParser::GetTarvo(document).Get_MDMeasurement();
    md.Set_AttemptNo(7);
    md.Set_Hidden(true);
    md.Set_Concentration(2.5);
    md.Get_Patient().Set_FirstName(QStringLiteral("Per"));
    auto samples = md.Get_Samples();
    samples.Add(3);
    samples.Add(5);
    samples.Insert(1, 4);
    EXPECT_EQ(md.Get_AttemptNo(), 7);
    EXPECT_TRUE(md.Get_Hidden());
    EXPECT_DOUBLE_EQ(md.Get_Concentration(), 2.5);
    EXPECT_EQ(md.Get_Patient().Get_FirstName(), "Per");
    EXPECT_EQ(samples.Count(), 3);
    EXPECT_EQ(samples.Get_Sample(0), 3);
    EXPECT_EQ(samples.Get_Sample(1), 4);
    EXPECT_EQ(samples.Get_Sample(2), 5);
}

TEST(Binding, PatientDataDocumentLists) {
    TXMLDocument document;
    QString text = XmlMessages::patientData(PatientDataNamespace::k2004);
    NormalizeNamespace(text);
    document.LoadFromText(text);
    const auto root = XMLTarvoParser::GetTarvo(document);
    ASSERT_EQ(root.Count(), 1);
    const auto admission = root[0];
    EXPECT_EQ(admission.Get_final(), "true");
    EXPECT_EQ(admission.Get_UniqueID(), "{U1}");
    const auto recordings = admission.Get_Recording();
    ASSERT_EQ(recordings.Count(), 2);
    const auto glucose = recordings[0];
    EXPECT_EQ(glucose.Get_Unit(), "mmol/L");
    EXPECT_EQ(glucose.Get_AnalyteCode(), "Glucose");
    const auto measurements = glucose.Get_Measurement();
    ASSERT_EQ(measurements.Count(), 2);
    EXPECT_EQ(measurements[0].Get_Status(), "OK") << "empty status reads as OK";
    EXPECT_EQ(measurements[1].Get_Status(), "DL");
    EXPECT_EQ(measurements[1].Get_AttemptNo(), 2);
    EXPECT_EQ(recordings[1].Get_Measurement().Count(), 0);
    EXPECT_THROW(measurements[2], EConvertError);

    auto added = recordings[1].Get_Measurement().Add();
    added.Set_Status(QString());
    EXPECT_EQ(TXMLNode(added.Element().child("Status")).Text(), "OK") << "stored as OK";
    auto list = admission.Get_Recording();
    list.Insert(0).Set_AnalyteCode(QStringLiteral("Urea"));
    EXPECT_EQ(admission.Get_Recording()[0].Get_AnalyteCode(), "Urea");
    EXPECT_EQ(admission.Get_Recording().Count(), 3);
}

TEST(Binding, AdmissionMessageWithEvents) {
    TXMLDocument document;
    document.LoadFromText(XmlMessages::admission());
    const auto admission = XMLTarvoEventsParser::GetTarvo(document).Get_Admission();
    EXPECT_EQ(admission.Get_AdmissionGuid(), "{A1}");
    EXPECT_EQ(admission.Get_Patient().Get_LastName(), QStringLiteral("Öberg"));
    const auto events = admission.Get_Event();
    ASSERT_EQ(events.Count(), 2);
    EXPECT_EQ(events[1].Get_EventText(), "Pump refilled");
    EXPECT_EQ(events[0].Get_Time(), "2009-03-17T14:05:33");
}

TEST(Binding, EventsDocument) {
    TXMLDocument document;
    document.LoadFromText(XmlMessages::eventsDocument());
    EXPECT_TRUE(DocumentContains(QStringLiteral("<Events>"), document));
    const auto events = XMLTarvoEventsFromFileParser::GetTarvo(document).Get_Events();
    EXPECT_EQ(events.Get_Patient().Get_PatientID(), "1912");
    ASSERT_EQ(events.Get_Event().Count(), 1);
    EXPECT_EQ(events.Get_Event()[0].Get_EventText(), "Start");
}

TEST(Binding, IntegerTexts) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"2", 2},
        {"-1", -1},
        {"007", 7},
        {" 3 ", 3},
        {"\n4\t", 4},
        {"+5", 5},
        {"999999999", 999999999},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"--1", std::nullopt},
        {"1.0", std::nullopt},
        {"1e2", std::nullopt},
        {"12a", std::nullopt},
        {"0x10", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const auto& c : cases) {
        TXMLDocument document;
        document.LoadFromText(QStringLiteral("<Measurement><AttemptNo>") +
                              QString::fromUtf8(c.text) +
                              QStringLiteral("</AttemptNo></Measurement>"));
        const XMLTarvoParser::TXMLMeasurement measurement(document.DocumentElement());
        if (c.value) {
            EXPECT_EQ(measurement.Get_AttemptNo(), *c.value) << c.text;
            continue;
        }
        try {
            (void)measurement.Get_AttemptNo();
            ADD_FAILURE() << c.text;
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(c.text) + "' is not a valid integer value");
        }
    }
}
