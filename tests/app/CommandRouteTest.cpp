#include <gtest/gtest.h>

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include "CommandRoute.h"
#include "SingleInstance.h"

namespace {

// A collector's single-instance socket as the service has it: listening in its own runtime
// folder (the service's TMPDIR), not in this process's temporary folder. It answers on a thread
// of its own, as another process would, while the test waits for the answer.
class ServiceStandIn : public QThread {
public:
    explicit ServiceStandIn(ServiceLocation location) : m_location(std::move(location)) {
        start();
        m_ready.acquire();
    }
    ~ServiceStandIn() override {
        quit();
        wait();
    }
    bool acquired = false;

protected:
    void run() override {
        SingleInstance instance(m_location.rootFolder);
        const QByteArray before = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_location.runtimeFolder.toUtf8());
        acquired = instance.acquire();
        qputenv("TMPDIR", before);
        instance.setCommandHandler([](const QString& command) {
            return SingleInstance::Answer{QStringLiteral("service: ") + command, false, true};
        });
        m_ready.release();
        exec();
    }

private:
    ServiceLocation m_location;
    QSemaphore m_ready;
};

} // namespace

TEST(CommandRoute, WithoutARootTheServiceAnswersAndSaysSo) {
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString own = scratch.filePath(QStringLiteral("own"));
    const ServiceLocation service{scratch.filePath(QStringLiteral("service-root")),
                                  scratch.filePath(QStringLiteral("run"))};
    ASSERT_TRUE(QDir().mkpath(service.runtimeFolder));

    struct Case {
        const char* what;
        QString root;
        bool rootGiven;
        bool serviceRuns;
        bool answered;
    };
    const Case cases[] = {
        {"no root, service down", own, false, false, false},
        {"no root, service up", own, false, true, true},
        {"the service's root given", service.rootFolder, true, true, true},
        {"another root given", own, true, true, false},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ServiceStandIn> running;
        if (c.serviceRuns) {
            running = std::make_unique<ServiceStandIn>(service);
            ASSERT_TRUE(running->acquired) << c.what;
        }
        const CommandRoute::Reply reply =
            CommandRoute::send(c.root, c.rootGiven, QStringLiteral("status"), service, 3000);
        EXPECT_EQ(reply.answer.received, c.answered) << c.what;
        if (c.answered) {
            EXPECT_EQ(reply.answer.text, "service: status") << c.what;
            EXPECT_TRUE(reply.byService) << c.what;
            EXPECT_EQ(reply.answeredRoot, QDir(service.rootFolder).absolutePath()) << c.what;
        } else {
            EXPECT_EQ(reply.triedRoots.first(), QDir(c.root).absolutePath()) << c.what;
            EXPECT_EQ(reply.triedRoots.size(), c.rootGiven ? 1 : 2) << c.what;
        }
    }
}
