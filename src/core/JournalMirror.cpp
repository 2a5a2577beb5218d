#include "JournalMirror.h"

#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

namespace {

constexpr int kError = 3;
constexpr int kWarning = 4;
constexpr int kInformational = 6;

} // namespace

bool JournalMirror::wanted(bool askedOnCommandLine) {
    return askedOnCommandLine || !qEnvironmentVariableIsEmpty(kServiceVariable);
}

int JournalMirror::priorityOf(LogSeverity severity) {
    switch (severity) {
    case LogSeverity::Error:
        return kError;
    case LogSeverity::Warning:
        return kWarning;
    case LogSeverity::Info:
        break;
    }
    return kInformational;
}

QByteArray JournalMirror::textFor(const QString& message, const QString& line,
                                  LogSeverity severity) {
    if (message.isEmpty())
        return {};
    const QByteArray priority = '<' + QByteArray::number(priorityOf(severity)) + '>';
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QByteArray text;
    for (const QString& part : line.split(lineBreak))
        text += priority + part.toUtf8() + '\n';
    return text;
}

void JournalMirror::write(const QString& message, const QString& line, LogSeverity severity) {
    const QByteArray text = textFor(message, line, severity);
    if (text.isEmpty() || m_stream == nullptr)
        return;
    std::fwrite(text.constData(), 1, size_t(text.size()), m_stream);
    std::fflush(m_stream);
}
