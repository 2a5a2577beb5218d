#include <gtest/gtest.h>

#include "ByteBuilder.h"
#include "TMicroReader.h"
#include "TMicroWriter.h"
#include "ZelTypes.h"

namespace {

const QByteArray kHeader20 = "Keldamed Analysis Save File Header 2.0";

// A record seen by the test handler: its depth, tag and value (if it is a leaf it read).
struct Seen {
    int depth;
    qint32 tag;
    QString value;
    bool operator==(const Seen&) const = default;
};

QByteArray checksummedSample() {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.WriteHeader();
    writer.BeginFolding(100);
    writer.WriteIntRecord(101, -7);
    writer.WriteStringRecord(102, QStringLiteral("Åsa"));
    writer.BeginGroup(110);
    writer.WriteDoubleRecord(111, 2.5);
    writer.WriteByteRecord(112, 200);
    writer.EndGroup();
    writer.EndFolding();
    writer.WriteStringRecord(103, QString());
    writer.CloseStream();
    EXPECT_EQ(writer.Depth(), 0);
    return data;
}

// Opens 100 and 110, reads the known leaves, skips everything else.
std::vector<Seen> readSample(const QByteArray& data, bool* valid = nullptr) {
    std::vector<Seen> seen;
    TMicroReader reader;
    const bool result = reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        QString value;
        switch (tag) {
        case 100:
            r.BeginFolding(tag);
            break;
        case 110:
            r.EnterGroup(tag);
            break;
        case 101:
            value = QString::number(r.ReadInteger());
            break;
        case 102:
        case 103:
            value = r.ReadString();
            break;
        case 111:
            value = QString::number(r.ReadDouble());
            break;
        case 112:
            value = QString::number(r.ReadByte());
            break;
        default:
            r.SkipRecord();
        }
        seen.push_back({r.Depth(), tag, value});
    });
    if (valid)
        *valid = result;
    return seen;
}

} // namespace

TEST(ObjectStream, HeaderOfAChecksumFreeStream) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.WriteHeader();
    writer.CloseStream();
    const QByteArray expected = ByteBuilder().i32(1).i32(50).i32(9).i32(42).i32(1).raw(kHeader20);
    EXPECT_EQ(data, expected);
}

TEST(ObjectStream, EmptyStringRecord) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.WriteStringRecord(7, QString());
    EXPECT_EQ(data, ByteBuilder().i32(7).i32(4).i32(1).bytes());
}

TEST(ObjectStream, EmptyChecksummedFoldingHoldsOnlyItsChecksum) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.BeginFolding(0x01020304);
    writer.EndFolding();
    const quint8 expectedSum = quint8(1 + 2 + 3 + 4 + 1);
    EXPECT_EQ(data, ByteBuilder().i32(0x01020304).i32(1).u8(expectedSum).bytes());
    EXPECT_EQ(writer.Checksum(), quint8(2 * expectedSum)) << "the outer level counts it twice";
}

TEST(ObjectStream, ChecksummedHeaderIsMarkedWithAStar) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.WriteHeader();
    EXPECT_EQ(writer.HeaderText(), "*" + kHeader20);
}

TEST(ObjectStream, NestedFoldingsGroupsAndLeavesReadBack) {
    const QByteArray data = checksummedSample();
    bool valid = false;
    const std::vector<Seen> seen = readSample(data, &valid);
    EXPECT_TRUE(valid);
    const std::vector<Seen> expected = {
        {2, 100, {}}, {2, 101, "-7"},  {2, 102, QStringLiteral("Åsa")},
        {2, 110, {}}, {2, 111, "2.5"}, {2, 112, "200"},
        {1, 103, ""},
    };
    EXPECT_EQ(seen, expected);
}

TEST(ObjectStream, LevelClosedReportsEveryChecksum) {
    const QByteArray data = checksummedSample();
    std::vector<bool> results;
    TMicroReader reader;
    reader.SetOnLevelClosed(
        [&](TMicroReader&, quint8, bool correct) { results.push_back(correct); });
    reader.Load(data, [](qint32 tag, TMicroReader& r) {
        if (tag == 100)
            r.BeginFolding(tag);
        else if (tag == 110)
            r.EnterGroup(tag);
        else
            r.SkipRecord();
    });
    EXPECT_EQ(results, (std::vector<bool>{true, true})) << "folding 100, then the root";
}

TEST(ObjectStream, AFlippedPayloadByteFailsTheChecksumButReadingGoesOn) {
    QByteArray data = checksummedSample();
    const qsizetype doubleAt = data.indexOf(QByteArray::fromRawData("\0\0\0\0\0\0\x04\x40", 8));
    ASSERT_GT(doubleAt, 0);
    data[doubleAt + 7] = char(0x41); // 2.5 becomes another number
    bool valid = true;
    std::vector<Seen> seen;
    EXPECT_NO_THROW(seen = readSample(data, &valid));
    EXPECT_FALSE(valid);
    EXPECT_EQ(seen.back().tag, 103) << "the records after the damage are still read";
}

TEST(ObjectStream, ARemovedByteIsReportedAsCorruption) {
    const QByteArray intact = checksummedSample();
    const qint32 rootSize = qFromLittleEndian<qint32>(intact.constData() + 4);
    for (qsizetype at = 59; at < intact.size() - 1; ++at) {
        QByteArray damaged = intact;
        damaged.remove(at, 1);
        // Keep the root folding's size right, so that the damage is found inside it.
        damaged.replace(4, 4, ByteBuilder().i32(rootSize - 1).bytes());
        try {
            bool valid = true;
            readSample(damaged, &valid);
            ADD_FAILURE() << "no failure when byte " << at << " is removed";
        } catch (const EZelError& error) {
            const std::string text = error.what();
            EXPECT_TRUE(text == ZelText::kCorrupted || text == ZelText::kErrorInFile ||
                        text == ZelText::kFoldingsDoNotMatch)
                << "byte " << at << ": " << text;
        }
    }
}

TEST(ObjectStream, TruncatedChecksummedStreamsFailCleanly) {
    const QByteArray intact = checksummedSample();
    for (qsizetype length = 0; length < intact.size(); ++length)
        EXPECT_THROW(readSample(intact.left(length)), EZelError) << "length " << length;
}

TEST(ObjectStream, Version10StreamHasWideSizes) {
    const QByteArray header = "Keldamed Analysis Save File Header 1.0";
    const QByteArray data = ByteBuilder()
                                .i32(1)
                                .i32(header.size())
                                .i32(0)
                                .i32(1)
                                .raw(header)
                                .i32(50)
                                .i32(4)
                                .i32(0)
                                .i32(1234)
                                .i32(51)
                                .i32(3)
                                .i32(0)
                                .i32(1)
                                .raw("abc");
    std::vector<Seen> seen;
    TMicroReader reader;
    EXPECT_TRUE(reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        seen.push_back({0, tag, tag == 50 ? QString::number(r.ReadInteger()) : r.ReadString()});
    }));
    EXPECT_EQ(reader.VersionMajor(), 1);
    EXPECT_EQ(reader.VersionMinor(), 0);
    EXPECT_EQ(reader.Layout(), TMicroReader::HeaderLayout::OldHeader);
    EXPECT_EQ(seen, (std::vector<Seen>{{0, 50, "1234"}, {0, 51, "abc"}}));
}

TEST(ObjectStream, Version11OldHeaderCountsCharactersOnly) {
    const QByteArray header = "Keldamed Analysis Save File Header 1.1";
    const QByteArray data = ByteBuilder()
                                .i32(1)
                                .i32(header.size())
                                .i32(1)
                                .raw(header)
                                .i32(51)
                                .i32(5)
                                .i32(1)
                                .raw("hello");
    QString text;
    TMicroReader reader;
    reader.Load(data, [&](qint32, TMicroReader& r) { text = r.ReadString(); });
    EXPECT_EQ(reader.VersionMinor(), 1);
    EXPECT_EQ(text, "hello");
}

TEST(ObjectStream, HeaderlessStreamIsReadFromByteFour) {
    const QByteArray data = ByteBuilder().i32(77).i32(60).i32(4).i32(5);
    std::vector<qint32> tags;
    TMicroReader reader;
    EXPECT_TRUE(reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        tags.push_back(tag);
        r.SkipRecord();
    }));
    EXPECT_EQ(reader.Layout(), TMicroReader::HeaderLayout::Headerless);
    EXPECT_EQ(tags, std::vector<qint32>{60});
}

TEST(ObjectStream, StringOfTwoByteCharacters) {
    const QByteArray data = ByteBuilder()
                                .i32(1)
                                .i32(50)
                                .i32(9)
                                .i32(42)
                                .i32(1)
                                .raw(kHeader20)
                                .i32(70)
                                .i32(10)
                                .i32(2)
                                .i16(0x00C5)
                                .i16('s')
                                .i16(0x03A9);
    QString text;
    TMicroReader reader;
    reader.Load(data, [&](qint32, TMicroReader& r) { text = r.ReadString(); });
    EXPECT_EQ(text, QStringLiteral("Ås?")) << "units outside the 8-bit code page become '?'";
}

TEST(ObjectStream, UnknownTagsAreSkippedWithoutDisturbingTheRest) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(true);
    writer.WriteHeader();
    writer.BeginFolding(500); // unknown, nested content
    writer.WriteIntRecord(501, 1);
    writer.BeginFolding(502);
    writer.EndFolding();
    writer.EndFolding();
    writer.WriteIntRecord(600, 42);
    writer.CloseStream();
    qint32 value = 0;
    TMicroReader reader;
    EXPECT_TRUE(reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        if (tag == 600)
            value = r.ReadInteger();
        else
            r.SkipRecord();
    }));
    EXPECT_EQ(value, 42);
}

TEST(ObjectStream, AbsurdSizesNeitherAllocateNorCrash) {
    const QByteArray header = ByteBuilder().i32(1).i32(50).i32(9).i32(42).i32(1).raw(kHeader20);
    // Without checksums: a record claiming 2 GB ends reading as a cut record.
    const QByteArray huge = ByteBuilder().raw(header).i32(70).i32(0x7FFFFFF0).i32(1).raw("x");
    TMicroReader reader;
    int calls = 0;
    EXPECT_TRUE(reader.Load(huge, [&](qint32, TMicroReader& r) {
        ++calls;
        r.SkipRecord();
    }));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(reader.TruncatedRecord().recordOffset, header.size());

    // With checksums: a folding claiming 2 GB.
    QByteArray checked = checksummedSample();
    checked.replace(4, 4, ByteBuilder().i32(0x7FFFFFF0).bytes());
    EXPECT_THROW(readSample(checked), EZelError);
}

TEST(ObjectStream, WriterRefusesUnbalancedLevels) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    try {
        writer.EndFolding();
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_STREQ(error.what(), "Exception:Foldings do not match");
    }
    writer.BeginGroup(5);
    try {
        writer.EndFolding();
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_STREQ(error.what(), "Exception:Groups and foldings have been mixed up");
    }
    QByteArray other;
    writer.SetStream(&other);
    writer.BeginFolding(6);
    EXPECT_THROW(writer.EndGroup(), EZelError);
}

TEST(ObjectStream, LeafReadsCheckTheirSizes) {
    const QByteArray header = ByteBuilder().i32(1).i32(50).i32(9).i32(42).i32(1).raw(kHeader20);
    const QByteArray data = ByteBuilder()
                                .raw(header)
                                .i32(80)
                                .i32(1)
                                .u8(0xFE) // 1-byte integer
                                .i32(81)
                                .i32(2)
                                .i16(-300) // 2-byte integer
                                .i32(82)
                                .i32(3)
                                .raw("abc") // block of the wrong size
                                .i32(83)
                                .i32(12)
                                .f64(1.5)
                                .i32(9); // double with extra bytes
    std::vector<QString> values;
    TMicroReader reader;
    reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        if (tag == 82) {
            char buffer[4];
            EXPECT_THROW(r.ReadBlock(buffer, 4), EZelError);
            r.Skip(3);
        } else if (tag == 83) {
            values.push_back(QString::number(r.ReadDouble()));
        } else {
            values.push_back(QString::number(r.ReadInteger()));
        }
    });
    EXPECT_EQ(values, (std::vector<QString>{"-2", "-300", "1.5"}));
    try {
        reader.SetCurrentObject(nullptr);
        FAIL();
    } catch (const EZelError& error) {
        EXPECT_STREQ(error.what(), "Exception:Error in MicroReader.SetCurrentObject");
    }
}

TEST(ObjectStream, StopReadingEndsTheLoad) {
    const QByteArray data = checksummedSample();
    std::vector<qint32> tags;
    TMicroReader reader;
    reader.Load(data, [&](qint32 tag, TMicroReader& r) {
        tags.push_back(tag);
        if (tag == 101) {
            r.StopReading();
            return;
        }
        if (tag == 100)
            r.BeginFolding(tag);
        else
            r.SkipRecord();
    });
    EXPECT_EQ(tags, (std::vector<qint32>{100, 101}));
    EXPECT_TRUE(reader.Stopped());
    EXPECT_EQ(reader.Depth(), 0);
}

TEST(ObjectStream, NotAnObjectStream) {
    TMicroReader reader;
    const QByteArray text = ByteBuilder().i32(1).i32(20).i32(1).raw("Some other file at all");
    try {
        reader.Load(text, [](qint32, TMicroReader& r) { r.SkipRecord(); });
        FAIL();
    } catch (const EInvalidZelFIle& error) {
        EXPECT_STREQ(error.what(), "Exception:Not a valid zel-file");
    }
}
