#include "JournalMirror.h"

#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

#include "LogPrefixes.h"

namespace {

constexpr int kError = 3;
constexpr int kInformational = 6;

constexpr const char* kFailurePrefixes[] = {
    LogPrefix::kStartup,      LogPrefix::kSettingsFile,  LogPrefix::kAdmission,
    LogPrefix::kArchivedFile, LogPrefix::kPortSetup,     LogPrefix::kPortChange,
    LogPrefix::kEventsFile,   LogPrefix::kExternalMedia, LogPrefix::kPatientCheck,
    LogPrefix::kApplication,
};

} // namespace

bool JournalMirror::wanted(bool askedOnCommandLine) {
    return askedOnCommandLine || !qEnvironmentVariableIsEmpty(kServiceVariable);
}

int JournalMirror::priorityOf(const QString& message) {
    for (const char* prefix : kFailurePrefixes) {
        if (message.startsWith(QLatin1String(prefix)))
            return kError;
    }
    return kInformational;
}

QByteArray JournalMirror::textFor(const QString& message, const QString& line) {
    if (message.isEmpty())
        return {};
    const QByteArray priority = '<' + QByteArray::number(priorityOf(message)) + '>';
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QByteArray text;
    for (const QString& part : line.split(lineBreak))
        text += priority + part.toUtf8() + '\n';
    return text;
}

void JournalMirror::write(const QString& message, const QString& line) {
    const QByteArray text = textFor(message, line);
    if (text.isEmpty() || m_stream == nullptr)
        return;
    std::fwrite(text.constData(), 1, size_t(text.size()), m_stream);
    std::fflush(m_stream);
}
