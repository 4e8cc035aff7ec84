#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/messages.h"
#include "support/meta_kvt.h"
#include "support/padded.h"
#include "tarn/pak/metadata.h"

// Expected records name only the fields a case sets, with designated initializers;
// the others keep their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quellan::tarn::pak {
namespace {

using test_support::MODULE_INFO_FAILS;
using test_support::NO_MODULE_INFO;
using test_support::SHORT_DESC_FAILS;

std::string mismatch(const std::string& cause) { return test_support::schema_mismatch(cause); }

// Documents are written raw, so that a case can hold any reference or defect.
std::string attr(std::string_view id, std::string_view value) {
  return "<attribute id=\"" + std::string(id) + "\" type=\"LSString\" value=\"" +
         std::string(value) + "\"/>";
}

std::string node(std::string_view id, std::string_view body) {
  return "<node id=\"" + std::string(id) + "\">" + std::string(body) + "</node>";
}

/// A document whose root children are `children`, written on one line after the
/// declaration, so that reader positions are easy to tell.
std::string document(std::string_view children) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<save><region id=\"Config\"><node "
         "id=\"root\"><children>" +
         std::string(children) + "</children></node></region></save>";
}

std::string module_info_document(std::string_view body) {
  return document(node("ModuleInfo", body));
}

/// `text` up to where `marker` first occurs.
std::string cut_before_first(const std::string& text, std::string_view marker) {
  return text.substr(0, text.find(marker));
}

Metadata with(ModuleInfo module_info, std::vector<ModuleShortDesc> dependencies = {}) {
  return Metadata{std::move(dependencies), std::move(module_info)};
}

std::string describe(const ModuleShortDesc& d) {
  return "{folder=" + d.folder + " md5=" + std::string(d.md5) + " name=" + d.name + " uuid=" + std::string(d.uuid) +
         " version=" + std::to_string(d.version) + "}";
}

std::string describe(const Metadata& metadata) {
  const ModuleInfo& m = metadata.module_info;
  std::string text = "author=" + m.author + "\nccl=" + m.character_creation_level_name +
                     "\ndescription=" + m.description + "\nfolder=" + m.folder +
                     "\ngm=" + m.gm_template + "\nlobby=" + m.lobby_level_name +
                     "\nmd5=" + std::string(m.md5) + "\nvideo=" + m.main_menu_background_video +
                     "\nmenu=" + m.menu_level_name + "\nname=" + m.name +
                     "\nphoto=" + m.photo_booth + "\nstartup=" + m.startup_level_name +
                     "\ntags=" + m.tags + "\ntype=" + m.module_type + "\nuuid=" + std::string(m.uuid) +
                     "\npublish_handle=" + std::to_string(m.publish_handle) +
                     "\nversion=" + std::to_string(m.version) +
                     "\nnum_players=" + std::to_string(m.num_players) + "\ndependencies=";
  for (const ModuleShortDesc& dependency : metadata.dependencies) text += describe(dependency);
  return text;
}

/// One document and what parsing it gives: the metadata, or the full error message.
struct ParseCase {
  std::string name;
  std::string document;
  std::variant<Metadata, std::string> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, GivesTheExpectedRecordOrMessage) {
  const ParseCase& c = GetParam();
  error::Result<Metadata> metadata_or_err = Metadata::parse(test_support::padded(c.document));
  if (const auto* expected = std::get_if<Metadata>(&c.expected)) {
    ASSERT_TRUE(metadata_or_err.has_value()) << metadata_or_err.error().message();
    EXPECT_EQ(describe(*metadata_or_err), describe(*expected));
  } else {
    ASSERT_FALSE(metadata_or_err.has_value()) << describe(*metadata_or_err);
    EXPECT_EQ(metadata_or_err.error().message(), std::get<std::string>(c.expected));
  }
}

// A parse that only checks the texts gives every answer and message alike.
TEST_P(Parse, GivesTheSameAnswerWhenOnlyCheckingTexts) {
  const common::ByteBuffer document = test_support::padded(GetParam().document);
  error::Result<Metadata> kept = Metadata::parse(document);
  error::Result<Metadata> checked = Metadata::parse(document, DependencyRecords::keep, FieldTexts::check);
  ASSERT_EQ(checked.has_value(), kept.has_value());
  if (!kept) {
    EXPECT_EQ(checked.error().message(), kept.error().message());
  }
}

std::string case_name(const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; }

/// One field of a ModuleInfo node set to `value`.
ParseCase field(std::string name, std::string_view id, std::string_view value,
                std::variant<Metadata, std::string> expected) {
  return {std::move(name), module_info_document(attr(id, value)), std::move(expected)};
}

std::vector<ParseCase> field_cases() {
  return {
      {"AllEighteenFields",
       module_info_document(
           attr("Author", "a") + attr("CharacterCreationLevelName", "b") +
           attr("Description", "c") + attr("Folder", "d") + attr("GMTemplate", "e") +
           attr("LobbyLevelName", "f") + attr("MD5", "g") + attr("MainMenuBackgroundVideo", "h") +
           attr("MenuLevelName", "i") + attr("Name", "j") + attr("PhotoBooth", "k") +
           attr("StartupLevelName", "l") + attr("Tags", "m") + attr("Type", "n") +
           attr("UUID", "o") + attr("PublishHandle", "17") + attr("Version64", "-42") +
           attr("NumPlayers", "4")),
       with({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", 17, -42,
             4})},
      {"NoAttributesGivesDefaults", module_info_document(""), with({})},
      {"LaterAssignmentReplacesEarlier",
       module_info_document(attr("Name", "first") + attr("Name", "second")),
       with({.name = "second"})},
      // Ids are matched exactly: not trimmed, case-sensitive.
      field("LowerCaseIdIgnored", "name", "x", with({})),
      field("LeadingSpaceIdIgnored", " Name", "x", with({})),
      field("UnknownIdIgnored", "Colour", "x", with({})),
      {"IdsDifferingInOneByteIgnored",
       module_info_document(attr("Version65", "1") + attr("UUIX", "u") + attr("StartupLevelNamf", "s") +
                            attr("MD6", "m")),
       with({})},
      field("UnknownIdsValueMustStillUnescape", "Colour", "a&nbsp;b", MODULE_INFO_FAILS),
      {"IdWithoutValueIgnored", module_info_document("<attribute id=\"Name\"/>"), with({})},
      {"ValueWithoutIdIgnored", module_info_document("<attribute value=\"x\"/>"), with({})},
      {"SeparateEndTagIgnored",
       module_info_document("<attribute id=\"Name\" value=\"x\"></attribute>"), with({})},
      {"TypeAttributeChangesNothing",
       module_info_document("<attribute id=\"Name\" type=\"int64\" value=\"12\"/>"
                            "<attribute type=\"LSString\" id=\"Version64\" value=\"-3\"/>"),
       with({.name = "12", .version = -3})},
      // Trimming: exactly the White_Space characters, at both ends only.
      field("SpacesTrimmed", "Name", "  word  ", with({.name = "word"})),
      field("OneEndTrimmed", "Name", "\tword", with({.name = "word"})),
      field("UnicodeSpacesTrimmedInnerKept", "Name", "\u00A0\u3000two words\u2029\u205F",
            with({.name = "two words"})),
      field("ReferencedControlsTrimmed", "Name", "&#9;&#10;&#133;x&#13;&#32;",
            with({.name = "x"})),
      field("ReferencedNewlineInsideKept", "Name", "a&#10;b", with({.name = "a\nb"})),
      field("ZeroWidthSpaceIsNotWhiteSpace", "Name", "\u200Bx\uFEFF",
            with({.name = "\u200Bx\uFEFF"})),
      field("OnlyWhiteSpaceGivesEmpty", "Name", "\u1680 \u2000\u200A", with({})),
      // Literal tabs and line breaks inside a value stay as written.
      field("LiteralLineBreaksKept", "Name", "a\tb\r\nc\n", with({.name = "a\tb\r\nc"})),
      // References.
      field("AmpEntity", "Name", "R&amp;D", with({.name = "R&D"})),
      field("PredefinedEntities", "Name", "&lt;&gt;&quot;&apos;", with({.name = "<>\"'"})),
      field("CharacterReferences", "Name", "&#65;&#x42;&#x1F600;", with({.name = "AB\U0001F600"})),
      // An escaped value is written over the field's earlier text and trimmed there.
      {"EscapedValueReplacesLongerEarlierOne",
       module_info_document(attr("Name", "a much longer first name") + attr("Name", "R&amp;D")),
       with({.name = "R&D"})},
      field("EscapedValueTrimmedAtStartOnly", "Name", "&#32; R&amp;D", with({.name = "R&D"})),
      // White space written and referenced, around and between references.
      field("WrittenWhiteSpaceAfterTheLastReference", "Name", "R&amp;D\u3000 ", with({.name = "R&D"})),
      field("ReferencedAfterWrittenWhiteSpace", "Name", "x\u3000&#32;", with({.name = "x"})),
      field("WrittenWhiteSpaceBeforeTheFirstReference", "Name", "\u3000 &amp;x", with({.name = "&x"})),
      field("ReferencedWhiteSpaceBetweenReferences", "Name", "&amp;&#32;&amp;", with({.name = "& &"})),
      {"LongAndShortEscapedInlineTexts",
       module_info_document(attr("UUID", std::string(41, 'u') + "&amp;") + attr("MD5", "&#x41;")),
       with({.md5 = "A", .uuid = InlineText(std::string(41, 'u') + "&")})},
      {"PlainInlineTextsAtAndPastTheirRoom",
       module_info_document(attr("UUID", std::string(41, 'u')) + attr("UUID", std::string(40, 'v')) +
                            attr("MD5", std::string(41, 'm'))),
       with({.md5 = InlineText(std::string(41, 'm')), .uuid = InlineText(std::string(40, 'v'))})},
      field("UndefinedEntityFailsNode", "Name", "a&nbsp;b", MODULE_INFO_FAILS),
      field("UnterminatedReferenceFailsNode", "Name", "a&amp b", MODULE_INFO_FAILS),
      field("InvalidUtf8FailsNode", "Name", "\xC3(", MODULE_INFO_FAILS),
      {"DeclaredEncodingIgnored",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
           node("ModuleInfo", attr("Name", "Caf\xC3\xA9")),
       with({.name = "Caf\xC3\xA9"})},
  };
}
INSTANTIATE_TEST_SUITE_P(Fields, Parse, ::testing::ValuesIn(field_cases()), case_name);

// Field tags and `node` start tags are read in one pass where they are written
// plainly and the general way otherwise: every form gives the same answer, and
// each case below is one that a one-pass reading alone would get wrong.
std::string many_keys_then_name(int count) {
  std::string tag = "<attribute";
  for (int i = 0; i < count; ++i) tag += " k" + std::to_string(i) + "=''";
  return tag + " id='Name' value='x'/>";
}

/// A field tag written as nearly all are, the form read with the fewest checks.
std::string plain_field(std::string_view id, std::string_view value) {
  return "<attribute id=\"" + std::string(id) + "\" value=\"" + std::string(value) + "\"/>";
}

std::vector<ParseCase> tag_form_cases() {
  return {
      // Written ` id="…" value="…"/>`, keys and values are spotted by their bytes.
      {"PlainFieldEscapedPastItsFirstChunk", module_info_document(plain_field("Name", "0123456789abcdefR&amp;D")),
       with({.name = "0123456789abcdefR&D"})},
      {"PlainFieldBadUtf8PastItsFirstChunk", module_info_document(plain_field("Name", "0123456789abcdef\xC3(")),
       MODULE_INFO_FAILS},
      {"PlainFieldIdRepeated", module_info_document("<attribute id=\"Name\" id=\"Tags\" value=\"x\"/>"),
       MODULE_INFO_FAILS},
      {"PlainFieldValueRepeated", module_info_document("<attribute id=\"Name\" value=\"x\" value=\"y\"/>"),
       MODULE_INFO_FAILS},
      {"PlainFieldSlashStartingAKey", module_info_document("<attribute id=\"Name\" value=\"x\"//>"),
       MODULE_INFO_FAILS},
      {"PlainFieldCutInItsValue",
       cut_before_first(module_info_document("<attribute id=\"Name\" value=\"x"), "</node>"), MODULE_INFO_FAILS},
      {"KeysThatStartAsIdAndValue",
       module_info_document("<attribute idx=\"Tags\" id=\"Name\" values=\"y\" value=\"x\"/>"),
       with({.name = "x"})},
      {"KeyThatStartsAsIdRunningIntoAValue", module_info_document("<attribute idx=\" value=\"x\"/>"),
       MODULE_INFO_FAILS},
      {"NodeKeyThatStartsAsId",
       document("<node idx=\"root\" id=\"ModuleInfo\">" + plain_field("Name", "x") + "</node>"),
       with({.name = "x"})},
      {"SingleQuotesAndOtherOrder", module_info_document("<attribute value='x' id='Name'/>"),
       with({.name = "x"})},
      {"WhiteSpaceEverywhere",
       module_info_document("<attribute\n id = \"Name\"\tvalue=\r\n\"x\" \n/>"), with({.name = "x"})},
      {"NoWhiteSpaceBetween", module_info_document("<attribute id=\"Name\"value=\"x\"/>"),
       with({.name = "x"})},
      {"SlashInKey", module_info_document("<attribute a/b='' id='Name' value='x'/>"),
       with({.name = "x"})},
      {"GreaterThanInValue", module_info_document("<attribute id='Name' value='a>b/>'/>"),
       with({.name = "a>b/>"})},
      {"FifteenOtherKeys", module_info_document(many_keys_then_name(14)), with({.name = "x"})},
      {"ManyOtherKeys", module_info_document(many_keys_then_name(40)), with({.name = "x"})},
      {"DuplicateAmongManyKeys",
       module_info_document(many_keys_then_name(40).insert(std::string_view("<attribute").size(), " k39=''")),
       MODULE_INFO_FAILS},
      {"SpaceBeforeSlashMakesAStartTag", module_info_document("<attribute id='Name' value='x' / >"),
       MODULE_INFO_FAILS},
      {"UnclosedValueFailsNode", module_info_document("<attribute id='Name' value='x/>"),
       MODULE_INFO_FAILS},
      {"NodeEndClosingAnotherElement", module_info_document("<abcd></node>"), MODULE_INFO_FAILS},
      {"NodeEndWithALongerName", module_info_document(attr("Name", "x") + "</nodeX>"), MODULE_INFO_FAILS},
      {"NodeEndClosingALongerName", module_info_document("<nodes></node>"), MODULE_INFO_FAILS},
      {"CutInsideNodeEnd", cut_before_first(module_info_document(attr("Name", "x")), "e></children>"),
       MODULE_INFO_FAILS},
      {"CutInsideAKey", cut_before_first(module_info_document("<attribute id='Name' value='x' key"), "</node>"),
       MODULE_INFO_FAILS},
      // Other keys are told apart by their first byte and size before their bytes.
      {"OtherKeysAlikeInFirstByteAndSize", module_info_document("<attribute ab='' id='Name' ac='' value='x'/>"),
       with({.name = "x"})},
      // Only `=`, with white space around it, stands between a key and its value.
      {"KeyRunningIntoItsValue", module_info_document("<attribute id/\"Name\" value=\"x\"/>"),
       MODULE_INFO_FAILS},
      // A `>` or a quote in a key ends the tag or opens a quote where the general
      // reading finds it: here a start tag, then text, then a mismatched end tag.
      {"GreaterThanInKey", module_info_document("<attribute x>y='1' id='Name' value='x'/>"),
       MODULE_INFO_FAILS},
      {"QuoteInKey", module_info_document("<attribute x\"y='1' id='Name' value='x'/>"), MODULE_INFO_FAILS},
      {"LongerTagName", module_info_document("<attributex='1' id='Name' value='x'/>"), with({})},
      // Tags whose names differ from the schema's in their last byte are neither.
      {"FieldTagNameDifferingInItsLastByte", module_info_document("<attributx id='Name' value='x'/>"), with({})},
      {"NodeTagNameDifferingInItsLastByte",
       document("<nodx id='ModuleInfo'>" + attr("Name", "x") + "</nodx>" + node("ModuleInfo", attr("Tags", "t"))),
       with({.tags = "t"})},
      // The first `id` of a node decides: one that names no record makes a
      // container, and nothing after it is examined, not even a malformed key.
      {"NodeIdNamingNoRecordAfterAnotherKey",
       document("<node x=\"1\" id=\"Other\" bad>" + node("ModuleInfo", attr("Name", "x")) + "</node>"),
       with({.name = "x"})},
      {"FieldTagWrittenAsStartTag",
       module_info_document("<attribute id='Name' value='x'></attribute>" + attr("Tags", "t")),
       with({.tags = "t"})},
      {"NodeEndWithWhiteSpace",
       module_info_document(attr("Name", "x") + "</node \n><node>" + attr("Tags", "t")),
       with({.name = "x"})},
  };
}
INSTANTIATE_TEST_SUITE_P(TagForms, Parse, ::testing::ValuesIn(tag_form_cases()), case_name);

std::vector<ParseCase> number_cases() {
  return {
      field("NumPlayersMax", "NumPlayers", "255", with({.num_players = 255})),
      field("NumPlayersBeyondMax", "NumPlayers", "256", MODULE_INFO_FAILS),
      field("NumPlayersMinusZero", "NumPlayers", "-0", MODULE_INFO_FAILS),
      field("NumPlayersLeadingZeros", "NumPlayers", "000255", with({.num_players = 255})),
      field("PublishHandleMax", "PublishHandle", "18446744073709551615",
            with({.publish_handle = 18446744073709551615u})),
      field("PublishHandleBeyondMax", "PublishHandle", "18446744073709551616", MODULE_INFO_FAILS),
      field("PublishHandleMinusOne", "PublishHandle", "-1", MODULE_INFO_FAILS),
      field("PublishHandlePlus", "PublishHandle", "+7", with({.publish_handle = 7})),
      field("Version64MinusOne", "Version64", "-1", with({.version = -1})),
      field("Version64PlusZero", "Version64", "+0", with({})),
      field("Version64Min", "Version64", "-9223372036854775808",
            with({.version = INT64_MIN})),
      field("Version64BelowMin", "Version64", "-9223372036854775809", MODULE_INFO_FAILS),
      field("Version64Max", "Version64", "9223372036854775807", with({.version = INT64_MAX})),
      field("Version64BeyondMax", "Version64", "9223372036854775808", MODULE_INFO_FAILS),
      field("Version64LeadingZeros", "Version64", "-0000000000000000000012",
            with({.version = -12})),
      field("Version64TrimmedFirst", "Version64", " \u3000" "12\t ", with({.version = 12})),
      field("Version64Escaped", "Version64", "&#32;&#45;1&#x32;", with({.version = -12})),
      field("Version64InnerSpace", "Version64", "1 2", MODULE_INFO_FAILS),
      field("Version64Empty", "Version64", "", MODULE_INFO_FAILS),
      field("Version64OnlySpaces", "Version64", "   ", MODULE_INFO_FAILS),
      field("Version64Minus", "Version64", "-", MODULE_INFO_FAILS),
      field("Version64Plus", "Version64", "+", MODULE_INFO_FAILS),
      field("Version64TwoSigns", "Version64", "+-1", MODULE_INFO_FAILS),
      field("Version64HexPrefix", "Version64", "0x10", MODULE_INFO_FAILS),
      field("Version64Separator", "Version64", "1_000", MODULE_INFO_FAILS),
      field("Version64Fraction", "Version64", "1.0", MODULE_INFO_FAILS),
      field("Version64NonAsciiDigit", "Version64", "\u0661", MODULE_INFO_FAILS),
      // Eight bytes are read as digits at once: a ':' among them is none.
      field("Version64ColonAfterSevenDigits", "Version64", "1234567:", MODULE_INFO_FAILS),
      // 10^4 * 2^64 and that plus 5, which wrap to 0 and 5 in 64 bits.
      field("PublishHandleTwentyFourDigitsWrappingToZero", "PublishHandle", "184467440737095516160000",
            MODULE_INFO_FAILS),
      field("PublishHandleTwentyFourDigitsWrappingToFive", "PublishHandle", "184467440737095516160005",
            MODULE_INFO_FAILS),
      field("Version64TwentyFourDigits", "Version64", "-184467440737095516160005", MODULE_INFO_FAILS),
      {"ShortDescBadNumber",
       document(node("ModuleShortDesc", attr("Version64", "x")) + node("ModuleInfo", "")),
       SHORT_DESC_FAILS},
  };
}
INSTANTIATE_TEST_SUITE_P(Numbers, Parse, ::testing::ValuesIn(number_cases()), case_name);

std::vector<ParseCase> structure_cases() {
  return {
      {"SampleDocument",
       test_support::meta_kvt_document(
           {{.id = "Folder", .value = "Mod"},
            {.id = "Version64", .value = "36028797018963968", .type = "int64"}},
           {{{.id = "Name", .value = "A&B"}}, {{.id = "UUID", .value = "u"}}}),
       with({.folder = "Mod", .version = 36028797018963968}, {{.name = "A&B"}, {.uuid = "u"}})},
      // Nested nodes are not nodes of their own: their fields go to the enclosing
      // node and their end tag ends it.
      {"NestedNodeEndsTheNode",
       module_info_document(attr("Version64", "1") + node("Inner", attr("Version64", "2")) +
                            attr("Name", "after")),
       with({.version = 2})},
      {"NestedShortDescNotAdded",
       module_info_document(node("ModuleShortDesc", attr("Name", "dep"))),
       with({.name = "dep"})},
      {"SecondModuleInfoWinsEntirely",
       document(node("ModuleInfo", attr("Name", "a") + attr("Author", "b")) +
                node("ModuleInfo", attr("Name", "c"))),
       with({.name = "c"})},
      {"DependenciesInOrderFromDefaults",
       document(node("ModuleShortDesc", attr("Name", "a") + attr("Version64", "5")) +
                node("ModuleInfo", "") + node("ModuleShortDesc", attr("Folder", "f"))),
       with({}, {{.name = "a", .version = 5}, {.folder = "f"}})},
      {"ModuleInfoTakenAnywhere", "<a><b>" + node("ModuleInfo", attr("Name", "x")) + "</b></a>",
       with({.name = "x"})},
      {"ContainerIdFollowedByJunk",
       document("<node id=\"cont\" junk>" + node("ModuleInfo", attr("Name", "x")) + "</node>"),
       with({.name = "x"})},
      {"LongerNodeName", document("<nodes id=\"ModuleInfo\">" + attr("Name", "x") + "</nodes>"),
       NO_MODULE_INFO},
      {"EscapedNodeId", document(node("Module&#73;nfo", attr("Name", "x"))), with({.name = "x"})},
      // An empty `node` element is no node: its id is never unescaped.
      {"EmptyNodeWithBadId", document("<node id=\"&nbsp;\"/>" + node("ModuleInfo", "")), with({})},
      {"TwoByteKeyIsNoId", document("<node ab=\"ModuleInfo\">" + attr("Name", "x") + "</node>"),
       NO_MODULE_INFO},
      {"NodeWithoutIdIsContainer",
       document("<node><node x=\"1\" id=\"ModuleInfo\">" + attr("Name", "x") + "</node></node>"),
       with({.name = "x"})},
      {"AttributesOutsideNodesIgnored",
       document(attr("Name", "outside") + node("Other", attr("Name", "other")) +
                node("ModuleInfo", "")),
       with({})},
      {"CommentsAndCdataInsideNodeIgnored",
       module_info_document("text<!-- " + attr("Name", "c") + " --><?pi x?><![CDATA[" +
                            attr("Name", "d") + "]]><other/><x></x>" + attr("Tags", "t")),
       with({.tags = "t"})},
      {"PrefixedNodeIsNotANode", "<x:node id=\"ModuleInfo\">" + attr("Name", "x") + "</x:node>",
       NO_MODULE_INFO},
      {"EmptyModuleInfoElementIsNoNode",
       document("<node id=\"ModuleInfo\"/>" + attr("Name", "x")), NO_MODULE_INFO},
      {"LowerCaseModuleInfoIgnored", document(node("moduleinfo", attr("Name", "x"))),
       NO_MODULE_INFO},
      {"LeadingSpaceModuleInfoIgnored", document(node(" ModuleInfo", attr("Name", "x"))),
       NO_MODULE_INFO},
      {"OnlyDependencies", document(node("ModuleShortDesc", "")), NO_MODULE_INFO},
      {"ByteOrderMarkAccepted", "\xEF\xBB\xBF" + module_info_document(attr("Name", "x")),
       with({.name = "x"})},
      // A document without any element ends like an empty one.
      {"EmptyDocument", "", NO_MODULE_INFO},
      {"WhiteSpaceOnly", " \r\n\t", NO_MODULE_INFO},
      {"ByteOrderMarkOnly", "\xEF\xBB\xBF", NO_MODULE_INFO},
      {"DeclarationAndCommentOnly", "<?xml version=\"1.0\"?>\n<!-- nothing -->", NO_MODULE_INFO},
      {"DoctypeWithoutDeclarationsAccepted",
       "<!DOCTYPE save [<!ELEMENT save ANY>]>" + node("ModuleInfo", attr("Name", "x")),
       with({.name = "x"})},
  };
}
INSTANTIATE_TEST_SUITE_P(Structure, Parse, ::testing::ValuesIn(structure_cases()), case_name);

// Positions in the reader's texts are byte offsets in the document.
std::vector<ParseCase> failure_cases() {
  return {
      {"MismatchedTagBeforeNode", document("<a></b>" + node("ModuleInfo", "")),
       mismatch("mismatched end tag: expected </a>, found </b> at byte 94")},
      {"MismatchedTagInsideModuleInfo", module_info_document("<a></b>"), MODULE_INFO_FAILS},
      {"MismatchedTagInsideShortDesc", document(node("ModuleShortDesc", "<a></b>")),
       SHORT_DESC_FAILS},
      {"UndefinedEntityInNodeId", document("<node id=\"&nbsp;\">"),
       mismatch("unknown reference &nbsp; at byte 101")},
      {"UnquotedValueInNodeTag", document("<node id=ModuleInfo>"),
       mismatch("value of attribute 'id' is not in quotes at byte 97")},
      {"DuplicateValueFailsNode",
       module_info_document("<attribute id=\"Name\" value=\"a\" value=\"b\"/>"), MODULE_INFO_FAILS},
      {"DuplicateOtherKeyFailsNode",
       module_info_document("<attribute k=\"\" id=\"Name\" k=\"\" value=\"a\"/>"), MODULE_INFO_FAILS},
      {"FirstFailureStops",
       document(node("ModuleShortDesc", attr("Version64", "x")) + "</bad>"), SHORT_DESC_FAILS},
      {"FailedDependencyFailsDocument",
       document(node("ModuleShortDesc", attr("Version64", "x")) + node("ModuleInfo", "")),
       SHORT_DESC_FAILS},
      {"BareAmpersandInText", "<save>a & b</save>",
       mismatch("'&' in text begins no reference at byte 8")},
      // Nothing in a document type declaration is interpreted: an entity it declares
      // is still an unknown reference.
      {"DeclaredEntityStaysUnknown",
       "<!DOCTYPE save [<!ENTITY e \"x\">]>" + node("ModuleInfo", attr("Name", "&e;")),
       MODULE_INFO_FAILS},
  };
}
INSTANTIATE_TEST_SUITE_P(Failures, Parse, ::testing::ValuesIn(failure_cases()), case_name);

// What hand-edited and tool-written descriptions look like: none of it hides the module.
std::vector<ParseCase> lenient_cases() {
  return {
      {"CommentBeforeDeclaration", "\n<!-- x -->" + module_info_document(attr("Name", "x")),
       with({.name = "x"})},
      {"ExternalDtdLine",
       "<!DOCTYPE save SYSTEM \"meta.dtd\">" + node("ModuleInfo", attr("Name", "x")),
       with({.name = "x"})},
      {"CutInsideModuleInfoKeepsFields",
       cut_before_first(module_info_document(attr("Name", "x") + attr("Tags", "t")), "<attribute id=\"Tags"),
       with({.name = "x"})},
      {"CutAfterModuleInfo", cut_before_first(document(node("ModuleInfo", "")), "</children>"),
       with({})},
      {"NodeWithTwoIds",
       document("<node id=\"ModuleInfo\" id=\"x\">" + attr("Name", "x") + "</node>"),
       with({.name = "x"})},
      {"AttributesOfOtherTagsNotRead", "<a x=\"1\" x=\"2\" y/>" + node("ModuleInfo", ""), with({})},
      {"SecondRootAndText", "text" + module_info_document("") + "<save/>tail", with({})},
      {"ReferenceInText", "<save>&nbsp;" + node("ModuleInfo", "") + "</save>", with({})},
      {"NotUtf8InAnUnreadAttribute",
       module_info_document("<attribute id=\"Name\" type=\"\xFF\" value=\"x\"/>"),
       with({.name = "x"})},
      // Read as bytes, UTF-16 names no node: no silent record of empty fields.
      {"Utf16Document", std::string("\xFF\xFE<\0n\0o\0d\0e\0>\0", 14), NO_MODULE_INFO},
  };
}
INSTANTIATE_TEST_SUITE_P(Lenient, Parse, ::testing::ValuesIn(lenient_cases()), case_name);

}  // namespace
}  // namespace quellan::tarn::pak
