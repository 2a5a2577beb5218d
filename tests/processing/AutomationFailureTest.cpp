// A slow or refusing automation server against a running collector: the reference server on a
// private bus, real loopback connections and real files.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "DBusPanoptraAutoObject.h"
#include "PrivateBus.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kTime(QDate(2026, 12, 8), QTime(10, 0));

QString controlAt(double value, const QDateTime& time) {
    AutoControlResult control;
    control.analyte = QStringLiteral("Lactate");
    control.value = value;
    control.time = time;
    return autoControl(control);
}

class AutomationFailureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString(); }
    void TearDown() override {
        collector.reset();
        QDBusConnection::disconnectFromBus(connectionName);
    }

    // The reference server with the options, and a collector that reaches it with the time-out.
    void start(const QStringList& serverOptions, const QString& settings, int timeoutMs) {
        stub = std::make_unique<AutomationStubProcess>(bus.address(), root.path() + "/calls.jsonl",
                                                       serverOptions);
        ASSERT_TRUE(stub->isReady()) << stub->error().toStdString();
        collector = std::make_unique<RunningCollector>(root, settings, [this, timeoutMs] {
            return DBusPanoptraAutoObject::create(
                QDBusConnection::connectToBus(bus.address(), connectionName), timeoutMs);
        });
        ASSERT_TRUE(collector->started);
    }

    // The operations the server received, each with "!" when it refused it.
    QStringList serverCalls() const {
        QStringList operations;
        for (const QByteArray& line : stub->loggedCalls()) {
            const QJsonObject call = QJsonDocument::fromJson(line).object();
            operations << call.value(QStringLiteral("operation")).toString() +
                              (call.value(QStringLiteral("failed")).toBool() ? QStringLiteral("!")
                                                                             : QString());
        }
        return operations;
    }

    PrivateBus bus;
    TempRoot root;
    QString connectionName = QUuid::createUuid().toString();
    std::unique_ptr<AutomationStubProcess> stub;
    std::unique_ptr<RunningCollector> collector;
};

} // namespace

TEST_F(AutomationFailureTest, ASlowServerAtStartUpLeavesAutoStartCollectingAndStoring) {
    start({QStringLiteral("--delay-ms"), QStringLiteral("800")},
          QStringLiteral("AutoStart=dword:1\n"), 150);
    RunningCollector& c = *collector;
    EXPECT_EQ(c->state().collection, CollectionState::Collecting)
        << "AutoStart's choice stands whatever the server answers";
    EXPECT_TRUE(c.logged(QStringLiteral("Orvanta ReportCollectState failed (state 2): no answer "
                                        "within 150 ms")));
    EXPECT_TRUE(c.logged(QStringLiteral("Orvanta ReportCollectState failed (Start): no answer "
                                        "within 150 ms; no further Orvanta calls")));

    QTcpSocket& analyzer = c.connectFrom();
    ASSERT_TRUE(c.send(analyzer, utf16(controlAt(1.5, kTime))));
    const auto points = storedPoints(c.patientFolder(QStringLiteral("AutoControl")) + "Tarvo.pil");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_DOUBLE_EQ(points[0].value, 1.5);
    EXPECT_TRUE(c.logged(QStringLiteral("No Orvanta update, not active")));
}

TEST_F(AutomationFailureTest, ARefusedAnnouncementCostsNoStoredControl) {
    start({QStringLiteral("--fail"), QStringLiteral("AddResult")}, QString(), 2000);
    RunningCollector& c = *collector;
    c->collectionControl().start();
    QTcpSocket& analyzer = c.connectFrom();
    ASSERT_TRUE(c.send(analyzer, utf16(controlAt(1.5, kTime) + controlAt(2.5, kTime.addSecs(60)))));

    const auto points = storedPoints(c.patientFolder(QStringLiteral("AutoControl")) + "Tarvo.pil");
    ASSERT_EQ(points.size(), 2u) << "both controls are stored although neither was announced";
    EXPECT_DOUBLE_EQ(points[0].value, 1.5);
    EXPECT_DOUBLE_EQ(points[1].value, 2.5);
    EXPECT_EQ(c.loggedCount(QStringLiteral("Orvanta AddResult failed for AutoControl Lactate Low "
                                           "at 2026-12-08T10:0")),
              2);
    EXPECT_TRUE(c.logged(QStringLiteral("AddResult refused by the stub")));
    EXPECT_FALSE(c.logged(QStringLiteral("not handled"))) << "processing went on";
    EXPECT_TRUE(c->orvanta().isActive());
    ASSERT_TRUE(
        waitUntil([&] { return serverCalls().count(QStringLiteral("NotifyUpdate")) == 2; }));
    EXPECT_EQ(serverCalls().filter(QStringLiteral("AddResult")),
              (QStringList{QStringLiteral("AddResult!"), QStringLiteral("AddResult!")}));
}
