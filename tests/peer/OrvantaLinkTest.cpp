// The automation link against the reference server on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "Clock.h"
#include "DBusPanoptraAutoObject.h"
#include "EventLog.h"
#include "OrvantaLink.h"
#include "PrivateBus.h"
#include "TempRoot.h"

namespace {

class OrvantaLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString(); }

    void TearDown() override { QDBusConnection::disconnectFromBus(connectionName); }

    // Starts the server with the given options and attaches the link to it.
    void startServer(const QStringList& options = {}, int timeoutMs = 2000) {
        stub = std::make_unique<AutomationStubProcess>(bus.address(), root.path() + "/calls.jsonl",
                                                       options);
        ASSERT_TRUE(stub->isReady()) << stub->error().toStdString();
        link.attach(DBusPanoptraAutoObject::create(connection(), timeoutMs));
        ASSERT_TRUE(link.isActive());
    }

    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(bus.address(), connectionName);
    }

    QList<QJsonObject> calls() const {
        QList<QJsonObject> objects;
        for (const QByteArray& line : stub->loggedCalls())
            objects << QJsonDocument::fromJson(line).object();
        return objects;
    }

    QStringList operations() const {
        QStringList names;
        for (const QJsonObject& call : calls())
            names << call.value(QStringLiteral("operation")).toString();
        return names;
    }

    PrivateBus bus;
    QString connectionName = QUuid::createUuid().toString();
    TempRoot root;
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    EventLog log{clock};
    OrvantaLink link{log};
    std::unique_ptr<AutomationStubProcess> stub;
};

const QDateTime kSampleTime(QDate(2026, 12, 8), QTime(12, 0));

} // namespace

TEST_F(OrvantaLinkTest, TheFourOperationsArriveWithTheirArguments) {
    startServer();
    link.addResult(QStringLiteral("19121212-1212"), QStringLiteral("Glucose"),
                   QStringLiteral("CNS"), QStringLiteral("mM"), kSampleTime, 2.5);
    link.reportCollectStateChange(OrvantaCollectState::NotCollecting);
    link.reportCollectingStarted();
    link.addEndPoint(QStringLiteral("Lactate"), QStringLiteral("mM"), kSampleTime.addSecs(1));
    link.notifyUpdate();

    const QList<QJsonObject> received = calls();
    ASSERT_EQ(received.size(), 5);
    const QJsonArray result = received[0].value(QStringLiteral("arguments")).toArray();
    EXPECT_EQ(received[0].value(QStringLiteral("operation")).toString(), "AddResult");
    EXPECT_EQ(result.at(0).toString(), "19121212-1212");
    EXPECT_EQ(result.at(1).toString(), "Glucose");
    EXPECT_EQ(result.at(2).toString(), "CNS");
    EXPECT_EQ(result.at(3).toString(), "mM");
    EXPECT_DOUBLE_EQ(result.at(4).toDouble(), 46364.5) << "2026-12-08 12:00 as an automation date";
    EXPECT_DOUBLE_EQ(result.at(5).toDouble(), 2.5);

    EXPECT_EQ(received[1].value(QStringLiteral("arguments")).toArray(), (QJsonArray{0, 1}));
    EXPECT_EQ(received[2].value(QStringLiteral("arguments")).toArray(), (QJsonArray{0, 2}));
    const QJsonArray endPoint = received[3].value(QStringLiteral("arguments")).toArray();
    EXPECT_EQ(endPoint.at(0).toInt(-1), 0) << "handle";
    EXPECT_EQ(endPoint.at(1).toString(), "Lactate");
    EXPECT_EQ(endPoint.at(2).toString(), "mM");
    EXPECT_NEAR(endPoint.at(3).toDouble(), 46364.5 + 1.0 / 86400, 1e-9);
    EXPECT_EQ(endPoint.at(4).toInt(-1), 0) << "trailing zero";
    EXPECT_EQ(received[4].value(QStringLiteral("operation")).toString(), "NotifyUpdate");
    EXPECT_TRUE(log.mainLines().last().endsWith(QStringLiteral(" - Orvanta update")));
}

TEST_F(OrvantaLinkTest, AFailedNotifyUpdateEndsAllCallsSilently) {
    startServer({QStringLiteral("--fail"), QStringLiteral("NotifyUpdate")});
    link.notifyUpdate();
    EXPECT_FALSE(link.isActive());
    EXPECT_TRUE(log.mainLines().isEmpty()) << "nothing is logged for the failure itself";

    link.addResult(QStringLiteral("P1"), QStringLiteral("Glucose"), QString(), QStringLiteral("mM"),
                   kSampleTime, 1.0);
    link.reportCollectingStarted();
    link.addEndPoint(QStringLiteral("Glucose"), QStringLiteral("mM"), kSampleTime);
    link.notifyUpdate();
    EXPECT_EQ(operations(), QStringList{QStringLiteral("NotifyUpdate")});
    EXPECT_TRUE(
        log.mainLines().last().endsWith(QStringLiteral(" - No Orvanta update, not active")));
}

TEST_F(OrvantaLinkTest, AFailedStateChangeReportKeepsTheLinkButAFailedStartReportEndsIt) {
    startServer({QStringLiteral("--fail-call"), QStringLiteral("1")});
    EXPECT_FALSE(link.reportCollectStateChange(OrvantaCollectState::Collecting));
    EXPECT_TRUE(link.isActive());
    ASSERT_EQ(log.mainLines().size(), 1);
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral(" - Orvanta ReportCollectState failed (state 2): ReportCollectState "
                       "refused by the stub")))
        << log.mainLines().last().toStdString();
    EXPECT_TRUE(link.reportCollectStateChange(OrvantaCollectState::NotCollecting));
    EXPECT_EQ(log.mainLines().size(), 1) << "a report the server takes is not logged";

    stub.reset();
    startServer({QStringLiteral("--fail"), QStringLiteral("ReportCollectState")});
    link.reportCollectingStarted();
    EXPECT_FALSE(link.isActive());
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral("refused by the stub; no further Orvanta calls until the collector is "
                       "restarted")));
}

TEST_F(OrvantaLinkTest, AFailedEndPointEndsTheLink) {
    startServer({QStringLiteral("--fail"), QStringLiteral("AddEndPoint")});
    link.addEndPoint(QStringLiteral("Glucose"), QStringLiteral("mM"), kSampleTime);
    link.addEndPoint(QStringLiteral("Lactate"), QStringLiteral("mM"), kSampleTime);
    EXPECT_FALSE(link.isActive());
    EXPECT_EQ(operations(), QStringList{QStringLiteral("AddEndPoint")});
    ASSERT_EQ(log.mainLines().size(), 1);
    EXPECT_TRUE(log.mainLines().last().contains(
        QStringLiteral(" - Orvanta AddEndPoint failed (Glucose): AddEndPoint refused by the stub; "
                       "no further Orvanta calls")));
}

TEST_F(OrvantaLinkTest, AFailedResultIsLoggedWithTheResultAndTheLinkStays) {
    startServer({QStringLiteral("--fail-call"), QStringLiteral("1")});
    EXPECT_FALSE(link.addResult(QStringLiteral("P1"), QStringLiteral("Glucose"),
                                QStringLiteral("CNS"), QStringLiteral("mM"), kSampleTime, 1.0));
    EXPECT_TRUE(link.isActive());
    ASSERT_EQ(log.mainLines().size(), 1);
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral(" - Orvanta AddResult failed for P1 Glucose CNS at 2026-12-08T12:00:00: "
                       "AddResult refused by the stub")))
        << log.mainLines().last().toStdString();
    EXPECT_TRUE(link.addResult(QStringLiteral("P1"), QStringLiteral("Glucose"), QString(),
                               QStringLiteral("mM"), kSampleTime, 1.0));
    EXPECT_EQ(calls().size(), 2);
}

TEST_F(OrvantaLinkTest, AServerThatDoesNotAnswerInTimeCountsAsAFailure) {
    startServer({QStringLiteral("--delay-ms"), QStringLiteral("1500")}, 200);
    EXPECT_FALSE(link.reportCollectStateChange(OrvantaCollectState::Collecting));
    EXPECT_TRUE(log.mainLines().last().endsWith(
        QStringLiteral(" - Orvanta ReportCollectState failed (state 2): no answer within 200 ms")))
        << log.mainLines().last().toStdString();
    link.notifyUpdate();
    EXPECT_FALSE(link.isActive());
}

TEST_F(OrvantaLinkTest, CreationFailsWithoutTheServerOrTheBus) {
    EXPECT_THROW(DBusPanoptraAutoObject::create(connection()), EOrvantaCallFailed);
    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
    EXPECT_THROW(DBusPanoptraAutoObject::create(nowhere), EOrvantaCallFailed);
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

TEST_F(OrvantaLinkTest, AnInactiveLinkMakesNoCalls) {
    link.notifyUpdate();
    EXPECT_FALSE(link.reportCollectStateChange(OrvantaCollectState::Collecting));
    EXPECT_FALSE(link.addResult(QStringLiteral("P1"), QStringLiteral("Glucose"), QString(),
                                QStringLiteral("mM"), kSampleTime, 1.0));
    EXPECT_TRUE(
        log.mainLines().last().endsWith(QStringLiteral(" - No Orvanta update, not active")));
}
