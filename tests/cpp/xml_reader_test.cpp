#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "support/padded.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {
namespace {

std::string_view kind_name(XmlEventKind kind) {
  switch (kind) {
    case XmlEventKind::start_tag: return "start";
    case XmlEventKind::empty_element_tag: return "empty";
    case XmlEventKind::end_tag: return "end";
    case XmlEventKind::text: return "text";
    case XmlEventKind::cdata: return "cdata";
    case XmlEventKind::comment: return "comment";
    case XmlEventKind::declaration: return "declaration";
    case XmlEventKind::doctype: return "doctype";
    case XmlEventKind::end_of_input: return "eof";
  }
  return "?";
}

/// Every attribute of a tag as " key=value", unescaped, or " !" and the error.
std::string describe_attributes(XmlAttributeList list) {
  std::string text;
  std::string buffer;
  XmlAttributeCursor cursor(list);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return text + " !" + attribute.error().message();
    if (!*attribute) return text;
    auto value = unescape(**attribute, buffer);
    if (!value) return text + " !" + value.error().message();
    text.append(" ").append((*attribute)->key).append("=").append(*value);
  }
}

/// The events of `document`, one per line, through the end of input or the error;
/// checks that the last one repeats.
std::string read_all(std::string_view document) {
  const common::ByteBuffer padded = test_support::padded(document);
  XmlReader reader(padded);
  std::string log;
  for (;;) {
    auto event = reader.next();
    if (!event) {
      const std::string message = event.error().message();
      auto again = reader.next();
      EXPECT_TRUE(!again && again.error().message() == message) << "the error does not repeat";
      return log + "error " + message;
    }
    log += std::string(kind_name(event->kind));
    if (event->kind == XmlEventKind::end_of_input) {
      EXPECT_EQ(reader.next()->kind, XmlEventKind::end_of_input) << "the end does not repeat";
      return log;
    }
    log.append(" ").append(event->content);
    if (event->kind == XmlEventKind::start_tag || event->kind == XmlEventKind::empty_element_tag) {
      log += describe_attributes(event->attributes);
    }
    log += "\n";
  }
}

struct ReaderCase {
  const char* name;
  std::string document;
  std::string events;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class Reads : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(Reads, TheExpectedEvents) { EXPECT_EQ(read_all(GetParam().document), GetParam().events); }

std::string case_name(const ::testing::TestParamInfo<ReaderCase>& info) { return info.param.name; }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rules, Reads,
    ::testing::Values(
        // Byte-order mark and encodings.
        ReaderCase{"ByteOrderMarkAtStartSkipped", "\xEF\xBB\xBF<a/>", "empty a\neof"},
        ReaderCase{"ByteOrderMarkLaterIsText", "<a>\xEF\xBB\xBF</a>",
                   "start a\ntext \xEF\xBB\xBF\nend a\neof"},
        ReaderCase{"Utf16ReadAsBytes", "\xFF\xFE<\0a\0/\0>\0"s,
                   "text \xFF\xFE\nstart \0a\0/\0"s + "\ntext \0"s + "\neof"},
        ReaderCase{"NamesNotChecked", "<\xC3(a 1=\"\"/>", "empty \xC3(a 1=\neof"},
        // Text and its references.
        ReaderCase{"TextTrimmedAndReferencesAllowed", "<a> x &nbsp; &#1; > ]]> </a>",
                   "start a\ntext x &nbsp; &#1; > ]]>\nend a\neof"},
        ReaderCase{"BareAmpersandInText", "<a>a & b</a>",
                   "start a\nerror '&' in text begins no reference at byte 5"},
        ReaderCase{"EmptyReferenceInText", "<a>&;</a>",
                   "start a\nerror '&' in text begins no reference at byte 3"},
        ReaderCase{"ReferenceCutByTagInText", "<a>&amp</a>",
                   "start a\nerror '&' in text begins no reference at byte 3"},
        ReaderCase{"TextAroundTheRoot", "x<a/>y<b/>", "text x\nempty a\ntext y\nempty b\neof"},
        // Comments, CDATA, declarations, document types.
        ReaderCase{"CommentNotChecked", "<!-- a -- <b> -->", "comment  a -- <b> \neof"},
        ReaderCase{"CommentEndNeedsItsOwnDashes", "<!-->-->", "comment >\neof"},
        ReaderCase{"CdataUpToFirstEnd", "<![CDATA[<a>]]>]]>", "cdata <a>\ntext ]]>\neof"},
        ReaderCase{"DeclarationAnywhere", "<a><?xml version='1.0'?></a>",
                   "start a\ndeclaration xml version='1.0'\nend a\neof"},
        ReaderCase{"DoctypeWithInternalSubset",
                   "<!doctype save [<!ELEMENT save ANY><!-- c -->]><save/>",
                   "doctype  save [<!ELEMENT save ANY><!-- c -->]\nempty save\neof"},
        ReaderCase{"DoctypeCountsQuotedBrackets", "<!DOCTYPE a [<!ENTITY e \">\">]>",
                   "doctype  a [<!ENTITY e \">\"\ntext ]>\neof"},
        ReaderCase{"OtherBangMarkup", "<!ENTITY x>",
                   "error '<!' begins no comment, CDATA section or document type declaration "
                   "at byte 0"},
        ReaderCase{"UnclosedComment", "<a/><!-- x", "empty a\nerror comment has no end at byte 4"},
        ReaderCase{"UnclosedCdata", "<![CDATA[x]]", "error CDATA section has no end at byte 0"},
        ReaderCase{"ConstructEndsPastFalseStarts", "<?\?x?\?><!--" + std::string(20, '-') + "x-->",
                   "declaration ?x\?\ncomment " + std::string(20, '-') + "x\neof"},
        ReaderCase{"UnclosedDeclaration", "<?>",
                   "error declaration or processing instruction has no end at byte 0"},
        ReaderCase{"UnbalancedDoctype", "<!DOCTYPE a [<b>",
                   "error document type declaration has no end at byte 0"},
        // End tags.
        ReaderCase{"EndTagTrailingWhiteSpace", "<a></a \t\n>", "start a\nend a\neof"},
        ReaderCase{"EndTagInnerWhiteSpace", "<a b=''></a b=''>",
                   "start a b=\nerror mismatched end tag: expected </a>, found </a b=''> at byte 8"},
        ReaderCase{"EndTagPrefixOfName", "<ab></a>",
                   "start ab\nerror mismatched end tag: expected </ab>, found </a> at byte 4"},
        ReaderCase{"EndTagPrefixOfNameWithASlash", "<a/b></a>",
                   "start a/b\nerror mismatched end tag: expected </a/b>, found </a> at byte 5"},
        ReaderCase{"EndTagDifferingInItsLastByte", "<abc></abd>",
                   "start abc\nerror mismatched end tag: expected </abc>, found </abd> at byte 5"},
        ReaderCase{"EndTagLongerThanName", "<a></ab>",
                   "start a\nerror mismatched end tag: expected </a>, found </ab> at byte 3"},
        ReaderCase{"EndTagOfANameEndedByATab", "<abc\tb=''></abc>", "start abc b=\nend abc\neof"},
        ReaderCase{"EndTagNameWithQuote", "<a\"x>y\"></a\"x>",
                   "start a\"x>y\"\nerror mismatched end tag: expected </a\"x>y\">, found "
                   "</a\"x> at byte 8"},
        ReaderCase{"LongEndTagNameWithQuote", "<abcdefgh\"x>y\"></abcdefgh\"x>",
                   "start abcdefgh\"x>y\"\nerror mismatched end tag: expected </abcdefgh\"x>y\">, found "
                   "</abcdefgh\"x> at byte 15"},
        ReaderCase{"LongEndTagDifferingInItsFirstChunk", "<abcdefghijklmnopqr></Xbcdefghijklmnopqr>",
                   "start abcdefghijklmnopqr\nerror mismatched end tag: expected </abcdefghijklmnopqr>, found "
                   "</Xbcdefghijklmnopqr> at byte 20"},
        ReaderCase{"LongEndTagDifferingInItsLastChunk", "<abcdefghijklmnopqr></abcdefghijklmnopqX>",
                   "start abcdefghijklmnopqr\nerror mismatched end tag: expected </abcdefghijklmnopqr>, found "
                   "</abcdefghijklmnopqX> at byte 20"},
        ReaderCase{"LongEndTagMatching", "<abcdefghijklmnopqr></abcdefghijklmnopqr>",
                   "start abcdefghijklmnopqr\nend abcdefghijklmnopqr\neof"},
        ReaderCase{"EndTagWithoutName", "<a></ >", "start a\nerror end tag without a name at byte 3"},
        ReaderCase{"EndTagWithNothingOpen", "<a/></a>",
                   "empty a\nerror end tag </a> closes no open element at byte 4"},
        ReaderCase{"UnclosedEndTag", "<a></a", "start a\nerror tag has no end at byte 3"},
        // Start and empty-element tags.
        ReaderCase{"QuotedGreaterThan", "<a x='>' y=\"/>\">", "start a x=> y=/>\neof"},
        // A tag's end is found a chunk of 16 bytes at a time while it holds `"` quotes only.
        ReaderCase{"GreaterThanInQuotesOfLaterChunks", "<a b=\"1\" c=\"2\" d=\"3\" e=\">\" f=\"0123456789abcdef>\"/>",
                   "empty a b=1 c=2 d=3 e=> f=0123456789abcdef>\neof"},
        ReaderCase{"DoubleQuoteOpenIntoAChunkWithASingleOne", "<a b=\"0123456789abcdef>'>\" c='\">'/>",
                   "empty a b=0123456789abcdef>'> c=\">\neof"},
        ReaderCase{"SingleQuoteInALaterChunk", "<a b=\"0123456789abcdef\" c='>\"'/>",
                   "empty a b=0123456789abcdef c=>\"\neof"},
        ReaderCase{"GreaterThanRightAfterAClosingQuote", "<a b=\"0123456789ab\">text</a>",
                   "start a b=0123456789ab\ntext text\nend a\neof"},
        ReaderCase{"SlashBeforeWhiteSpaceIsInName", "<a/ ></a/>", "start a/\nend a/\neof"},
        ReaderCase{"SlashInsideNameIsInName", "<a/b/><a/b x=''/>", "empty a/b\nempty a/b x=\neof"},
        ReaderCase{"TagWithoutName", "< a>", "error tag without a name at byte 0"},
        ReaderCase{"CutInsideTag", "<a><b x=\"1", "start a\nerror tag has no end at byte 3"},
        ReaderCase{"CutInsideElementIsPlainEnd", "<a><b>text", "start a\nstart b\ntext text\neof"},
        // Attributes.
        ReaderCase{"WhiteSpaceAroundEquals", "<a x = '1'\ty\n=\"2\"/>", "empty a x=1 y=2\neof"},
        ReaderCase{"NoWhiteSpaceNeededBetween", "<a x='1'y='2'/>", "empty a x=1 y=2\neof"},
        ReaderCase{"KeyWithoutEquals", "<a x/>",
                   "empty a !attribute 'x' has no '=' after it at byte 3\neof"},
        ReaderCase{"QuotedValueWithoutEquals", "<a x \"1\"/>",
                   "empty a !attribute 'x' has no '=' after it at byte 3\neof"},
        ReaderCase{"EqualsWithoutValue", "<a x= />",
                   "empty a !attribute 'x' has '=' but no value at byte 3\neof"},
        ReaderCase{"UnquotedValue", "<a x=1/>",
                   "empty a !value of attribute 'x' is not in quotes at byte 3\neof"},
        ReaderCase{"KeyHoldingAQuote", "<a k'=\"v'>",
                   "start a !value of attribute 'k'' has no closing quote at byte 3\neof"},
        ReaderCase{"ValueNotClosedBeforeTagEnd", "<a k'=\"v'><b c=\"\"/>",
                   "start a !value of attribute 'k'' has no closing quote at byte 3\nempty b c=\neof"},
        ReaderCase{"ShortValuesStillUnescapedAndChecked", "<a x='&lt;' y=\"\xC3\xA9\" z='\xED\xA0\x80'/>",
                   "empty a x=< y=\xC3\xA9 !attribute value is not UTF-8 at byte 22\neof"},
        ReaderCase{"DuplicateAttribute", "<a x='1' y='2' x='3'/>",
                   "empty a x=1 y=2 !duplicate attribute 'x' at byte 15\neof"},
        // Unescaping values.
        ReaderCase{"PredefinedAndCharacterReferences",
                   "<a v='&lt;&gt;&amp;&apos;&quot;&#65;&#x42;&#x4a;' w='&#X43;'/>",
                   "empty a v=<>&'\"ABJ !unknown reference &#X43; at byte 53\neof"},
        ReaderCase{"CharacterReferenceRange",
                   "<a v='&#0;&#x10FFFF;&#0000000000000000065;' w='&#xD800;'/>",
                   "empty a v=\0\xF4\x8F\xBF\xBF"s + "A !character reference &#xD800; is no "
                   "Unicode scalar value at byte 47\neof"},
        ReaderCase{"CharacterReferenceAboveUnicode", "<a v='&#1114112;'/>",
                   "empty a !character reference &#1114112; is no Unicode scalar value at byte 6\neof"},
        // 2^32 + 65: no wrap to "A", whatever the digits.
        ReaderCase{"CharacterReferenceWrappingTo32Bits", "<a v='&#4294967361;'/>",
                   "empty a !character reference &#4294967361; is no Unicode scalar value at byte 6\neof"},
        ReaderCase{"UnknownEntity", "<a v='&nbsp;'/>", "empty a !unknown reference &nbsp; at byte 6\neof"},
        ReaderCase{"ReferenceWithoutSemicolon", "<a v='&amp'/>",
                   "empty a !reference without ';' at byte 6\neof"},
        ReaderCase{"ValueNotUtf8", "<a v='\xED\xA0\x80'/>",
                   "empty a !attribute value is not UTF-8 at byte 6\neof"},
        // A value is read once, references and UTF-8 together: bad UTF-8 after a
        // bad reference is still the error.
        ReaderCase{"ValueNotUtf8AfterABadReference", "<a v='&nbsp;\xC3('/>",
                   "empty a !attribute value is not UTF-8 at byte 6\neof"},
        ReaderCase{"CharacterReferenceWithASign", "<a v='&#+65;'/>", "empty a !unknown reference &#+65; at byte 6\neof"},
        ReaderCase{"LineBreaksAndTabsStay", "<a v='1\t2\r\n3'/>", "empty a v=1\t2\r\n3\neof"},
        // Values longer than the scans' chunks, with what needs a closer look late.
        ReaderCase{"LongValueWithLateReference", "<a v='" + std::string(20, 'x') + "&amp;'/>",
                   "empty a v=" + std::string(20, 'x') + "&\neof"},
        ReaderCase{"LongValueWithLateBadByte", "<a v='" + std::string(20, 'x') + "\xC3('/>",
                   "empty a !attribute value is not UTF-8 at byte 6\neof"},
        // Messages stay short and printable.
        ReaderCase{"LongNamesCutInMessages", "<" + std::string(1000, 'n') + "\x01></m>",
                   "start " + std::string(1000, 'n') + "\x01\nerror mismatched end tag: expected </" +
                       std::string(40, 'n') + "...>, found </m> at byte 1003"}),
    case_name);

/// The events `reader` gives from here on, as kinds and contents, or the error.
std::string rest_of(XmlReader& reader) {
  std::string log;
  for (;;) {
    auto event = reader.next();
    if (!event) return log + "error " + event.error().message();
    log.append(kind_name(event->kind)).append(" ").append(event->content).append("\n");
    if (event->kind == XmlEventKind::end_of_input) return log;
  }
}

// An end tag read by name is the one `next` delivers there; where the reading
// declines, `next` reads the same markup the general way.
struct EndTagByNameCase {
  const char* name;
  std::string document;
  int events_before;
  bool reads;
};

void PrintTo(const EndTagByNameCase& c, std::ostream* os) { *os << c.name; }

class EndTagByName : public ::testing::TestWithParam<EndTagByNameCase> {};

TEST_P(EndTagByName, ReadsTheEndTagNextWouldOrDeclines) {
  const EndTagByNameCase& c = GetParam();
  const common::ByteBuffer padded = test_support::padded(c.document);
  XmlReader by_name(padded);
  XmlReader general(padded);
  for (int i = 0; i < c.events_before; ++i) {
    (void)by_name.next();
    (void)general.next();
  }
  const bool read = by_name.read_end_tag_named("n");
  EXPECT_EQ(read, c.reads);
  if (read) {
    const auto end = general.next();
    ASSERT_TRUE(end && end->kind == XmlEventKind::end_tag && end->content == "n");
  }
  EXPECT_EQ(rest_of(by_name), rest_of(general));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EndTagByName,
    ::testing::Values(EndTagByNameCase{"ClosesTheInnermost", "<n>\n </n><a/>", 1, true},
                      EndTagByNameCase{"OpenNameEndedByWhiteSpace", "<n a='1'></n>", 1, true},
                      EndTagByNameCase{"WhiteSpaceBeforeItsEnd", "<n></n ><a/>", 1, false},
                      EndTagByNameCase{"LongerEndName", "<n></nx>", 1, false},
                      EndTagByNameCase{"LongerOpenName", "<nx></n>", 1, false},
                      EndTagByNameCase{"OtherOpenElement", "<n><m></n>", 2, false},
                      EndTagByNameCase{"NoOpenElement", "</n>", 0, false},
                      EndTagByNameCase{"CutShort", "<n></n", 1, false}),
    [](const ::testing::TestParamInfo<EndTagByNameCase>& info) { return std::string(info.param.name); });

TEST(XmlReader, DeepNestingNeedsNoRecursion) {
  constexpr int DEPTH = 1'000'000;
  std::string document;
  for (int i = 0; i < DEPTH; ++i) document += "<n" + std::to_string(i % 300) + ">";
  for (int i = DEPTH; i-- > 0;) document += "</n" + std::to_string(i % 300) + ">";
  const common::ByteBuffer padded = test_support::padded(document);
  XmlReader reader(padded);
  int ends = 0;
  for (auto event = reader.next(); event && event->kind != XmlEventKind::end_of_input;
       event = reader.next()) {
    ends += event->kind == XmlEventKind::end_tag;
  }
  EXPECT_EQ(ends, DEPTH);
}

TEST(XmlReader, MatchesEndTagsAcrossLongDistances) {
  // The open elements are kept as distances from one to the next: 1, 2 and 3 bytes' worth.
  const std::string document = "<a>" + std::string(100, ' ') + "<b>" + std::string(20'000, ' ') +
                               "<c></c></b><d/>" + std::string(3'000'000, ' ') + "<e></e></a>";
  EXPECT_EQ(read_all(document), "start a\nstart b\nstart c\nend c\nend b\nempty d\nstart e\nend e\nend a\neof");
}

/// The error of the last attribute of a tag with `count` distinct ones, `key`
/// and a number each, then `tail`.
std::string last_attribute_of_large_tag(int count, std::string_view tail, std::string_view key = "k") {
  std::string tag = "<a";
  for (int i = 0; i < count; ++i) tag.append(" ").append(key).append(std::to_string(i)).append("=''");
  tag.append(tail).append("/>");
  const common::ByteBuffer padded = test_support::padded(tag);
  XmlReader reader(padded);
  XmlAttributeCursor cursor(reader.next()->attributes);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return attribute.error().message();
    if (!*attribute) return "no error";
  }
}

TEST(XmlAttributeCursor, LargeTagsFindDuplicatesQuickly) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(last_attribute_of_large_tag(100'000, ""), "no error");
  EXPECT_EQ(last_attribute_of_large_tag(100'000, " k5=''"),
            "duplicate attribute 'k5' at byte 988893");
  // Only a quadratic check could come near this on any machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Keys past the first sixteen are hashed seven bytes at a time: keys that share
// those bytes, or end inside them, are still told apart.
TEST(XmlAttributeCursor, ManyLongKeysAreComparedWhole) {
  constexpr std::string_view KEY = "key_sharing_its_start_";
  EXPECT_EQ(last_attribute_of_large_tag(40, " key_sharing_its_start_=''", KEY), "no error");
  EXPECT_EQ(last_attribute_of_large_tag(40, " key_sharing_its_start_39x=''", KEY), "no error");
  EXPECT_EQ(last_attribute_of_large_tag(40, " key_sharing_its_start_3=''", KEY),
            "duplicate attribute 'key_sharing_its_start_3' at byte 1113");
}

/// A tag of `count` keys k0, k1, ... with `insert` after the key numbered `at`
/// and `tail` after the last.
std::string numbered_tag(int count, int at, std::string_view insert, std::string_view tail) {
  std::string tag = "<a";
  for (int i = 0; i < count; ++i) {
    tag.append(" k").append(std::to_string(i)).append("=''");
    if (i == at) tag.append(insert);
  }
  return tag.append(tail).append("/>");
}

/// The first error among the first `stop` attributes of `tag`, or "no error".
std::string error_among_attributes(std::string_view tag, std::size_t stop) {
  const common::ByteBuffer padded = test_support::padded(tag);
  XmlReader reader(padded);
  XmlAttributeCursor cursor(reader.next()->attributes);
  for (std::size_t read = 0; read < stop; ++read) {
    auto attribute = cursor.next();
    if (!attribute) return attribute.error().message();
    if (!*attribute) break;
  }
  return "no error";
}

struct ManyKeysCase {
  const char* name;
  int at;                // the key after which `insert` goes
  std::string insert;
  std::string tail;
  std::size_t stop;      // attributes the caller reads
  std::string expected;  // with the byte offset of `marker` in the tag after it
  std::string marker;
};

void PrintTo(const ManyKeysCase& c, std::ostream* os) { *os << c.name; }

class ManyKeys : public testing::TestWithParam<std::tuple<ManyKeysCase, int>> {};

// Each case in a tag whose keys go into a set one at a time and in one long
// enough to be read ahead, where the answers must be the same.
TEST_P(ManyKeys, ReportTheFirstFaultTheCallerReaches) {
  const auto& [c, count] = GetParam();
  const std::string tag = numbered_tag(count, c.at, c.insert, c.tail);
  const std::size_t stop = c.stop == 0 ? std::size_t(-1) : c.stop;
  std::string expected = c.expected;
  if (!c.marker.empty()) expected += " at byte " + std::to_string(tag.find(c.marker) + 1);
  EXPECT_EQ(error_among_attributes(tag, stop), expected);
}

INSTANTIATE_TEST_SUITE_P(
    XmlAttributeCursor, ManyKeys,
    testing::Combine(
        testing::Values(
            ManyKeysCase{"no repeat", 50, "", "", 0, "no error", ""},
            ManyKeysCase{"a repeat after the caller stops", 50, " k3=''", " k0=''", 51, "no error", ""},
            ManyKeysCase{"a repeat where the caller stops", 50, " k3=''", "", 52, "duplicate attribute 'k3'",
                         " k3='' k51"},
            ManyKeysCase{"the 17th key repeats", 15, " k2=''", "", 0, "duplicate attribute 'k2'", " k2='' k16"},
            ManyKeysCase{"the 17th key again, far later", 50, "", " k16=''", 0, "duplicate attribute 'k16'",
                         " k16=''/>"},
            ManyKeysCase{"a syntax error before a repeat", 50, " bad k3=''", "", 0,
                         "attribute 'bad' has no '=' after it", " bad"},
            ManyKeysCase{"a repeat before a syntax error", 50, " k3='' bad", "", 0, "duplicate attribute 'k3'",
                         " k3='' bad"},
            ManyKeysCase{"a syntax error after the caller stops", 50, " k3", "", 30, "no error", ""},
            // The earliest repeat in the list, not the repeat of the earliest key.
            ManyKeysCase{"the first of many repeats", 60, " k59='' k58=''", " k1='' k0=''", 0,
                         "duplicate attribute 'k59'", " k59='' k58"},
            ManyKeysCase{"keys that begin alike", 50, " k3x='' k='' k30000x=''", " k5=''", 0,
                         "duplicate attribute 'k5'", " k5=''/>"}),
        testing::Values(100, 20'000)));

/// ` k0='' k1='' ...`, `count` attributes.
std::string numbered_attributes(int count) {
  std::string attributes;
  for (int i = 0; i < count; ++i) attributes.append(" k").append(std::to_string(i)).append("=''");
  return attributes;
}

/// The error of the attributes of `<a` + `head` + `copies` copies of `copy` + `tail`.
std::string error_of_long_tag(std::string_view head, std::string_view copy, std::size_t copies,
                              std::string_view tail) {
  std::string tag = "<a";
  tag.append(head);
  for (std::size_t i = 0; i < copies; ++i) tag.append(copy);
  return error_among_attributes(tag.append(tail).append("/>"), std::size_t(-1));
}

// Tags of millions of keys: one key met again and again fails at its second
// time, and a repeat after millions of distinct keys is still found, at the
// same offsets as when few keys come before.
TEST(XmlAttributeCursor, TagsOfMillionsOfKeysFindTheirFirstRepeat) {
  const std::string sixteen_keys = numbered_attributes(16) + " ";
  EXPECT_EQ(error_of_long_tag(sixteen_keys, "a=''", 4'000'000, ""),
            "duplicate attribute 'a' at byte " + std::to_string(2 + sixteen_keys.size() + 4));
  const std::string distinct = numbered_attributes(4'000'000);
  EXPECT_EQ(error_of_long_tag(distinct, "", 0, " k0=''"),
            "duplicate attribute 'k0' at byte " + std::to_string(3 + distinct.size()));
}

struct ReadAheadCase {
  const char* name;
  std::string insert;
  std::string described;  // as `describe_attributes` gives it; `@` for the offset of `&` in the tag
};

void PrintTo(const ReadAheadCase& c, std::ostream* os) { *os << c.name; }

class ReadAhead : public testing::TestWithParam<ReadAheadCase> {};

// A list long enough to be read ahead hands out the attributes that the read
// ahead kept the shape of without reading them again: each as one at a time.
TEST_P(ReadAhead, HandsOutEachAttributeAsReadOneAtATime) {
  constexpr int COUNT = 20'000;
  constexpr int AT = 50;
  const std::string tag = numbered_tag(COUNT, AT, GetParam().insert, "");
  std::string expected;
  for (int i = 0; i <= AT; ++i) expected.append(" k").append(std::to_string(i)).append("=");
  std::string described = GetParam().described;
  if (const std::size_t at = described.find('@'); at != std::string::npos) {
    described.replace(at, 1, std::to_string(tag.find('&')));
  }
  expected += described;
  if (described.find('!') == std::string::npos) {
    for (int i = AT + 1; i < COUNT; ++i) expected.append(" k").append(std::to_string(i)).append("=");
  }
  const common::ByteBuffer padded = test_support::padded(tag);
  XmlReader reader(padded);
  EXPECT_EQ(describe_attributes(reader.next()->attributes), expected);
}

INSTANTIATE_TEST_SUITE_P(
    XmlAttributeCursor, ReadAhead,
    testing::Values(
        ReadAheadCase{"white space too long to keep", " " + std::string(127, ' ') + "a='1'", " a=1"},
        ReadAheadCase{"the longest white space kept", std::string(126, '\t') + "a='1'", " a=1"},
        ReadAheadCase{"no white space", "a=\"1\"", " a=1"},
        ReadAheadCase{"white space around the equals sign", " a = '1'", " a=1"},
        ReadAheadCase{"the longest short attribute", " a='0123456789ab'", " a=0123456789ab"},
        ReadAheadCase{"a value past the chunk", " a='0123456789abc'", " a=0123456789abc"},
        ReadAheadCase{"a long key", " abcdefghijklmno=''", " abcdefghijklmno="},
        ReadAheadCase{"a reference", " a='x&amp;y'", " a=x&y"},
        ReadAheadCase{"non-ASCII", " a='\xC3\xA9'", " a=\xC3\xA9"},
        ReadAheadCase{"a bad reference, where the value lies", " a='&x;'", " !unknown reference &x; at byte @"}));

TEST(XmlAttributeCursor, StopsWhereTheCallerStops) {
  const common::ByteBuffer padded = test_support::padded("<node id='ModuleInfo' id='x' y>");
  XmlReader reader(padded);
  XmlAttributeCursor cursor(reader.next()->attributes);
  auto first = cursor.next();
  ASSERT_TRUE(first && *first);
  EXPECT_EQ((*first)->key, "id");
}

}  // namespace
}  // namespace quellan::tarn::pak
