#pragma once

#include <exception>
#include <stdexcept>

#include <QString>

// A failure the collector raises: its message is the text it was made with, kept as a QString
// so that names and paths read the same in the log on every system. The errors of each layer
// (a damaged data file, a document that is not XML, a value that does not convert) derive from it.
class TarvoError : public std::runtime_error {
public:
    explicit TarvoError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    explicit TarvoError(const char* message) : TarvoError(QString::fromUtf8(message)) {}

    const QString& message() const noexcept { return m_message; }

private:
    QString m_message;
};

// The message of any exception: a TarvoError's own text, the text of another (a library's or
// the standard library's) as it describes itself.
inline QString describeError(const std::exception& error) {
    if (const auto* own = dynamic_cast<const TarvoError*>(&error))
        return own->message();
    return QString::fromLocal8Bit(error.what());
}
