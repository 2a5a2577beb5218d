#pragma once

#include <QString>

// Messages and questions for the operator. With a window they are message boxes; without one
// a message goes to standard error and a question takes its safe answer.
class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    virtual void showMessage(const QString& text) = 0;
    // Returns true for Yes.
    virtual bool confirm(const QString& question) = 0;
};

class HeadlessOperatorMessages final : public OperatorMessages {
public:
    void showMessage(const QString& text) override;
    bool confirm(const QString& question) override;
};
