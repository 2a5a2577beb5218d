#include <gtest/gtest.h>

#include <random>

#include "PendingText.h"
#include "QtPrinters.h"

namespace {

// The framing rules written the plain way, searching from the start every time: the
// reference the incremental framing must agree with.
class ReferenceFraming {
public:
    void append(const QString& text) { m_pending += text; }

    bool hasCompleteMessage() {
        qsizetype e = m_pending.indexOf(QLatin1String("</Tarvo>"));
        if (e < 0)
            return false;
        const qsizetype s = m_pending.indexOf(QLatin1String("<?xml"));
        if (s < 0 || s > e) {
            m_pending.remove(0, e + 8);
            return false;
        }
        while (true) {
            const qsizetype next = m_pending.left(e + 8).indexOf(QLatin1String("<?xml"), 1);
            if (next < 0)
                return true;
            m_pending.remove(0, next);
            e = m_pending.indexOf(QLatin1String("</Tarvo>"));
            if (e < 0)
                return false;
        }
    }

    QString cutMessage() {
        const qsizetype s = m_pending.indexOf(QLatin1String("<?xml"));
        if (s < 0)
            return {};
        m_pending.remove(0, s);
        const qsizetype e = m_pending.indexOf(QLatin1String("</Tarvo>"));
        if (e < 0)
            return {};
        const QString message = m_pending.left(e + 8);
        m_pending.remove(0, e + 8);
        return message;
    }

    const QString& pending() const { return m_pending; }

private:
    QString m_pending;
};

// What one dispatch call does: append, then cut while complete.
template <typename Framing> QStringList feed(Framing& framing, const QString& chunk);

template <> QStringList feed(PendingText& framing, const QString& chunk) {
    framing.append(chunk);
    QStringList cut;
    while (framing.HasCompleteMessage())
        cut << framing.CutMessage();
    return cut;
}

template <> QStringList feed(ReferenceFraming& framing, const QString& chunk) {
    framing.append(chunk);
    QStringList cut;
    while (framing.hasCompleteMessage())
        cut << framing.cutMessage();
    return cut;
}

QStringList feedAll(PendingText& pending, const QStringList& chunks) {
    QStringList cut;
    for (const QString& chunk : chunks)
        cut += feed(pending, chunk);
    return cut;
}

const QString kMessage = QStringLiteral("<?xml version=\"1.0\"?><Tarvo><A>1</A></Tarvo>");

} // namespace

TEST(PendingText, AnUnfinishedMessageFollowedByANewOneIsDropped) {
    PendingText pending;
    const QStringList cut =
        feedAll(pending, {QStringLiteral("<?xml version=\"1.0\"?><Tarvo><Unfinis"), kMessage});
    EXPECT_EQ(cut, QStringList{kMessage});
    EXPECT_EQ(pending.size(), 0);
}

TEST(PendingText, AStrayEndMarkerDropsTheTextBeforeItAndTheNextMessageWaits) {
    PendingText pending;
    EXPECT_TRUE(feedAll(pending, {QStringLiteral("junk</Tarvo>") + kMessage}).isEmpty());
    EXPECT_EQ(pending.text(), kMessage) << "cut at the connection's next read";
    EXPECT_EQ(feed(pending, QString()), QStringList{kMessage});
}

TEST(PendingText, EndMarkerWithoutAnyStartIsDroppedAndTheRestWaits) {
    PendingText pending;
    EXPECT_TRUE(feedAll(pending, {QStringLiteral("noise</Tarvo>tail")}).isEmpty());
    EXPECT_EQ(pending.text(), QStringLiteral("tail"));
}

TEST(PendingText, TwoMessagesInOneChunkAreBothCut) {
    PendingText pending;
    EXPECT_EQ(feedAll(pending, {kMessage + kMessage + QStringLiteral("<?xml")}),
              (QStringList{kMessage, kMessage}));
    EXPECT_EQ(pending.text(), QStringLiteral("<?xml"));
}

TEST(PendingText, MarkersSplitAcrossChunksAreFound) {
    PendingText pending;
    QStringList chunks;
    for (const QChar c : kMessage)
        chunks << QString(c);
    EXPECT_EQ(feedAll(pending, chunks), QStringList{kMessage});
}

TEST(PendingText, AgreesWithThePlainRulesOnRandomStreams) {
    const QStringList tokens = {
        QStringLiteral("<?xml"), QStringLiteral("</Tarvo>"), QStringLiteral("<Tarvo>"),
        QStringLiteral("x"),     QStringLiteral("<?xm"),     QStringLiteral("l"),
        QStringLiteral("</Tar"), QStringLiteral("vo>"),      QStringLiteral("data data ")};
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        QString stream;
        const int length = int(random() % 60);
        for (int i = 0; i < length; ++i)
            stream += tokens[int(random() % tokens.size())];
        PendingText pending;
        ReferenceFraming reference;
        qsizetype at = 0;
        while (at < stream.size()) {
            const qsizetype piece = 1 + qsizetype(random() % 12);
            const QString chunk = stream.mid(at, piece);
            at += piece;
            ASSERT_EQ(feed(pending, chunk), feed(reference, chunk)) << stream.toStdString();
            ASSERT_EQ(pending.text(), reference.pending()) << stream.toStdString();
        }
    }
}

TEST(PendingText, LimitDropsTheOldestUnfinishedText) {
    PendingText pending;
    pending.append(QString(100, u'a') + QStringLiteral("<?xml") + QString(10, u'b'));
    EXPECT_EQ(pending.enforceLimit(200), 0);
    EXPECT_EQ(pending.enforceLimit(50), 100);
    EXPECT_EQ(pending.text(), QStringLiteral("<?xml") + QString(10, u'b'));

    pending.append(QString(100, u'c'));
    EXPECT_GT(pending.enforceLimit(50), 0) << "the message alone is over the limit";
    EXPECT_LE(pending.size(), 4);
    EXPECT_EQ(feed(pending, kMessage), QStringList{kMessage}) << "framing goes on";
}
