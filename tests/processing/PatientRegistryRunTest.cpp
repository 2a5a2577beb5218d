// The patient registry of a running collector: days of collecting on an injected clock with
// restarts, and the cost of many new patients at once.
#include <gtest/gtest.h>

#include "Clock.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kDayZero(QDate(2026, 12, 1), QTime(8, 0));

QString liveFor(const QString& id, const QDateTime& time) {
    LiveMeasurement m;
    m.patient = {id, QStringLiteral("Anna"), QStringLiteral("Berg")};
    m.value = 2.5;
    m.time = time;
    return live(m);
}

class PatientRegistryRun : public ::testing::Test {
protected:
    std::unique_ptr<RunningCollector> start(const QString& settings = {}) {
        auto c = std::make_unique<RunningCollector>(root, settings,
                                                    RunningCollector::AutomationFactory{}, &clock);
        EXPECT_TRUE(c->started);
        return c;
    }

    TempRoot root;
    ManualClock clock{kDayZero};
};

} // namespace

TEST_F(PatientRegistryRun, ATickedSendingPatientOutlivesThreeDaysAndARestart) {
    // Without AutoCreate a patient that drops out of the list comes back unticked, and its
    // results are no longer stored.
    auto c = start(QStringLiteral("AutoCreate=dword:0\n"));
    (*c)->collectionControl().start();
    QTcpSocket& analyzer = c->connectFrom();
    ASSERT_TRUE(c->send(analyzer, utf16(liveFor("T1", clock.now()))));
    ASSERT_TRUE((*c)->checkList().SetTicked("T1", true)) << "the operator ticks the patient";

    // Three days of results every six hours, the main timer's duties after each.
    for (int hours = 6; hours <= 72; hours += 6) {
        clock.advanceSeconds(6 * 3600);
        ASSERT_TRUE(c->send(analyzer, utf16(liveFor("T1", clock.now()))));
        (*c)->collectionControl().timerTick();
        const int entry = (*c)->patients().IndexOf("T1");
        ASSERT_GE(entry, 0) << "after " << hours << " hours";
        ASSERT_TRUE((*c)->patients().At(entry).Checked) << "after " << hours << " hours";
    }

    // The collector is restarted two hours later with the registry it left.
    c.reset();
    QString settings = QStringLiteral("AutoCreate=dword:0\n");
    for (const auto& [name, value] :
         SettingsStore(root.hives(), RegistryRoot::CurrentUser).readTexts("Patient"))
        settings += name + u'=' + value + u'\n';
    clock.advanceSeconds(2 * 3600);
    c = start(settings);
    const int entry = (*c)->patients().IndexOf("T1");
    ASSERT_GE(entry, 0) << "the patient was dropped at the restart";
    EXPECT_TRUE((*c)->patients().At(entry).Checked);
    EXPECT_FALSE(c->logged("Patient T1 removed from the patient list"));
}

TEST_F(PatientRegistryRun, NewPatientsOfOneReadCostOneRegistryWriteAndNoneIsLostAtClose) {
    auto c = start();
    QString read;
    for (int i = 1; i <= 50; ++i)
        read += liveFor(QStringLiteral("N%1").arg(i), clock.now());
    const int writesBefore = (*c)->patientRegistry().Writes();
    (*c)->messageDispatcher().Dispatch(read, QStringLiteral("127.0.0.1"));
    EXPECT_EQ((*c)->patients().Count(), 50);
    EXPECT_EQ((*c)->patientRegistry().Writes(), writesBefore) << "written once the read is done";
    ASSERT_TRUE(waitUntil([&] { return !(*c)->patientRegistry().SweepRequested(); }));
    EXPECT_EQ((*c)->patientRegistry().Writes(), writesBefore + 1);
    EXPECT_EQ(PatManagement::Field((*c)->settings().readText("Patient50"), 2), "N50");

    // A patient of the last read before the collector closes still reaches the registry.
    (*c)->messageDispatcher().Dispatch(liveFor("LAST", clock.now()), QStringLiteral("127.0.0.1"));
    (*c)->close();
    EXPECT_EQ(PatManagement::Field((*c)->settings().readText("Patient51"), 2), "LAST");
}

namespace {

class SendingPatients : public PatientRegistryRun, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(SendingPatients, StayForDaysAndEveryRemovalIsOneLineWithItsLastData) {
    {
        const bool autoCreate = GetParam();
        const QString autoCreation =
            QStringLiteral("AutoCreate=dword:%1\n").arg(autoCreate ? 1 : 0);
        auto c = start(autoCreation);
        // Every removal line, however many lines the days bring.
        QStringList removals;
        (*c)->log().setMirror([&removals](const QString& message, const QString&, LogSeverity) {
            if (message.contains("removed from the patient list"))
                removals << message;
        });
        (*c)->collectionControl().start();
        QTcpSocket& analyzer = c->connectFrom();
        for (const QString id : {"T2", "U2", "Q2"})
            ASSERT_TRUE(c->send(analyzer, utf16(liveFor(id, clock.now()))));
        ASSERT_TRUE((*c)->checkList().SetTicked("T2", true));
        ASSERT_TRUE((*c)->checkList().SetTicked("U2", false));
        ASSERT_TRUE((*c)->checkList().SetTicked("Q2", false)); // a ticked one is kept anyway
        const QDateTime lastOfQ2 = clock.now();

        // Four days: T2 (ticked) and U2 (not ticked) send every 30 minutes, Q2 no more.
        for (int halfHours = 1; halfHours <= 4 * 48; ++halfHours) {
            clock.advanceSeconds(1800);
            for (const QString id : {"T2", "U2"})
                ASSERT_TRUE(c->send(analyzer, utf16(liveFor(id, clock.now()))));
            (*c)->collectionControl().timerTick();
            const int ticked = (*c)->patients().IndexOf("T2");
            ASSERT_GE(ticked, 0) << "after " << halfHours << " half hours";
            ASSERT_TRUE((*c)->patients().At(ticked).Checked) << "after " << halfHours;
            ASSERT_GE((*c)->patients().IndexOf("U2"), 0) << "after " << halfHours;
        }
        EXPECT_EQ(removals, QStringList{"Patient Q2 removed from the patient list: no data for "
                                        "more than a day (last data " +
                                        lastOfQ2.toString("yyyy-MM-dd HH:mm:ss") + ")"});

        // Restarts with the registry left at closing: two hours later both are kept; more than a
        // day after their last data both are removed, each with one line.
        const QDateTime lastData = clock.now();
        for (const int hoursLater : {2, 26}) {
            c.reset();
            QString settings = autoCreation;
            for (const auto& [name, value] :
                 SettingsStore(root.hives(), RegistryRoot::CurrentUser).readTexts("Patient"))
                settings += name + u'=' + value + u'\n';
            clock.set(lastData.addSecs(hoursLater * 3600));
            c = start(settings);
            for (const QString id : {"T2", "U2"}) {
                const bool kept = (*c)->patients().IndexOf(id) >= 0;
                EXPECT_EQ(kept, hoursLater < 24) << id.toStdString() << " " << hoursLater;
                EXPECT_EQ(c->loggedCount("Patient " + id + " removed from the patient list"),
                          kept ? 0 : 1);
            }
        }
        EXPECT_EQ((*c)->patients().IndexOf("T2"), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(AutoCreate, SendingPatients, ::testing::Bool());
