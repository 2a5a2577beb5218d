#include <gtest/gtest.h>

#include "Clock.h"
#include "EventLog.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "SettingsStore.h"
#include "TempRoot.h"

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(12, 0));

QString stamp(const QDateTime& time) {
    return time.toString(QLatin1String(PatManagement::kTimeStampFormat));
}

class PatManagementTest : public ::testing::Test {
protected:
    void writeValue(const QString& name, const QString& value) { settings.writeText(name, value); }
    QString value(const QString& name) const { return settings.readText(name); }

    TPatient patient(const QString& id, const QString& first, const QString& last, bool collect) {
        TPatient p;
        p.PatientID = id;
        p.FirstName = first;
        p.LastName = last;
        p.Collect = collect;
        p.TimeStamp = stamp(clock.now());
        return p;
    }

    TempRoot root;
    SettingsStore settings{root.hives(), RegistryRoot::CurrentUser};
    ManualClock clock{kNow};
    EventLog log{clock};
    PatientListModel list;
    PatManagement registry{settings, list, log, clock, IdReduction::None};
};

} // namespace

TEST_F(PatManagementTest, ListIsWrittenAsNumberedValues) {
    list.Add(patient("123456", "Alpha", "Beta", true), true, true);
    list.Add(patient("AB12", "Gamma", "Delta", false), false, true);
    registry.SweepPatientRegistry(false);
    EXPECT_EQ(value("Patient1"), "Alpha^Beta^123456^" + stamp(kNow) + "^1");
    EXPECT_EQ(value("Patient2"), "Gamma^Delta^AB12^" + stamp(kNow) + "^0");
    EXPECT_EQ(registry.LastWrite(), kNow);
    EXPECT_EQ(list.At(0).Caption, "123456, Alpha Beta");
    EXPECT_EQ(settings.read(Setting::Port), 13000) << "other settings untouched";
}

TEST_F(PatManagementTest, AValueOfThreeFieldsNeverExpires) {
    writeValue("Patient3", "A^B^C");
    EXPECT_EQ(PatManagement::Field("A^B^C", 0), "A");
    EXPECT_EQ(PatManagement::Field("A^B^C", 2), "C");
    EXPECT_EQ(PatManagement::Field("A^B^C", 3), "");
    registry.SweepPatientRegistry(true);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).Patient.PatientID, "C");
    EXPECT_EQ(list.At(0).Patient.FirstName, "A");
    EXPECT_FALSE(list.At(0).Checked);
    EXPECT_FALSE(list.At(0).Enabled);
    clock.advanceSeconds(3 * 24 * 3600);
    registry.SweepPatientRegistry(false);
    EXPECT_EQ(list.Count(), 1) << "an empty time stamp counts as now";
}

TEST_F(PatManagementTest, StartUpRestores23HoursAndDrops25Hours) {
    writeValue("Patient1", "Old^One^OLD1^" + stamp(kNow.addSecs(-25 * 3600)) + "^1");
    writeValue("Patient2", "Young^Two^YOUNG2^" + stamp(kNow.addSecs(-23 * 3600)) + "^1");
    writeValue("Patient3", "Young^Three^YOUNG3^" + stamp(kNow.addSecs(-23 * 3600)) + "^0");
    registry.SweepPatientRegistry(true);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(0).Patient.PatientID, "YOUNG2");
    EXPECT_TRUE(list.At(0).Checked);
    EXPECT_FALSE(list.At(0).Enabled) << "restored patients wait for data";
    EXPECT_FALSE(list.At(1).Checked);
    EXPECT_EQ(value("Patient1"), "Young^Two^YOUNG2^" + stamp(kNow.addSecs(-23 * 3600)) + "^1");
    EXPECT_EQ(value("Patient3"), "") << "renumbered 1 and 2";
}

TEST_F(PatManagementTest, ACheckedPatientWithDataSurvivesTheDailySweep) {
    writeValue("Patient1", "Per^Son^P1^" + stamp(kNow.addSecs(-30 * 3600)) + "^1");
    registry.SweepPatientRegistry(true);
    ASSERT_EQ(list.Count(), 0) << "30 hours old: not restored at start";

    list.Add(patient("P2", "Pia", "Son", true), true, true);
    registry.SweepPatientRegistry(false);
    clock.advanceSeconds(30 * 3600);
    registry.SweepPatientRegistry(false);
    ASSERT_EQ(list.Count(), 1) << "a patient being collected never drops out";
    EXPECT_EQ(value("Patient1"), "Pia^Son^P2^" + stamp(clock.now()) + "^1");

    list.SetChecked(0, false);
    list.At(0).Patient.Collect = false;
    registry.SweepPatientRegistry(false); // the check-mark handler's sweep stores collect 0
    clock.advanceSeconds(30 * 3600);
    registry.SweepPatientRegistry(false);
    EXPECT_EQ(list.Count(), 0) << "an unticked patient without data expires";
    ASSERT_FALSE(log.mainLines().isEmpty());
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral("Patient P2 removed from the patient list: no data for more than a day "
                       "(last data ") +
        clock.now().addSecs(-30 * 3600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u')'))
        << log.mainLines().last().toStdString();
}

TEST_F(PatManagementTest, DeletedEntriesAreRenumbered) {
    for (const char* id : {"ONE", "TWO", "THREE"})
        list.Add(patient(id, "F", "L", false), false, true);
    registry.SavePatientRegistry();
    list.RemoveAt(1);
    registry.SavePatientRegistry();
    EXPECT_EQ(PatManagement::Field(value("Patient1"), 2), "ONE");
    EXPECT_EQ(PatManagement::Field(value("Patient2"), 2), "THREE");
    EXPECT_EQ(value("Patient3"), "");
}

TEST_F(PatManagementTest, LookUpsByNumberAndById) {
    writeValue("Patient10", "T^E^TEN^" + stamp(kNow) + "^0");
    writeValue("Patient1", "O^N^ONE^" + stamp(kNow) + "^0");
    EXPECT_EQ(registry.PatientIDForNumber(1), "ONE");
    EXPECT_EQ(registry.PatientIDForNumber(10), "TEN");
    EXPECT_EQ(registry.PatientIDForNumber(2), "");
    EXPECT_EQ(registry.PatientNumberForID("TEN"), 10);
    EXPECT_EQ(registry.PatientNumberForID("NOBODY"), -1);
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral(" - Not found: PatientNr=-1, PatientID=NOBODY")));

    PatManagement reducing(settings, list, log, clock, IdReduction::FirstTen);
    writeValue("Patient2", "L^O^ABCDEFGHIJ^" + stamp(kNow) + "^0");
    EXPECT_EQ(reducing.PatientNumberForID("ABCDEFGHIJKLM"), 2) << "the ID is reduced first";
}

// Finding a patient gives the first entry of its ID after any sequence of additions, removals
// and clearing, as a search of the list from its start would.
TEST(PatientListModelTest, FindsTheFirstEntryOfAnIdAfterEveryChange) {
    struct Step {
        const char* add; // an ID to add, or nullptr
        int removeAt;    // a position to remove, or -1
        bool clear;
        std::vector<std::pair<const char*, int>> expected; // ID, position of its first entry
    };
    const std::vector<Step> steps = {
        {"A", -1, false, {{"A", 0}, {"B", -1}}},
        {"B", -1, false, {{"A", 0}, {"B", 1}}},
        {"A", -1, false, {{"A", 0}, {"B", 1}}}, // a second entry of A: the first one counts
        {nullptr, 0, false, {{"A", 1}, {"B", 0}}},
        {"C", -1, false, {{"A", 1}, {"B", 0}, {"C", 2}}},
        {nullptr, 1, false, {{"A", -1}, {"B", 0}, {"C", 1}}},
        {nullptr, -1, true, {{"B", -1}, {"C", -1}}},
        {"C", -1, false, {{"C", 0}, {"", -1}}},
    };
    PatientListModel list;
    int stepNumber = 0;
    for (const Step& step : steps) {
        ++stepNumber;
        if (step.add != nullptr) {
            TPatient patient;
            patient.PatientID = QString::fromLatin1(step.add);
            list.Add(patient, false, false);
        }
        if (step.removeAt >= 0)
            list.RemoveAt(step.removeAt);
        if (step.clear)
            list.Clear();
        for (const auto& [id, position] : step.expected)
            EXPECT_EQ(list.IndexOf(QString::fromLatin1(id)), position)
                << "step " << stepNumber << ", ID " << id;
    }
}
