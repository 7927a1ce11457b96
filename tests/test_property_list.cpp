#include "PropertyListParser.h"
#include "PropertyListWriter.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QtEndian>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using PropertyListParser::maximumDepth;
using PropertyListParser::parse;

QVariant parsedOrFail(const QByteArray &data)
{
    QString error;
    const QVariant value = parse(data, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return value;
}

QString errorOf(const QByteArray &data)
{
    QString error;
    const QVariant value = parse(data, &error);
    EXPECT_FALSE(value.isValid()) << "parsed: " << value.toString().toStdString();
    EXPECT_FALSE(error.isEmpty());
    return error;
}

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xff);
    return bytes;
}

// Binary property lists built object by object (references and offsets one byte wide), so tests
// can build broken ones as easily as sound ones.
namespace bin {

QByteArray marker(int kind, qsizetype length)
{
    if (length < 15)
        return QByteArray(1, char(kind << 4 | int(length)));
    return QByteArray(1, char(kind << 4 | 0xf)) + char(0x11) + bigEndian(quint64(length), 2);
}
QByteArray ascii(const QByteArray &text) { return marker(0x5, text.size()) + text; }
QByteArray utf16(const QString &text)
{
    QByteArray bytes = marker(0x6, text.size());
    for (const QChar c : text)
        bytes += bigEndian(c.unicode(), 2);
    return bytes;
}
QByteArray integer(quint64 value, int sizeLog2) { return marker(0x1, sizeLog2) + bigEndian(value, 1 << sizeLog2); }
QByteArray real(double value) { return QByteArray(1, char(0x23)) + bigEndian(std::bit_cast<quint64>(value), 8); }
QByteArray real32(float value) { return QByteArray(1, char(0x22)) + bigEndian(std::bit_cast<quint32>(value), 4); }
QByteArray date(double secondsSince2001) { return QByteArray(1, char(0x33)) + bigEndian(std::bit_cast<quint64>(secondsSince2001), 8); }
QByteArray data(const QByteArray &bytes) { return marker(0x4, bytes.size()) + bytes; }
QByteArray boolean(bool value) { return QByteArray(1, char(value ? 0x09 : 0x08)); }
QByteArray refs(int kind, const QList<int> &objects)
{
    QByteArray bytes = marker(kind, kind == 0xd ? objects.size() / 2 : objects.size());
    for (int ref : objects)
        bytes += char(ref);
    return bytes;
}
QByteArray array(const QList<int> &objects) { return refs(0xa, objects); }
// keys then values, as the format stores them
QByteArray dict(const QList<int> &keysThenValues) { return refs(0xd, keysThenValues); }

struct Document {
    QByteArray bytes;
    qsizetype tableOffset = 0;
};

Document build(const QList<QByteArray> &objects, int top = 0)
{
    Document doc;
    doc.bytes = "bplist00";
    QList<qsizetype> offsets;
    for (const QByteArray &object : objects) {
        offsets << doc.bytes.size();
        doc.bytes += object;
    }
    const int offsetSize = doc.bytes.size() < 256 ? 1 : 2;
    doc.tableOffset = doc.bytes.size();
    for (qsizetype offset : offsets)
        doc.bytes += bigEndian(quint64(offset), offsetSize);
    doc.bytes += QByteArray(6, '\0') + char(offsetSize) + char(1) + bigEndian(quint64(objects.size()), 8)
        + bigEndian(quint64(top), 8) + bigEndian(quint64(doc.tableOffset), 8);
    return doc;
}

} // namespace bin

QVariantMap sampleDictionary()
{
    return {
        {QStringLiteral("name"), QStringLiteral("Cell \"A\" & <B>\nsecond line")},
        {QStringLiteral("count"), qint64(-42)},
        {QStringLiteral("big"), qint64(9007199254740993)},
        {QStringLiteral("ratio"), 0.25},
        {QStringLiteral("ok"), true},
        {QStringLiteral("bad"), false},
        {QStringLiteral("when"), QDateTime(QDate(2013, 7, 1), QTime(12, 30, 15), Qt::UTC)},
        {QStringLiteral("blob"), QByteArray("\x00\x01\xfe\xff", 4)},
        {QStringLiteral("list"), QVariantList{qint64(1), QStringLiteral("two"), QVariantList{}, QVariantMap{}}},
        {QStringLiteral("nested"), QVariantMap{{QStringLiteral("inner"), QVariantList{QVariantMap{{QStringLiteral("x"), 1.5}}}}}},
    };
}

QByteArray nested(const char *open, const char *close, int depth, const QByteArray &leaf = {})
{
    return QByteArray(open).repeated(depth) + leaf + QByteArray(close).repeated(depth);
}

// ---- XML --------------------------------------------------------------------------------------

TEST(PropertyListXml, ReadsEveryTypeWithItsOwnQVariantType)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
    <!-- a comment -->
    <key>text</key><string>a &amp; b &lt;c&gt;</string>
    <key>int</key><integer> -17 </integer>
    <key>intAsReal</key><real>12</real>
    <key>real</key><real>-2.5e3</real>
    <key>inf</key><real>-infinity</real>
    <key>yes</key><true/>
    <key>no</key><false/>
    <key>date</key><date>2013-07-01T12:30:15Z</date>
    <key>data</key><data>
        AAH+
        /w==
    </data>
    <key>empty</key><string/>
    <key>list</key><array><integer>1</integer><array/><dict/></array>
</dict>
</plist>)";
    const QVariantMap map = parsedOrFail(xml).toMap();
    EXPECT_EQ(map.value("text"), QVariant(QStringLiteral("a & b <c>")));
    EXPECT_EQ(map.value("int").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("int").toLongLong(), -17);
    EXPECT_EQ(map.value("intAsReal").typeId(), QMetaType::Double);
    EXPECT_EQ(map.value("real").toDouble(), -2500.0);
    EXPECT_TRUE(std::isinf(map.value("inf").toDouble()) && map.value("inf").toDouble() < 0);
    EXPECT_EQ(map.value("yes"), QVariant(true));
    EXPECT_EQ(map.value("no"), QVariant(false));
    EXPECT_EQ(map.value("date").toDateTime(), QDateTime(QDate(2013, 7, 1), QTime(12, 30, 15), Qt::UTC));
    EXPECT_EQ(map.value("data").toByteArray(), QByteArray("\x00\x01\xfe\xff", 4));
    EXPECT_EQ(map.value("empty"), QVariant(QString()));
    const QVariantList list = map.value("list").toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(1).typeId(), QMetaType::QVariantList);
    EXPECT_EQ(list.at(2).typeId(), QMetaType::QVariantMap);
}

TEST(PropertyListXml, RoundTripsWhatTheWriterWrites)
{
    const QVariantMap original = sampleDictionary();
    EXPECT_EQ(parsedOrFail(PropertyListWriter::xmlData(original)), QVariant(original));
    EXPECT_EQ(parsedOrFail(PropertyListWriter::xmlData(QVariantList{original, original})),
              QVariant(QVariantList{original, original}));
}

TEST(PropertyListXml, AcceptsAValueWithoutThePlistWrapper)
{
    EXPECT_EQ(parsedOrFail("<?xml version=\"1.0\"?><array><string>x</string></array>"),
              QVariant(QVariantList{QStringLiteral("x")}));
}

TEST(PropertyListXml, RefusesMalformedDocuments)
{
    const struct {
        const char *name;
        QByteArray xml;
    } cases[] = {
        {"truncated", "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>b</str"},
        {"unclosed", "<plist><array><string>b</string>"},
        {"unknown element", "<plist><thing/></plist>"},
        {"key without value", "<plist><dict><key>a</key></dict></plist>"},
        {"value without key", "<plist><dict><string>a</string></dict></plist>"},
        {"element inside string", "<plist><string>a<b/></string></plist>"},
        {"two top values", "<plist><true/><false/></plist>"},
        {"empty plist", "<plist></plist>"},
        {"integer with fraction", "<plist><integer>12.5</integer></plist>"},
        {"integer out of range", "<plist><integer>9223372036854775808</integer></plist>"},
        {"bad real", "<plist><real>1.2.3</real></plist>"},
        {"bad date", "<plist><date>yesterday</date></plist>"},
        {"bad base64", "<plist><data>!!!!</data></plist>"},
        {"garbage after declaration", "<?xml version=\"1.0\"?>\x01\x02garbage"},
        {"no root", "<?xml version=\"1.0\"?>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(errorOf(c.xml).startsWith("XML property list:"));
    }
}

TEST(PropertyListXml, LimitsNesting)
{
    const QByteArray ok = "<plist>" + nested("<array>", "</array>", maximumDepth) + "</plist>";
    EXPECT_TRUE(parsedOrFail(ok).isValid());
    EXPECT_TRUE(errorOf("<plist>" + nested("<array>", "</array>", maximumDepth + 1) + "</plist>").contains("nesting"));
    errorOf("<plist>" + nested("<dict><key>k</key>", "</dict>", 100000, "<true/>") + "</plist>");
}

TEST(PropertyListXml, DoesNotExpandEntitiesWithoutBound)
{
    const QByteArray bomb = R"(<?xml version="1.0"?>
<!DOCTYPE plist [
 <!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">
 <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
 <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
 <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
 <!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
]>
<plist><string>&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;</string></plist>)";
    errorOf(bomb);
}

// ---- OpenStep text ----------------------------------------------------------------------------

TEST(PropertyListOpenStep, ReadsStringsDataArraysAndDictionaries)
{
    const QByteArray text = R"(
// a line comment
{
    unquoted = Abc_$/:.-9;      /* a block
                                   comment */
    "quoted key" = "with \"quotes\", \\ backslash\n\tand tab";
    single = 'it is';
    octal = "\101\102";
    unicode = "caf\U00e9 \U2603";
    other = "\q";
    data = <0001 feFF>;
    empty = "";
    list = (one, "two", (), {}, );
    nested = { inner = ( { x = 1.5; } ); };
})";
    const QVariantMap map = parsedOrFail(text).toMap();
    EXPECT_EQ(map.value("unquoted"), QVariant(QStringLiteral("Abc_$/:.-9")));
    EXPECT_EQ(map.value("quoted key"), QVariant(QStringLiteral("with \"quotes\", \\ backslash\n\tand tab")));
    EXPECT_EQ(map.value("single"), QVariant(QStringLiteral("it is")));
    EXPECT_EQ(map.value("octal"), QVariant(QStringLiteral("AB")));
    EXPECT_EQ(map.value("unicode"), QVariant(QString::fromUtf8("café ☃")));
    EXPECT_EQ(map.value("other"), QVariant(QStringLiteral("q")));
    EXPECT_EQ(map.value("data").toByteArray(), QByteArray("\x00\x01\xfe\xff", 4));
    EXPECT_EQ(map.value("empty"), QVariant(QString()));
    const QVariantList list = map.value("list").toList();
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list.at(0), QVariant(QStringLiteral("one")));
    EXPECT_EQ(list.at(2).typeId(), QMetaType::QVariantList);
    EXPECT_EQ(list.at(3).typeId(), QMetaType::QVariantMap);
    EXPECT_EQ(map.value("nested").toMap().value("inner").toList().at(0).toMap().value("x"), QVariant(QStringLiteral("1.5")));
}

TEST(PropertyListOpenStep, SingleQuotedStringsNeedNoEscapedDoubleQuotes)
{
    EXPECT_EQ(parsedOrFail("{ a = 'say \"hi\"'; }").toMap().value("a"), QVariant(QStringLiteral("say \"hi\"")));
}

TEST(PropertyListOpenStep, ScalarsAreText)
{
    EXPECT_EQ(parsedOrFail("1234"), QVariant(QStringLiteral("1234")));
    EXPECT_EQ(parsedOrFail("  \"57\"\n"), QVariant(QStringLiteral("57")));
    EXPECT_EQ(parsedOrFail("\xEF\xBB\xBF<cafe>"), QVariant(QByteArray("\xca\xfe", 2)));
}

TEST(PropertyListOpenStep, RoundTripsTheWritersText)
{
    const QVariantMap original{
        {QStringLiteral("Serial"), QStringLiteral("D86-\"quoted\"\\ and\nnewline")},
        {QStringLiteral("Name"), QStringLiteral("plain")},
        {QStringLiteral("Empty"), QString()},
        {QStringLiteral("Blob"), QByteArray("\x01\x02\x03\x04\x05", 5)},
        {QStringLiteral("Cells"), QVariantList{QStringLiteral("a b"), QStringLiteral("c")}},
        {QStringLiteral("Inner"), QVariantMap{{QStringLiteral("k"), QStringLiteral("v;v")}}},
    };
    EXPECT_EQ(parsedOrFail(PropertyListWriter::openStepText(original).toUtf8()), QVariant(original));
}

TEST(PropertyListOpenStep, RefusesMalformedText)
{
    const struct {
        const char *name;
        QByteArray text;
    } cases[] = {
        {"empty", ""},
        {"only space and comments", "  // nothing\n /* here */ "},
        {"missing semicolon", "{ a = b }"},
        {"missing equals", "{ a b; }"},
        {"dictionary key", "{ (a) = b; }"},
        {"unterminated dictionary", "{ a = b;"},
        {"unterminated array", "(a, b"},
        {"missing comma", "(a b)"},
        {"unterminated string", "\"abc"},
        {"backslash at end", "\"abc\\"},
        {"unterminated comment", "{ a = b; /* never closed"},
        {"odd hex digits", "<abc>"},
        {"bad hex digit", "<abcg>"},
        {"unterminated data", "<abcd"},
        {"text after value", "{} extra"},
        {"stray character", "{ a = #; }"},
        {"not UTF-8", "\"\xff\xfe\xfd\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(errorOf(c.text).startsWith("OpenStep property list:"));
    }
    EXPECT_TRUE(errorOf("{\n a = b;\n c = ;\n}").contains("(line 3)"));
}

TEST(PropertyListOpenStep, LimitsNesting)
{
    EXPECT_TRUE(parsedOrFail(nested("(", ")", maximumDepth)).isValid());
    EXPECT_TRUE(errorOf(nested("(", ")", maximumDepth + 1)).contains("nesting"));
    errorOf(QByteArray("{a=").repeated(200000));
}

// ---- Binary -----------------------------------------------------------------------------------

TEST(PropertyListBinary, ReadsEveryType)
{
    // 0: top dict; keys 1..9, values 10..18
    const QList<QByteArray> objects{
        bin::dict({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}),
        bin::ascii("small"), bin::ascii("word"), bin::ascii("long"), bin::ascii("negative"), bin::ascii("huge"),
        bin::ascii("reals"), bin::ascii("when"), bin::ascii("blob"), bin::ascii("items"),
        bin::integer(200, 0),
        bin::integer(40000, 1),
        bin::integer(3000000000, 2),
        bin::integer(quint64(-5), 3),
        QByteArray(1, char(0x14)) + bigEndian(0, 8) + bigEndian(quint64(1) << 62, 8),
        bin::array({19, 20}),
        bin::date(394374615.5),
        bin::data(QByteArray("\x00\xff", 2)),
        bin::array({21, 22, 23, 24, 19}),
        bin::real(12.5),
        bin::real32(0.25f),
        bin::boolean(true),
        bin::boolean(false),
        bin::utf16(QString::fromUtf8("Zelle ☃ with a name longer than fifteen")),
        bin::refs(0xc, {1}),
    };
    const QVariantMap map = parsedOrFail(bin::build(objects).bytes).toMap();
    EXPECT_EQ(map.value("small"), QVariant(qint64(200)));
    EXPECT_EQ(map.value("word"), QVariant(qint64(40000)));
    EXPECT_EQ(map.value("long"), QVariant(qint64(3000000000)));
    EXPECT_EQ(map.value("negative"), QVariant(qint64(-5)));
    EXPECT_EQ(map.value("huge"), QVariant(qint64(1) << 62));
    EXPECT_EQ(map.value("reals"), QVariant(QVariantList{12.5, 0.25}));
    EXPECT_EQ(map.value("when").toDateTime(), QDateTime(QDate(2013, 7, 1), QTime(12, 30, 15, 500), Qt::UTC));
    EXPECT_EQ(map.value("blob"), QVariant(QByteArray("\x00\xff", 2)));
    const QVariantList items = map.value("items").toList();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items.at(0), QVariant(true));
    EXPECT_EQ(items.at(1), QVariant(false));
    EXPECT_EQ(items.at(2), QVariant(QString::fromUtf8("Zelle ☃ with a name longer than fifteen")));
    EXPECT_EQ(items.at(3), QVariant(QVariantList{QStringLiteral("small")}));
    EXPECT_EQ(items.at(4), QVariant(12.5)) << "a shared object is read again where it is referenced";
}

TEST(PropertyListBinary, RefusesBrokenStructure)
{
    using bin::array;
    using bin::ascii;
    const QByteArray sound = bin::build({array({1, 1}), ascii("x")}).bytes;
    auto patched = [&](qsizetype fromEnd, const QByteArray &bytes) {
        QByteArray copy = sound;
        copy.replace(copy.size() - fromEnd, bytes.size(), bytes);
        return copy;
    };
    ASSERT_TRUE(parsedOrFail(sound).isValid());
    const struct {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"other version", QByteArray(sound).replace(6, 2, "01")},
        {"only a header", "bplist00"},
        {"truncated trailer", sound.left(sound.size() - 5)},
        {"offset size zero", patched(26, QByteArray(1, '\0'))},
        {"reference size nine", patched(25, QByteArray(1, '\x09'))},
        {"object count beyond the table", patched(24, bigEndian(1000000, 8))},
        {"object count overflowing", patched(24, bigEndian(~quint64(0), 8))},
        {"top object out of range", patched(16, bigEndian(2, 8))},
        {"table offset past the trailer", patched(8, bigEndian(quint64(sound.size()), 8))},
        {"table offset inside the header", patched(8, bigEndian(3, 8))},
        {"object offset into the table", patched(33, QByteArray(1, char(sound.size() - 34)))},
        {"object offset into the header", patched(33, QByteArray(1, '\x02'))},
        {"reference out of range", bin::build({array({1, 7}), ascii("x")}).bytes},
        {"array longer than the data", bin::build({QByteArray(1, char(0xaf)) + char(0x13) + bigEndian(~quint64(0) >> 1, 8)}).bytes},
        {"string longer than the data", bin::build({QByteArray(1, char(0x5f)) + char(0x12) + bigEndian(1000, 4) + "abc"}).bytes},
        {"length that is not an integer", bin::build({QByteArray(1, char(0x5f)) + char(0x23) + "abcdefgh"}).bytes},
        {"integer cut short", bin::build({QByteArray(1, char(0x13)) + "abc"}).bytes},
        {"128-bit integer out of range", bin::build({QByteArray(1, char(0x14)) + bigEndian(1, 8) + bigEndian(0, 8)}).bytes},
        {"dictionary key not a string", bin::build({bin::dict({1, 1}), bin::integer(1, 0)}).bytes},
        {"unsupported null object", bin::build({QByteArray(1, '\0')}).bytes},
        {"not a number date", bin::build({bin::date(std::nan(""))}).bytes},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(errorOf(c.bytes).startsWith("binary property list:"));
    }
}

TEST(PropertyListBinary, RefusesCycles)
{
    EXPECT_TRUE(errorOf(bin::build({bin::array({0})}).bytes).contains("contains itself"));
    EXPECT_TRUE(errorOf(bin::build({bin::array({1}), bin::dict({2, 0}), bin::ascii("k")}).bytes).contains("contains itself"));
}

TEST(PropertyListBinary, ReadsSharedObjectsOnceEach)
{
    // Each array holds the next one twice: 2^60 paths, 61 objects.
    QList<QByteArray> objects;
    for (int i = 0; i < 60; ++i)
        objects << bin::array({i + 1, i + 1});
    objects << bin::ascii("leaf");
    QVariant value = parsedOrFail(bin::build(objects).bytes);
    for (int i = 0; i < 60; ++i)
        value = value.toList().value(1);
    EXPECT_EQ(value, QVariant(QStringLiteral("leaf")));
}

TEST(PropertyListBinary, LimitsNesting)
{
    auto chain = [](int depth) {
        QList<QByteArray> objects;
        for (int i = 0; i + 1 < depth; ++i)
            objects << bin::array({i + 1});
        objects << bin::array({});
        return bin::build(objects).bytes;
    };
    EXPECT_TRUE(parsedOrFail(chain(maximumDepth)).isValid());
    EXPECT_TRUE(errorOf(chain(maximumDepth + 1)).contains("nesting"));
}

// ---- Any form ---------------------------------------------------------------------------------

// Damaged copies of sound documents must be read or refused, never crash or hang.
TEST(PropertyListParser, SurvivesDamagedInput)
{
    const QByteArray sound[] = {
        PropertyListWriter::xmlData(sampleDictionary()),
        PropertyListWriter::openStepText(sampleDictionary()).toUtf8(),
        bin::build({bin::dict({1, 2, 3, 4}), bin::ascii("a"), bin::ascii("b"), bin::array({5, 6}), bin::integer(7, 1),
                    bin::utf16(QStringLiteral("text")), bin::real(1.5)})
            .bytes,
    };
    QRandomGenerator random(20240611);
    for (const QByteArray &original : sound) {
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = original;
            const int edits = 1 + random.bounded(4);
            for (int i = 0; i < edits; ++i) {
                const qsizetype at = random.bounded(damaged.size());
                switch (random.bounded(3)) {
                case 0: damaged[at] = char(random.bounded(256)); break;
                case 1: damaged.truncate(at + (original.startsWith("bplist") ? 0 : 1)); break;
                default: damaged.remove(at, 1 + random.bounded(8)); break;
                }
                if (damaged.isEmpty())
                    break;
            }
            QString error;
            const QVariant value = parse(damaged, &error);
            EXPECT_NE(value.isValid(), !error.isEmpty());
        }
    }
}

TEST(PropertyListParser, ClearsTheErrorOnSuccess)
{
    QString error = QStringLiteral("stale");
    EXPECT_TRUE(parse("()", &error).isValid());
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(parse("(", nullptr).isValid());
}

} // namespace
