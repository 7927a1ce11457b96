// Reading XML, OpenStep and binary property lists, sound and hostile, and writing them.
#include "PropertyListParser.h"
#include "PropertyListWriter.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <bit>
#include <cmath>

namespace {

using PropertyListParser::maximumDepth;
using PropertyListParser::parse;

QVariant parsedOrFail(const QByteArray &data)
{
    QString error = u"stale"_s;
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
        bytes[i] = static_cast<char>(value & 0xff);
    return bytes;
}

// Binary property lists built object by object (references and offsets one byte wide), so tests
// can build broken ones as easily as sound ones.
namespace bin {

QByteArray marker(int kind, qsizetype length)
{
    if (length < 15)
        return QByteArray(1, static_cast<char>(kind << 4 | static_cast<int>(length)));
    return QByteArray(1, static_cast<char>(kind << 4 | 0xf)) + '\x11' + bigEndian(quint64(length), 2);
}
QByteArray ascii(const QByteArray &text)
{
    return marker(0x5, text.size()) + text;
}
QByteArray utf16(const QString &text)
{
    QByteArray bytes = marker(0x6, text.size());
    for (const QChar c : text)
        bytes += bigEndian(c.unicode(), 2);
    return bytes;
}
// clang-format off
QByteArray integer(quint64 value, int sizeLog2) { return marker(0x1, sizeLog2) + bigEndian(value, 1 << sizeLog2); }
QByteArray real(double value) { return '\x23' + bigEndian(std::bit_cast<quint64>(value), 8); }
QByteArray real32(float value) { return '\x22' + bigEndian(std::bit_cast<quint32>(value), 4); }
QByteArray date(double secondsSince2001) { return '\x33' + bigEndian(std::bit_cast<quint64>(secondsSince2001), 8); }
QByteArray data(const QByteArray &bytes) { return marker(0x4, bytes.size()) + bytes; }
QByteArray boolean(bool value) { return QByteArray(1, value ? '\x09' : '\x08'); }
QByteArray refs(int kind, const QList<int> &objects)
{
    QByteArray bytes = marker(kind, kind == 0xd ? objects.size() / 2 : objects.size());
    // clang-format on
    for (int ref : objects)
        bytes += static_cast<char>(ref);
    return bytes;
}
QByteArray array(const QList<int> &objects)
{
    return refs(0xa, objects);
}
// keys then values, as the format stores them
QByteArray dict(const QList<int> &keysThenValues)
{
    return refs(0xd, keysThenValues);
}

QByteArray build(const QList<QByteArray> &objects, int top = 0)
{
    QByteArray bytes = "bplist00";
    QList<qsizetype> offsets;
    for (const QByteArray &object : objects) {
        offsets << bytes.size();
        bytes += object;
    }
    const int offsetSize = bytes.size() < 256 ? 1 : 2;
    const qsizetype tableOffset = bytes.size();
    for (qsizetype offset : offsets)
        bytes += bigEndian(quint64(offset), offsetSize);
    return bytes + QByteArray(6, '\0') + static_cast<char>(offsetSize) + '\x01' + bigEndian(quint64(objects.size()), 8)
           + bigEndian(quint64(top), 8) + bigEndian(quint64(tableOffset), 8);
}

// An array in an array ... depth deep.
QByteArray chain(int depth)
{
    QList<QByteArray> objects;
    for (int i = 0; i + 1 < depth; ++i)
        objects << array({i + 1});
    return build(objects << array({}));
}

} // namespace bin

const QDateTime kJuly2013(QDate(2013, 7, 1), QTime(12, 30, 15), Qt::UTC);

QVariantMap sampleDictionary()
{
    // clang-format off
    return {{u"name"_s, u"Cell \"A\" & <B>\nsecond line"_s}, {u"count"_s, qint64(-42)},
            {u"big"_s, qint64(9007199254740993)}, {u"ratio"_s, 0.25}, {u"ok"_s, true}, {u"bad"_s, false},
            {u"when"_s, kJuly2013}, {u"blob"_s, QByteArray("\x00\x01\xfe\xff", 4)},
            {u"list"_s, QVariantList{qint64(1), u"two"_s, QVariantList{}, QVariantMap{}}},
            {u"nested"_s, QVariantMap{{u"inner"_s, QVariantList{QVariantMap{{u"x"_s, 1.5}}}}}}};
    // clang-format on
}

// Ten references to an entity that expands to 20^4 copies of 100 bytes.
QByteArray entityBomb()
{
    QByteArray document = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY a \"" + QByteArray(100, 'a') + "\">\n";
    for (char entity = 'b'; entity <= 'e'; ++entity)
        document += "<!ENTITY " + QByteArray(1, entity) + " \"" + ("&" + QByteArray(1, entity - 1) + ";").repeated(20)
                    + "\">\n";
    return document + "]>\n<plist><string>" + QByteArray("&e;").repeated(10) + "</string></plist>";
}

QByteArray nested(const char *open, const char *close, int depth, const QByteArray &leaf = {})
{
    return QByteArray(open).repeated(depth) + leaf + QByteArray(close).repeated(depth);
}

} // namespace

TEST(PropertyListXml, ReadsWhatOtherWritersWriteWithItsOwnQVariantTypes)
{
    const QVariantMap map = parsedOrFail(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
    <!-- a comment --><key>text</key><string>a &amp; b &lt;c&gt;</string>
    <key>int</key><integer> -17 </integer><key>intAsReal</key><real>12</real><key>inf</key><real>-infinity</real>
    <key>data</key><data>
        AAH+
        /w==
    </data><key>empty</key><string/>
// clang-format off
</dict></plist>)")
                                .toMap();
    EXPECT_EQ(map, (QVariantMap{{u"text"_s, u"a & b <c>"_s},
                                {u"int"_s, qint64(-17)},
                                {u"intAsReal"_s, 12.0},
                                {u"inf"_s, -qInf()},
                                {u"data"_s, QByteArray("\x00\x01\xfe\xff", 4)},
                                {u"empty"_s, QString()}}));
    // clang-format on
    EXPECT_EQ(map.value(u"int"_s).typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value(u"intAsReal"_s).typeId(), QMetaType::Double);
    EXPECT_EQ(parsedOrFail("<?xml version=\"1.0\"?><array><string>x</string></array>"), QVariant(QVariantList{u"x"_s}))
        << "a value without the plist wrapper";
}

TEST(PropertyListOpenStep, ReadsStringsDataArraysAndDictionaries)
{
    const QVariant value = parsedOrFail(R"(
// a line comment
{
    unquoted = Abc_$/:.-9;      /* a block
                                   comment */
    "quoted key" = "with \"quotes\", \\ backslash\n\tand tab";
    single = 'say "hi"';
    octal = "\101\102";
    unicode = "caf\U00e9 \U2603";
    other = "\q";
    data = <0001 feFF>;
    empty = "";
    list = (one, "two", (), {}, );
    nested = { inner = ( { x = 1.5; } ); };
})");
    // clang-format off
    const QVariantMap expected{
        {u"unquoted"_s, u"Abc_$/:.-9"_s}, {u"quoted key"_s, u"with \"quotes\", \\ backslash\n\tand tab"_s},
        {u"single"_s, u"say \"hi\""_s}, {u"octal"_s, u"AB"_s}, {u"unicode"_s, u"café ☃"_s}, {u"other"_s, u"q"_s},
        {u"data"_s, QByteArray("\x00\x01\xfe\xff", 4)}, {u"empty"_s, QString()},
        {u"list"_s, QVariantList{u"one"_s, u"two"_s, QVariantList{}, QVariantMap{}}},
        {u"nested"_s, QVariantMap{{u"inner"_s, QVariantList{QVariantMap{{u"x"_s, u"1.5"_s}}}}}},
    };
    // clang-format on
    EXPECT_EQ(value, QVariant(expected));
    // A scalar is text; a byte-order mark is skipped.
    EXPECT_EQ(parsedOrFail("  \"57\"\n"), QVariant(u"57"_s));
    EXPECT_EQ(parsedOrFail("\xEF\xBB\xBF<cafe>"), QVariant(QByteArray("\xca\xfe", 2)));
}

TEST(PropertyListBinary, ReadsEveryType)
{
    // 0: top dict; keys 1..9, values 10..18
    // clang-format off
    const QByteArray document = bin::build({
        bin::dict({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}),
        bin::ascii("small"), bin::ascii("word"), bin::ascii("long"), bin::ascii("negative"), bin::ascii("huge"),
        bin::ascii("reals"), bin::ascii("when"), bin::ascii("blob"), bin::ascii("items"),
        bin::integer(200, 0), bin::integer(40000, 1), bin::integer(3000000000, 2), bin::integer(quint64(-5), 3),
        '\x14' + bigEndian(0, 8) + bigEndian(quint64(1) << 62, 8), bin::array({19, 20}), bin::date(394374615.5),
        bin::data(QByteArray("\x00\xff", 2)), bin::array({21, 22, 23, 24, 19}), // the real 19 shared
        bin::real(12.5), bin::real32(0.25f), bin::boolean(true), bin::boolean(false),
        bin::utf16(u"Zelle ☃ with a name longer than fifteen"_s), bin::refs(0xc, {1}),
    });
    const QVariantMap expected{
        {u"small"_s, qint64(200)}, {u"word"_s, qint64(40000)}, {u"long"_s, qint64(3000000000)},
        {u"negative"_s, qint64(-5)}, {u"huge"_s, qint64(1) << 62}, {u"reals"_s, QVariantList{12.5, 0.25}},
        {u"when"_s, kJuly2013.addMSecs(500)}, {u"blob"_s, QByteArray("\x00\xff", 2)},
        {u"items"_s, QVariantList{true, false, u"Zelle ☃ with a name longer than fifteen"_s,
                                  QVariantList{u"small"_s}, 12.5}},
    };
    // clang-format on
    EXPECT_EQ(parsedOrFail(document), QVariant(expected));
}

TEST(PropertyListParser, RoundTripsWhatTheWriterWrites)
{
    const QVariantMap original = sampleDictionary();
    EXPECT_EQ(parsedOrFail(PropertyListWriter::xmlData(original)), QVariant(original));
    EXPECT_EQ(parsedOrFail(PropertyListWriter::xmlData(QVariantList{original, original})),
              QVariant(QVariantList{original, original}));
    // OpenStep text has strings and data only.
    const QVariantMap text{
        {u"Serial"_s, u"D86-\"quoted\"\\ and\nnewline"_s},  {u"Empty"_s, QString()},
        {u"Blob"_s, QByteArray("\x01\x02\x03\x04\x05", 5)}, {u"Cells"_s, QVariantList{u"a b"_s, u"c"_s}},
        {u"Inner"_s, QVariantMap{{u"k"_s, u"v;v"_s}}},
    };
    EXPECT_EQ(parsedOrFail(PropertyListWriter::openStepText(text).toUtf8()), QVariant(text));
}

TEST(PropertyListWriter, OpenStepTextIsTheSnapshotSummaryLayout)
{
    const QVariantMap map{{u"A"_s, qint64(-5)},
                          {u"Name"_s, u"two words"_s},
                          {u"On"_s, true},
                          {u"Cells"_s, QVariantList{qint64(1), qint64(2)}},
                          {u"Raw"_s, QByteArray("\x01\x02", 2)}};
    EXPECT_EQ(PropertyListWriter::openStepText(map),
              u"{\n    A = -5;\n    Cells = (\n        1,\n        2\n    );\n    Name = \"two words\";\n"
              "    On = 1;\n    Raw = <0102>;\n}"_s);
    EXPECT_EQ(PropertyListWriter::openStepText(QVariantMap()), u"{\n}"_s);
}

TEST(PropertyListParser, LimitsNestingInEveryForm)
{
    const std::pair<QByteArray, QByteArray> atAndBeyondTheLimit[] = {
        {"<plist>" + nested("<array>", "</array>", maximumDepth) + "</plist>",
         "<plist>" + nested("<array>", "</array>", maximumDepth + 1) + "</plist>"},
        {nested("(", ")", maximumDepth), nested("(", ")", maximumDepth + 1)},
        {bin::chain(maximumDepth), bin::chain(maximumDepth + 1)},
    };
    for (const auto &[atLimit, beyond] : atAndBeyondTheLimit) {
        EXPECT_TRUE(parsedOrFail(atLimit).isValid()) << atLimit.left(20).toStdString();
        EXPECT_TRUE(errorOf(beyond).contains(u"nesting"_s)) << beyond.left(20).toStdString();
    }
}

TEST(PropertyListBinary, ReadsSharedObjectsOnceEach)
{
    // Each array holds the next one twice: 2^60 paths, 61 objects.
    QList<QByteArray> objects;
    for (int i = 0; i < 60; ++i)
        objects << bin::array({i + 1, i + 1});
    QVariant value = parsedOrFail(bin::build(objects << bin::ascii("leaf")));
    for (int i = 0; i < 60; ++i)
        value = value.toList().value(1);
    EXPECT_EQ(value, QVariant(u"leaf"_s));
}

TEST(PropertyListParser, RefusesMalformedDocumentsWithAReason)
{
    using bin::array;
    using bin::ascii;
    const QByteArray sound = bin::build({array({1, 1}), ascii("x")});
    ASSERT_TRUE(parsedOrFail(sound).isValid());
    const auto patched = [&](qsizetype fromEnd, const QByteArray &bytes) {
        return QByteArray(sound).replace(sound.size() - fromEnd, bytes.size(), bytes);
    };
    const QString xml = u"XML property list:"_s, text = u"OpenStep property list:"_s,
                  binary = u"binary property list:"_s;
    const struct {
        const char *name;
        QByteArray bytes;
        QString reason;          // what the error starts with
        const char *detail = ""; // and holds
        // clang-format off
    } rows[] = {
        {"xml unclosed", "<plist><array><string>b</string>", xml},
        {"xml unknown element", "<plist><thing/></plist>", xml},
        {"xml key without value", "<plist><dict><key>a</key></dict></plist>", xml},
        {"xml value without key", "<plist><dict><string>a</string></dict></plist>", xml},
        {"xml element inside string", "<plist><string>a<b/></string></plist>", xml},
        {"xml two top values", "<plist><true/><false/></plist>", xml},
        {"xml empty plist", "<plist></plist>", xml},
        {"xml integer with fraction", "<plist><integer>12.5</integer></plist>", xml},
        {"xml integer out of range", "<plist><integer>9223372036854775808</integer></plist>", xml},
        {"xml bad real", "<plist><real>1.2.3</real></plist>", xml},
        {"xml bad date", "<plist><date>yesterday</date></plist>", xml},
        {"xml bad base64", "<plist><data>!!!!</data></plist>", xml},
        {"xml garbage after declaration", "<?xml version=\"1.0\"?>\x01\x02garbage", xml},
        {"xml deep beyond any stack", "<plist>" + nested("<dict><key>k</key>", "</dict>", 100000, "<true/>") + "</plist>", xml},
        {"xml entity expansion", entityBomb(), xml},
        {"text only space and comments", "  // nothing\n /* here */ ", text},
        {"text missing semicolon", "{ a = b }", text},
        {"text missing equals", "{ a b; }", text},
        {"text dictionary key", "{ (a) = b; }", text},
        {"text unterminated array", "(a, b", text},
        {"text missing comma", "(a b)", text},
        {"text unterminated string", "\"abc", text},
        {"text backslash at end", "\"abc\\", text},
        {"text unterminated comment", "{ a = b; /* never closed", text},
        {"text odd hex digits", "<abc>", text},
        {"text bad hex digit", "<abcg>", text},
        {"text after value", "{} extra", text},
        {"text stray character", "{ a = #; }", text},
        {"text not UTF-8", "\"\xff\xfe\xfd\"", text},
        {"text error names its line", "{\n a = b;\n c = ;\n}", text, "(line 3)"},
        {"text deep beyond any stack", QByteArray("{a=").repeated(200000), text},
        {"binary other version", QByteArray(sound).replace(6, 2, "01"), binary},
        {"binary only a header", "bplist00", binary},
        {"binary truncated trailer", sound.left(sound.size() - 5), binary},
        {"binary offset size zero", patched(26, QByteArray(1, '\0')), binary},
        {"binary reference size nine", patched(25, "\x09"), binary},
        {"binary object count beyond the table", patched(24, bigEndian(1000000, 8)), binary},
        {"binary object count overflowing", patched(24, bigEndian(~quint64(0), 8)), binary},
        {"binary top object out of range", patched(16, bigEndian(2, 8)), binary},
        {"binary table offset past the trailer", patched(8, bigEndian(quint64(sound.size()), 8)), binary},
        {"binary table offset inside the header", patched(8, bigEndian(3, 8)), binary},
        {"binary object offset into the table", patched(33, QByteArray(1, static_cast<char>(sound.size() - 34))), binary},
        {"binary object offset into the header", patched(33, "\x02"), binary},
        {"binary reference out of range", bin::build({array({1, 7}), ascii("x")}), binary},
        {"binary array longer than the data", bin::build({"\xaf\x13" + bigEndian(~quint64(0) >> 1, 8)}), binary},
        {"binary string longer than the data", bin::build({"\x5f\x12" + bigEndian(1000, 4) + "abc"}), binary},
        {"binary length that is not an integer", bin::build({"\x5f\x23" "abcdefgh"}), binary},
        {"binary integer cut short", bin::build({"\x13" "abc"}), binary},
        {"binary 128-bit integer out of range", bin::build({'\x14' + bigEndian(1, 8) + bigEndian(0, 8)}), binary},
        {"binary dictionary key not a string", bin::build({bin::dict({1, 1}), bin::integer(1, 0)}), binary},
        {"binary unsupported null object", bin::build({QByteArray(1, '\0')}), binary},
        {"binary not a number date", bin::build({bin::date(std::nan(""))}), binary},
        {"binary array containing itself", bin::build({array({0})}), binary, "contains itself"},
    };
    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString error = errorOf(row.bytes);
        EXPECT_TRUE(error.startsWith(row.reason) && error.contains(QLatin1String(row.detail))) << error.toStdString();
    }
}

// Damaged copies of sound documents must be read or refused, never crash or hang.
TEST(PropertyListParser, SurvivesDamagedInput)
{
    const QByteArray sound[] = {
        PropertyListWriter::xmlData(sampleDictionary()),
        PropertyListWriter::openStepText(sampleDictionary()).toUtf8(),
        bin::build({bin::dict({1, 2, 3, 4}), bin::ascii("a"), bin::ascii("b"), bin::array({5, 6}), bin::integer(7, 1),
                    bin::utf16(u"text"_s), bin::real(1.5)}),
    };
    QRandomGenerator random(20240611);
    for (const QByteArray &original : sound) {
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = original;
            const int edits = 1 + random.bounded(4);
            for (int i = 0; i < edits && !damaged.isEmpty(); ++i) {
                const qsizetype at = random.bounded(damaged.size());
                switch (random.bounded(3)) {
                // clang-format off
                case 0: damaged[at] = static_cast<char>(random.bounded(256)); break;
                case 1: damaged.truncate(at + (original.startsWith("bplist") ? 0 : 1)); break;
                default: damaged.remove(at, 1 + random.bounded(8)); break;
                    // clang-format on
                }
            }
            QString error;
            const QVariant value = parse(damaged, &error);
            EXPECT_NE(value.isValid(), !error.isEmpty());
        }
    }
}
