#include <gtest/gtest.h>

#include <stdexcept>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "GuardedApplication.h"

namespace {

class ThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw std::runtime_error("socket error 10048");
        return QObject::event(event);
    }
};

} // namespace

TEST(GuardedApplication, EscapedExceptionsReachTheHandlerAndTheLoopRunsOn) {
    // Every test program's application object is a GuardedApplication (TestMain.cpp).
    auto* app = static_cast<GuardedApplication<QCoreApplication>*>(QCoreApplication::instance());
    QStringList reported;
    app->setFailureHandler([&](const QString& message) { reported << message; });

    ThrowingObject thrower;
    QEventLoop loop;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    bool laterEventHandled = false;
    QTimer::singleShot(0, &loop, [&] {
        laterEventHandled = true;
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    app->setFailureHandler({});

    EXPECT_EQ(reported, QStringList({QStringLiteral("socket error 10048"),
                                     QStringLiteral("socket error 10048")}));
    EXPECT_TRUE(laterEventHandled);
}
