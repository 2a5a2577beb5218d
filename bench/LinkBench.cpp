// Decoding, framing and classifying analyzer XML streams: what one read event does with the
// bytes it gets, without the socket. Prints rates and ratios; run a Release build.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <QCoreApplication>

#include "TSockets.h"
#include "Utf16StreamDecoder.h"
#include "XmlDispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QString liveMessage(int n) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo version=\"1.1\">"
                          "<MDMeasurement><Connection>Open</Connection><Patient><PatientID>"
                          "19121212-%1</PatientID><FirstName>Åsa</FirstName><LastName>Öberg"
                          "</LastName></Patient><Analyte>Glucose</Analyte><Concentration>2.%2"
                          "</Concentration><Unit>mmol/L</Unit><Time>2026-12-08T12:00:00</Time>"
                          "<Status>OK</Status><VialID>V12</VialID><AttemptNo>1</AttemptNo>"
                          "<CatheterLocation>CNS</CatheterLocation></MDMeasurement></Tarvo>")
        .arg(n, 4, 10, QChar(u'0'))
        .arg(n % 10);
}

struct Outcome {
    double seconds = 0;
    int messages = 0;
};

// Feeds the stream in pieces whose sizes come from nextPiece.
template <typename NextPiece> Outcome run(const QByteArray& stream, NextPiece nextPiece) {
    TSockets records;
    FramingDispatcher dispatcher(records);
    // As in the collector while no data client is connected: the messages cut go nowhere else.
    dispatcher.SetCollectsMessages(false);
    Outcome outcome;
    QObject::connect(
        &dispatcher, &FramingDispatcher::messageCut,
        [&outcome](const QString&, TMessageType, const QString&) { ++outcome.messages; });
    Utf16StreamDecoder decoder;
    const auto start = Clock::now();
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype piece = std::min<qsizetype>(nextPiece(), stream.size() - at);
        dispatcher.Dispatch(decoder.decode(QByteArray::fromRawData(stream.constData() + at, piece)),
                            QStringLiteral("127.0.0.1"));
        at += piece;
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

// The machine's limit for framing the same bytes: memchr finds every '<' of the UTF-16 text,
// and the bytes after it are compared with the start and end markers; a message is counted at
// each end marker behind a start marker. Nothing is decoded, copied or classified.
Outcome memchrFraming(const QByteArray& stream) {
    const QByteArray start = utf16(QStringLiteral("<?xml"));
    const QByteArray end = utf16(QStringLiteral("</Tarvo>"));
    Outcome outcome;
    const auto began = Clock::now();
    const char* const first = stream.constData();
    const char* const last = first + stream.size();
    bool open = false;
    for (const char* at = first; at < last;) {
        const void* found = std::memchr(at, '<', std::size_t(last - at));
        if (found == nullptr)
            break;
        const char* lt = static_cast<const char*>(found);
        const std::size_t left = std::size_t(last - lt);
        if ((lt - first) % 2 == 0) {
            if (left >= std::size_t(start.size()) &&
                std::memcmp(lt, start.constData(), std::size_t(start.size())) == 0) {
                open = true;
            } else if (open && left >= std::size_t(end.size()) &&
                       std::memcmp(lt, end.constData(), std::size_t(end.size())) == 0) {
                ++outcome.messages;
                open = false;
            }
        }
        at = lt + 1;
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    return outcome;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QByteArray oneMessageOf(qsizetype bytes) {
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-16\"?><Tarvo><Big>");
    const QString tail = QStringLiteral("</Big></Tarvo>");
    return utf16(head + QString(bytes / 2 - head.size() - tail.size(), u'x') + tail);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QByteArray stream;
    for (int n = 0; stream.size() < (qsizetype(64) << 20); ++n)
        stream += utf16(liveMessage(n));
    const double megabytes = double(stream.size()) / (1 << 20);

    const Outcome fixed = run(stream, [] { return qsizetype(4096); });
    std::printf("4 KiB pieces:        %.0f MB/s of UTF-16, %.0f messages/s (%d messages, %.1f MB)"
                " (target at least 100 MB/s)\n",
                megabytes / fixed.seconds, fixed.messages / fixed.seconds, fixed.messages,
                megabytes);
    // The limit, measured in the same run, against the median of three runs of the framing.
    std::vector<double> limits;
    std::vector<double> framings{fixed.seconds};
    for (int round = 0; round < 3; ++round) {
        const Outcome limit = memchrFraming(stream);
        if (limit.messages != fixed.messages) {
            std::fprintf(stderr, "link_bench: the memchr scan counts %d messages, not %d\n",
                         limit.messages, fixed.messages);
            return 1;
        }
        limits.push_back(limit.seconds);
        if (round > 0)
            framings.push_back(run(stream, [] { return qsizetype(4096); }).seconds);
    }
    const double limitSeconds = median(limits);
    const double framingSeconds = median(framings);
    std::printf("  limit, a memchr framing scan of the same bytes: %.0f MB/s; 4 KiB pieces, median "
                "of 3: %.0f MB/s = %.3f of it (target at least 0.2)\n",
                megabytes / limitSeconds, megabytes / framingSeconds,
                limitSeconds / framingSeconds);
    std::mt19937 random(7);
    const Outcome mixed = run(stream, [&random] { return qsizetype(1 + random() % 4096); });
    std::printf("1..4096 byte pieces: %.0f MB/s of UTF-16, %.0f messages/s\n",
                megabytes / mixed.seconds, mixed.messages / mixed.seconds);

    const Outcome two = run(oneMessageOf(qsizetype(2) << 20), [] { return qsizetype(1); });
    const Outcome four = run(oneMessageOf(qsizetype(4) << 20), [] { return qsizetype(1); });
    std::printf("one message in 1-byte pieces: 2 MB %.3f s, 4 MB %.3f s, ratio %.2f (target at "
                "most 2.4, well under a second)\n",
                two.seconds, four.seconds, four.seconds / two.seconds);
    return (two.messages == 1 && four.messages == 1) ? 0 : 1;
}
