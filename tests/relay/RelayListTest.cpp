// The relay queue byte for byte: message start and end, renumbered records, frames with their
// numbers and checksums.
#include <gtest/gtest.h>

#include <QList>

#include "TRelayList.h"

namespace {

const QByteArray kStx = "\x02";
const QByteArray kEtx = "\x03";
const QByteArray kEtb = "\x17";

void addMessage(TRelayList& list, const QList<QByteArray>& records) {
    list.Add("\x05");
    for (const QByteArray& record : records)
        list.Add(record + "\r");
    list.Add("\x04");
}

} // namespace

TEST(RelayListTest, AShortMessageIsOneFrameBetweenEnqAndEot) {
    TRelayList list;
    list.IncludeChecksum = true;
    addMessage(list, {"H|\\^&|||TARVOflex^SN1", "P|||P1||Berg^Asa", "O|||Sample #^A1",
                      "R||^^^Glucose^|4|mM", "R||^^^Lactate^|1|mM", "L|1|N"});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(0), "\x05");
    EXPECT_EQ(list.Entry(1), kStx +
                                 "1H|\\^&|||TARVOflex^SN1\rP|1||P1||Berg^Asa\rO|1||Sample #^A1\r"
                                 "R|1|^^^Glucose^|4|mM\rR|2|^^^Lactate^|1|mM\rL|1|N\r" +
                                 kEtx + "D2\r\n");
    EXPECT_EQ(list.Entry(2), "\x04");

    TRelayList plain;
    addMessage(plain, {"H|\\^&", "L|1|N"});
    ASSERT_EQ(plain.Count(), 3);
    EXPECT_EQ(plain.Entry(1), kStx + "1H|\\^&\rL|1|N\r" + kEtx + "\r\n") << "no checksum when off";
}

TEST(RelayListTest, ChecksumsAreTwoUpperCaseHexDigits) {
    TRelayList list;
    list.IncludeChecksum = true;
    addMessage(list, {"Lzz\""}); // "1" + "Lzz\"\r" + ETX sums to 0x1A3
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(1), kStx + "1Lzz\"\r" + kEtx + "A3\r\n");
    EXPECT_EQ(TRelayList::Checksum("\x05"), "05");
    EXPECT_EQ(TRelayList::Checksum(QByteArray(2, char(0xFF))), "FE");
}

TEST(RelayListTest, RecordsAreNumberedPerTypeAndCut) {
    TRelayList list;
    addMessage(list,
               {"H|", "P|||A", "O|||B", "R||C", "R||D", "O|||E", "R||F", "R||G", "L|1|N", "Q|x"});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(1),
              kStx + "1H|\rP|1||A\rO|1||B\rR|1|C\rR|2|D\rO|1||E\rR|1|F\rR|2|G\rL|1|N\r" + kEtx +
                  "\r\n")
        << "an unknown record type becomes nothing";

    TRelayList cut;
    const QByteArray tail(300, 'x');
    addMessage(cut, {"R||" + tail});
    // 255 characters after the sequence field, then the CR; longer than a frame, the record
    // continues in the next one.
    ASSERT_EQ(cut.Count(), 4);
    const QByteArray record = "R|1|" + tail.left(254) + "\r";
    EXPECT_EQ(cut.Entry(1), kStx + "1" + record.left(240) + kEtb + "\r\n");
    EXPECT_EQ(cut.Entry(2), kStx + "2" + record.mid(240) + kEtx + "\r\n");
}

namespace {

// Whether an entry is a valid E1381 frame: STX, frame number, at most 240 characters of text
// without control characters other than the CR that ends each record, ETB or ETX, the checksum
// when asked for, CR LF.
bool validFrame(const QByteArray& frame, bool checksum) {
    const qsizetype end = frame.size() - (checksum ? 4 : 2);
    if (frame.size() < 5 || frame.at(0) != '\x02' || frame.at(1) < '0' || frame.at(1) > '7' ||
        !frame.endsWith("\r\n") || (frame.at(end - 1) != '\x03' && frame.at(end - 1) != '\x17'))
        return false;
    const QByteArray text = frame.mid(2, end - 3);
    if (text.size() > TRelayList::kMaxFrameText)
        return false;
    for (const char c : text) {
        if (quint8(c) < 0x20 && c != '\r')
            return false;
    }
    return !checksum || frame.mid(end, 2) == TRelayList::Checksum(frame.mid(1, end - 1));
}

} // namespace

TEST(RelayListTest, WhatAnAnalyzerSendsBecomesValidFramesOrNothing) {
    const QByteArray enq = "\x05";
    const QByteArray eot = "\x04";
    const QByteArray longResult = "R||^^^Glucose^|" + QByteArray(300, '7') + "|mM";
    struct Case {
        const char* what;
        QList<QByteArray> adds; // as the parser adds them (records without their CR)
        QByteArray text;        // the records the frames carry, joined; empty: no message
        int logged = 0;         // log lines about changed or left-out records
    } cases[] = {
        {"a bare EOT", {eot}, {}},
        {"an ENQ and EOT without records", {enq, eot}, {}},
        {"records outside a message", {"H|\\^&", "L|1|N", eot}, {}},
        {"an unfinished message is replaced by the next",
         {enq, "H|\\^&", "P|||Lost", enq, "H|\\^&", "L|1|N", eot},
         "H|\\^&\rL|1|N\r"},
        {"the sequence field is replaced, not prefixed",
         {enq, "P|7||P1", "R|12|^^^Glucose^|4"},
         "P|1||P1\rR|1|^^^Glucose^|4\r"},
        {"a type letter alone is left out",
         {enq, "R", "R||^^^Glucose^|4", "Q|x"},
         "R|1|^^^Glucose^|4\r",
         2},
        {"control characters are removed",
         {enq,
          QByteArray("R||^^^Glu\x02"
                     "cose^|4\x03") +
              QByteArray(1, '\0') + "\x17\x05\x04",
          "L|1|N\n"},
         "R|1|^^^Glucose^|4\rL|1|N\r",
         1},
        {"a long record keeps its CR and the next record its start",
         {enq, longResult, "L|1|N"},
         "R|1" + longResult.mid(2, 255) + "\rL|1|N\r"},
    };
    for (const Case& test : cases) {
        TRelayList list;
        list.IncludeChecksum = true;
        int logged = 0;
        list.Log = [&logged](const QString&) {
            ++logged;
        };
        for (const QByteArray& add : test.adds)
            list.Add(add == enq || add == eot ? add : add + "\r");
        if (!test.adds.isEmpty() && test.adds.last() != eot)
            list.Add(eot);
        EXPECT_EQ(logged, test.logged) << test.what;
        if (test.text.isEmpty()) {
            EXPECT_EQ(list.Count(), 0) << test.what;
            continue;
        }
        ASSERT_GE(list.Count(), 3) << test.what;
        EXPECT_EQ(list.Entry(0), enq) << test.what;
        EXPECT_EQ(list.Entry(list.Count() - 1), eot) << test.what;
        QByteArray text;
        for (qsizetype i = 1; i + 1 < list.Count(); ++i) {
            const QByteArray& frame = list.Entry(i);
            EXPECT_TRUE(validFrame(frame, true)) << test.what << ": " << frame.toStdString();
            text += frame.mid(2, frame.size() - 7);
        }
        EXPECT_EQ(text, test.text) << test.what;
    }
}

TEST(RelayListTest, LongMessagesAreSplitAtRecordBoundaries) {
    TRelayList list;
    const QByteArray body(99, 'b'); // records of 100 characters with their CR
    addMessage(list, {"L" + body, "L" + body, "L" + body});
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Entry(1), kStx + "1L" + body + "\rL" + body + "\r" + kEtb + "\r\n");
    EXPECT_EQ(list.Entry(2), kStx + "2L" + body + "\r" + kEtx + "\r\n");

    TRelayList exact;
    const QByteArray forty(38, 'f'); // 40 with the type letter and CR
    addMessage(exact,
               {"L" + forty, "L" + forty, "L" + forty, "L" + forty, "L" + forty, "L" + forty});
    EXPECT_EQ(exact.Count(), 3) << "240 characters still fit one frame";

    TRelayList many;
    QList<QByteArray> records;
    for (int i = 0; i < 9; ++i)
        records << "L" + QByteArray(199, char('a' + i));
    addMessage(many, records);
    ASSERT_EQ(many.Count(), 11);
    QByteArray numbers;
    for (int i = 1; i <= 9; ++i) {
        numbers += many.Entry(i).at(1);
        EXPECT_EQ(many.Entry(i).at(many.Entry(i).size() - 3), i < 9 ? '\x17' : '\x03') << i;
    }
    EXPECT_EQ(numbers, "123456701") << "the eighth frame carries 0";

    // The next message starts at frame 1 again.
    addMessage(many, {"L|1|N"});
    EXPECT_EQ(many.Entry(12), kStx + "1L|1|N\r" + kEtx + "\r\n");
}
