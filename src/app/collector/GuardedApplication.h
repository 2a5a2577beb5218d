#pragma once

#include <exception>
#include <functional>

#include <QString>

#include "TarvoError.h"

class QEvent;
class QObject;

// An application object whose event delivery catches every exception that escapes an event
// handler and hands its message to the failure handler; the program then runs on.
// Base is QCoreApplication for the headless collector and QApplication with a window.
template <typename Base> class GuardedApplication : public Base {
public:
    using FailureHandler = std::function<void(const QString& message)>;

    GuardedApplication(int& argc, char** argv) : Base(argc, argv) {}

    void setFailureHandler(FailureHandler handler) { m_handler = std::move(handler); }

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return Base::notify(receiver, event);
        } catch (const std::exception& error) {
            report(describeError(error));
        } catch (...) {
            report(QStringLiteral("unknown failure"));
        }
        return false;
    }

private:
    void report(const QString& message) {
        if (m_handler)
            m_handler(message);
    }

    FailureHandler m_handler;
};
