#include <gtest/gtest.h>

#include "Clock.h"
#include "OleDateTime.h"
#include "StaticPatient.h"
#include "THistoricItem.h"
#include "TMicroReader.h"
#include "TMicroStreamParser.h"
#include "TMicroWriter.h"
#include "TUniqueParameterInformation.h"
#include "TUniquePatientInformation.h"
#include "ZelTypes.h"

namespace {

// A stored object that holds others, as the patient history does.
class TContainer : public THistoricItem {
public:
    using THistoricItem::THistoricItem;
    static constexpr qint32 kRecordType = 900;
    int readingDoneCalls = 0;

    std::unique_ptr<IPersistIT> CreateNew() const override {
        return std::make_unique<TContainer>();
    }
    qint32 RecordType() const override { return kRecordType; }
    void ReadingDone() override { ++readingDoneCalls; }
};

class TNoRecordType : public TPersistIt {
public:
    std::unique_ptr<IPersistIT> CreateNew() const override {
        return std::make_unique<TNoRecordType>();
    }
};

std::unique_ptr<TMicroStreamParser> parserWithPrototypes(std::uint32_t seed = 1) {
    auto parser = std::make_unique<TMicroStreamParser>(seed);
    parser->RegisterPrototype(std::make_unique<TUniqueParameterInformation>());
    parser->RegisterPrototype(std::make_unique<TUniquePatientInformation>());
    parser->RegisterPrototype(std::make_unique<TContainer>());
    return parser;
}

} // namespace

TEST(StreamParser, ObjectsComeBackNestedAndInOrder) {
    ManualClock clock(QDateTime(QDate(2026, 12, 8), QTime(8, 0)));
    TContainer container(clock);
    TUniquePatientInformation patient;
    patient.Kind = 2;
    patient.Number = 17;
    patient.Key = QStringLiteral("19121212-1212");
    TUniqueParameterInformation parameter;
    parameter.SetParameterName(QStringLiteral("  Glucose "));
    parameter.SetMeasurementPlace(QStringLiteral("CNS"));
    parameter.SetParameterID(QStringLiteral("OstraSubstance1"));

    for (const bool checksums : {true, false}) {
        QByteArray data;
        TMicroWriter writer;
        writer.SetStream(&data);
        writer.SetChecksumMode(checksums);
        writer.WriteHeader();
        writer.WriteStringRecord(TMicroStreamParser::kNameTag, QStringLiteral("Registry"));
        writer.BeginFolding(TContainer::kRecordType);
        container.Write(writer);
        patient.WriteTo(writer);
        writer.WriteIntRecord(4711, 1); // unknown to the container: skipped
        writer.EndFolding();
        parameter.WriteTo(writer);
        writer.CloseStream();

        auto parser = parserWithPrototypes();
        const auto objects = parser->Parse(data);
        EXPECT_TRUE(parser->FileValid());
        EXPECT_EQ(parser->Name(), "Registry");
        ASSERT_EQ(objects.size(), 2u) << "checksums " << checksums;

        const auto* readContainer = dynamic_cast<const TContainer*>(objects[0].get());
        ASSERT_NE(readContainer, nullptr);
        EXPECT_EQ(readContainer->readingDoneCalls, 1);
        EXPECT_DOUBLE_EQ(readContainer->TimeStamp, OleDateTime::fromDateTime(clock.now()));
        ASSERT_EQ(readContainer->Children().size(), 1u);
        const auto* readPatient =
            dynamic_cast<const TUniquePatientInformation*>(readContainer->Children()[0].get());
        ASSERT_NE(readPatient, nullptr);
        EXPECT_TRUE(readPatient->SameAs(patient));

        const auto* readParameter =
            dynamic_cast<const TUniqueParameterInformation*>(objects[1].get());
        ASSERT_NE(readParameter, nullptr);
        EXPECT_EQ(readParameter->ParameterName(), "Glucose");
        EXPECT_EQ(readParameter->DisplayName(), "Glucose");
        EXPECT_TRUE(readParameter->SameAs(parameter));
    }
}

TEST(StreamParser, FrequentlyFoundClassesMoveForward) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.WriteHeader();
    TContainer item;
    for (int i = 0; i < 20000; ++i)
        item.WriteTo(writer);
    writer.CloseStream();
    auto parser = parserWithPrototypes(42);
    EXPECT_EQ(parser->Parse(data).size(), 20000u);
    EXPECT_EQ(parser->LookupOrder().front(), TContainer::kRecordType);
}

TEST(StreamParser, ParameterIdentityRules) {
    TUniqueParameterInformation a;
    a.SetParameterName(QStringLiteral("Lactate"));
    a.SetMeasurementPlace(QStringLiteral(" Muscle "));
    TUniqueParameterInformation b;
    b.SetParameterName(QStringLiteral("Lactate"));
    b.SetMeasurementPlace(QStringLiteral("Muscle"));
    EXPECT_TRUE(a.SameAs(b)) << "blanks are trimmed";

    b.SetParameterName(QStringLiteral("Lac"));
    EXPECT_FALSE(a.SameAs(b));
    a.SetParameterID(QStringLiteral("OstraSubstance2"));
    b.SetParameterID(QStringLiteral("OstraSubstance2"));
    EXPECT_TRUE(a.SameAs(b)) << "the same non-empty ID is enough";
    b.SetParamExtraName(QStringLiteral("Right"));
    EXPECT_FALSE(a.SameAs(b)) << "place and extra name must always agree";

    a.SetDisplayName(QStringLiteral("Lactate (right)"));
    a.SetParameterName(QStringLiteral("Lactate"));
    EXPECT_EQ(a.DisplayName(), "Lactate") << "setting the name resets the display name";
}

TEST(StreamParser, ClassWithoutRecordTypeSaysSo) {
    TNoRecordType object;
    try {
        (void)object.RecordType();
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_STREQ(error.what(),
                     "Exception:RecordType not implemented for this class. jhdsa783241");
    }
}

TEST(StreamParser, PatientMasterRecordsWithTheirHistory) {
    TStaticPatient patient;
    patient.UniqueCode = "U-1";
    patient.PatientID = "1912";
    patient.FirstName = "Åsa";
    patient.LastName = "Öberg";
    auto change = std::make_unique<THistoricStaticPatient>();
    change->TimeStamp = 46364.5;
    change->PatientID = "OLD";
    change->FirstName = "A";
    change->LastName = "B";
    auto copy = std::make_unique<THistoricPatientCode>();
    copy->UniqueCode = "U-0";
    patient.AddChild(std::move(change));
    patient.AddChild(std::move(copy));
    EXPECT_THROW(patient.AddChild(std::make_unique<TUniquePatientInformation>()), EZelError);

    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.WriteHeader();
    patient.WriteTo(writer);
    writer.CloseStream();

    TMicroStreamParser parser(3);
    RegisterPatientRecordClasses(parser);
    const auto objects = parser.Parse(data);
    ASSERT_EQ(objects.size(), 1u);
    const auto* read = dynamic_cast<const TStaticPatient*>(objects[0].get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->LastName, QStringLiteral("Öberg"));
    ASSERT_EQ(read->Children().size(), 2u);
    const auto* history = dynamic_cast<const THistoricStaticPatient*>(read->Children()[0].get());
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->Describe(),
              QStringLiteral("\t Changed at 2026-12-08 12:00:00 from\r\n\t\t ID: "
                             "OLD\r\n\t\t First Name: A\r\n\t\t Last Name: B\r\n"));
    EXPECT_EQ(dynamic_cast<const THistoricPatientCode*>(read->Children()[1].get())->UniqueCode,
              "U-0");
}
