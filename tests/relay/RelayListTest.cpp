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
    addMessage(cut, {"R|" + tail});
    // The long record travels in a frame of its own, after an empty one.
    ASSERT_EQ(cut.Count(), 4);
    EXPECT_EQ(cut.Entry(1), kStx + "1" + kEtb + "\r\n");
    EXPECT_EQ(cut.Entry(2), kStx + "2R|1" + tail.left(255) + kEtx + "\r\n")
        << "255 characters after the delimiter, the rest (and its CR) cut";
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
