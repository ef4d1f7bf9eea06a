// The XML scanner: each document of the tables is scanned whole and its parts
// written as a trace: a letter for the part type (X prolog, ! comment, ?
// processing instruction, D document type, < start, | empty and / end tag,
// T text, C CDATA), the name, the attributes in the scanner's order with
// "#" and the value kind and "@" and the declared type when not 0, then the
// content in quotes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "level/xmlscan.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

namespace {

std::string Trace(TXmlParser& xml)
{
    std::ostringstream out;
    xml.StartScan();
    for (const char* gap = ""; xml.Scan(); gap = " ") {
        out << gap << " X!?D<|/TC"[xml.CurPartType] << xml.CurName;
        for (int i = 0; i < xml.AttrCount(); ++i) {
            const TAttr& a = xml.CurAttr[i];
            out << (i ? "," : "[") << a.Name << "=" << a.Value;
            if (a.ValueType) out << "#" << a.ValueType;
            if (a.AttrType) out << "@" << a.AttrType;
        }
        if (xml.AttrCount()) out << "]";
        if (!xml.CurContent.empty()) out << "'" << xml.CurContent << "'";
    }
    return out.str();
}

std::string Trace(const std::string& doc, bool normalize = true)
{
    TXmlParser xml;
    xml.Normalize = normalize;
    xml.LoadFromBuffer(doc);
    return Trace(xml);
}

std::string Utf8(const std::string& text)
{
    TXmlParser xml;
    xml.DocEncoding = "UTF-8";
    return xml.ConvertToAnsi(text);
}

// Remembers the declarations it is shown.
class RecordingParser : public TXmlParser {
public:
    std::vector<std::string> declarations;
    void DeclarationHook(TDeclKind kind, const std::string& name, const std::string&) override
    {
        declarations.push_back(std::to_string(kind) + ":" + name);
    }
};

// A DTD of a chain of entities, each naming the next, or each ten times the one before.
std::string Chain(int entities, int copies)
{
    std::string doc = "<!DOCTYPE r [\n<!ENTITY e" + std::to_string(entities) + " 'x'>\n";
    for (int i = entities - 1; i >= 0; --i) {
        doc += "<!ENTITY e" + std::to_string(i) + " '" + (copies == 1 ? std::to_string(i) : "");
        for (int k = 0; k < copies; ++k) doc += "&e" + std::to_string(i + 1) + ";";
        doc += "'>\n";
    }
    return doc + "]>";
}

}  // namespace

TEST(XmlScanner, DocumentsScanIntoTheirParts)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<?xml version=\"1.0\"?><!DOCTYPE root><!-- a comment --><?target some data?><root>text<![CDATA[ <raw> "
         "]]><empty/></root>",
         "X[version=1.0] Droot !' a comment ' ?target[data=,some=]'some data' <root T'text' C' <raw> ' |empty /root"},
        {"<?xml-stylesheet href='s.css'?><a/>", "?xml-stylesheet[href=s.css]'href='s.css'' |a"},
        // A space before the slash still makes an empty tag; whitespace between tags makes no parts.
        {"<a>\n  <b />\n\t<c/><d x='1' />\r\n</a >", "<a |b |c |d[x=1] /a"},
        {"<a>  one \t\r\n two   three </a>", "<a T'one two three' /a"},
        // Attributes in byte order of their names; the newest of equal names first.
        {"<m name='n' ID='5' b='2' a='1' Z='z' _u='u'/>", "|m[ID=5,Z=z,_u=u,a=1,b=2,name=n]"},
        {"<m a='first' b='x' a='second'/>", "|m[a=second,a=first,b=x]"},
        // Value forms: quotes inside quotes, bare values, names without values, white space as spaces.
        {"<m a = \"it's\" b='say \"hi\"' c=bare d='x\ty\nz\r' e/>", "|m[a=it's,b=say \"hi\",c=bare,d=x y z ,e=]"},
        // Attributes stop at a character that cannot start a name; names may start in the upper half.
        {"<m a='1' 9b='2' c='3'>", "<m[a=1]"},
        {"<m \xE9t\xE9='summer' \xD7x='no'/>", "<m[\xE9t\xE9=summer]"},
        // A NUL ends the document; a byte order mark is skipped.
        {std::string("<a/>\0<b/>", 9), "|a"},
        {"\xEF\xBB\xBF<?xml version='1.0'?><a/>", "X[version=1.0] |a"},
        // Unterminated constructs end at the end of the buffer.
        {"<a b='unterminated", "<a[b=unterminated]"},
        {"<!-- open", "!' open'"},
        {"<![CDATA[ open", "C' open'"},
        {"<?pi open", "?pi[open=]'open'"},
        {"<a>text &amp", "<a T'text amp'"},
        {"<", "<"},
        {"&#", "T'#'"},
        {"<a>x&#12a;y&#xZZ;z&#;w</a>", "<a T'x y z w' /a"},  // digits that form no number give a space
        // References in text and attributes.
        {"<a>&lt;b&gt; &amp; &apos;c&apos; &quot;d&quot;</a>", "<a T'<b> & 'c' \"d\"' /a"},
        {"<t v='&lt;&gt;&amp;&apos;&quot;'/>", "|t[v=<>&'\"]"},
        {"<a>&#65;&#x42;&#X43;&#xe9;&#233;&#8364;&#x4E2D;</a>", "<a T'ABC\xE9\xE9\x80\xBF' /a"},
        {"<t v='&#65;&#x62;&#233;|a&#1b;c&#xG;d'/>", std::string("|t[v=Ab\xE9|a c\0d]", 15)},
        {"<a>fish & chips</a>", "<a T'fish chips' /a"},
        {"<a>&unknown;x&amp;#60;</a>", "<a T'unknownx&#60;' /a"},
        {"<t v='fish & chips &unknown;x &amp;#60;'/>", "|t[v=fish & chips &unknown;x &#60;]"},
        // Internal entities are scanned in place; nested ones and those in attributes expand.
        {"<!DOCTYPE r [ <!ENTITY who 'World'> <!ENTITY frag '<b>bold</b>'> ]><r>Hello &who;!&frag;</r>",
         "Dr <r T'Hello' T'World' T'!' <b T'bold' /b /r"},
        {"<!DOCTYPE r [ <!ENTITY inner 'deep'> <!ENTITY outer 'very &inner; &amp; far'> ]><r><t "
         "v='[&outer;]'/>&outer;</r>",
         "Dr <r |t[v=[very deep & far]] T'very' T'deep' T'& far' /r"},
        {"<!DOCTYPE r [ <!ENTITY a 'x&a;y'> <!ENTITY b 'B&c;'> <!ENTITY c 'C&b;'> ]><r><t v='&a;|&b;'/>&a;</r>",
         "Dr <r |t[v=x&a;y|BC&b;] T'xay' /r"},
        {"<!DOCTYPE r [ <!NOTATION gif SYSTEM 'v'> <!ENTITY pic SYSTEM 'p.gif' NDATA gif> ]><r><t v='&pic;'/></r>",
         "Dr <r |t[v=&pic;] /r"},
        {"<!DOCTYPE r [ <!ENTITY e 'first'> <!ENTITY e 'second'> <!ATTLIST t v CDATA 'one'> <!ATTLIST t v CDATA 'two'> "
         "]><r><t/>&e;</r>",
         "Dr <r |t[v=one#3@1] T'first' /r"},
        // Declared defaults: added, implied, fixed; tokenised types collapse, CDATA only spaces its white space.
        {"<!DOCTYPE r [ <!ATTLIST t d CDATA 'dflt' i CDATA #IMPLIED f CDATA #FIXED 'fixed' r CDATA #REQUIRED n "
         "NMTOKENS #IMPLIED> ]>"
         "<r><t i='given' f='other' n='  a \t b  ' w=' a \t b '/><t r='x'></t></r>",
         "Dr <r |t[d=dflt#3@1,f=fixed#2@1,i=given#1@1,n=a b#1@8,w= a   b ] <t[d=dflt#3@1,f=fixed#3@1,r=x@1] /t /r"},
        // Parameter entities expand inside the subset; a self-reference stops.
        {"<!DOCTYPE r [ <!ENTITY % type 'CDATA'> <!ENTITY % decls \"<!ENTITY fromPe 'pe text'> <!ATTLIST t v %type; "
         "'from pe'>\">"
         " %decls; <!ENTITY % loop '%loop;'> %loop; ]><r><t/>&fromPe;</r>",
         "Dr <r |t[v=from pe#3@1] T'pe text' /r"},
        // Malformed declarations are skipped.
        {"<!DOCTYPE r [ <!ATTLIST> <!ATTLIST t> <!ATTLIST t v> <!ATTLIST t v CDATA> <!ENTITY> <!ENTITY % > ]><r/>",
         "Dr |r"},
        {"<!DOCTYPE r [ <!ENTITY e SYSTEM> <!ENTITY f BOGUS 'x'> <!NOTATION> <!ELEMENT> %undeclared; % ; ]><r/>",
         "Dr |r"},
        {"<!DOCTYPE r [ <!ATTLIST t v (a|b #IMPLIED> <![INCLUDE[ <!ENTITY x 'y'> ]]> junk ]><r/>", "Dr |r"},
        // Text in UTF-8 documents (a prolog without an encoding means UTF-8) becomes single bytes.
        {"<?xml version='1.0'?><t v='B\xC3\xA9'>\xC3\xA9t\xC3\xA9<![CDATA[\xC3\xA9 <&>]]></t>",
         "X[version=1.0] <t[v=B\xE9] T'\xE9t\xE9' C'\xE9 <&>' /t"},
        {"<?xml version='1.0' encoding='UTF-8'?><t v='\xE2\x82\xAC&#8364;'>\xE2\x82\xAC</t>",
         "X[encoding=UTF-8,version=1.0] <t[v=\x80\x80] T'\x80' /t"},
        {"<t v='B\xC3\xA9'>\xC3\xA9</t>", "<t[v=B\xC3\xA9] T'\xC3\xA9' /t"},
        {"<?xml version='1.0' encoding='windows-1252'?><t v='\xE9'>\xE9</t>",
         "X[encoding=windows-1252,version=1.0] <t[v=\xE9] T'\xE9' /t"},
    };
    for (const auto& [doc, trace] : cases) EXPECT_EQ(Trace(doc), trace) << doc;
    EXPECT_EQ(Trace("<root>\n  <a>\n\t<b/>\r\n  </a>\n</root>\n", false),
              "<root T'\n  ' <a T'\n\t' |b T'\r\n  ' /a T'\n' /root T'\n'");
    EXPECT_EQ(Trace("<a>  one \t two </a>", false), "<a T'  one \t two ' /a");
}

TEST(XmlScanner, PartPositionsPrologAndRestarts)
{
    TXmlParser xml;
    EXPECT_FALSE(xml.Scan());
    xml.LoadFromBuffer("<a x='1'>hi</a><!--c-->");
    std::vector<std::pair<size_t, size_t>> spans;
    while (xml.Scan()) spans.emplace_back(xml.CurStart, xml.CurFinal);
    EXPECT_EQ(spans, (std::vector<std::pair<size_t, size_t>>{{0, 8}, {9, 10}, {11, 14}, {15, 22}}));
    EXPECT_EQ(xml.DocSize(), 24u);
    EXPECT_FALSE(xml.Scan());  // stays at the end
    EXPECT_EQ(xml.CurPartType, ptNone);
    xml.StartScan();
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurName, "a");

    xml.LoadFromBuffer("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><a/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(std::tie(xml.XmlVersion, xml.Encoding, xml.DocEncoding),
              std::make_tuple("1.0", "ISO-8859-1", "ISO-8859-1"));
    EXPECT_TRUE(xml.Standalone);
    xml.LoadFromBuffer("<?xml version='1.0'?><a/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(std::tie(xml.Encoding, xml.DocEncoding), std::make_tuple("", "UTF-8"));
    EXPECT_FALSE(xml.Standalone);
    xml.LoadFromBuffer("<a/>");
    Trace(xml);
    EXPECT_EQ(xml.DocEncoding, "");
}

TEST(XmlScanner, Utf8TextBecomesCodePage1252)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain ascii", "plain ascii"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xC2\xA0\xC3\xBF", "\xA0\xFF"},
        {"\xE2\x82\xAC", "\x80"},
        {"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},
        {"\xC5\xA0\xC5\xBD\xC5\xB8", "\x8A\x8E\x9F"},
        {"\xE2\x84\xA2", "\x99"},
        // No byte for the code: the default character; the five undefined bytes stand for themselves.
        {"\xE4\xB8\xAD", "\xBF"},
        {"\xCE\xA9", "\xBF"},
        {"\xC2\x80", "\xBF"},
        {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", "\x81\x8D\x8F\x90\x9D"},
        // Broken sequences give one default character each.
        {"a\x80z", "a\xBFz"},
        {"a\xF0\x9F\x98\x80z", "a\xBFz"},
        {"a\xC3", "a\xBF"},
        {"a\xE2\x82", "a\xBF"},
        {"\xC3z", "\xBFz"},
        {"\xE2\x82z", "\xBFz"},
        {"\xFF\xFE", "\xBF\xBF"},
        {std::string("\xC3\0x", 3), std::string("\xBF\0x", 3)},
    };
    for (const auto& [utf8, ansi] : cases) EXPECT_EQ(Utf8(utf8), ansi) << utf8;
    TXmlParser xml;
    EXPECT_EQ(xml.ConvertToAnsi("caf\xC3\xA9"), "caf\xC3\xA9");  // no encoding yet
    xml.DocEncoding = "utf-8";
    EXPECT_EQ(xml.ConvertToAnsi("caf\xC3\xA9"), "caf\xE9");  // encoding names ignore case
}

TEST(XmlScanner, DeclarationsAreRecordedAndTheFirstIsBinding)
{
    RecordingParser xml;
    xml.LoadFromBuffer(
        "<!DOCTYPE catalog SYSTEM 'catalog.dtd' [\n  <!-- a comment with <!ELEMENT fake ANY> inside -->\n"
        "  <!ELEMENT catalog (game)*> <!ELEMENT game ANY> <!ATTLIST game id CDATA #REQUIRED kind (a|b) 'a'>\n"
        "  <!ENTITY % pe 'x'> <!ENTITY e \"it's > here\"> <!NOTATION n PUBLIC 'pub'> <?pi inside?>\n"
        "  <!ENTITY pic SYSTEM 'p.gif' NDATA gif> <!ENTITY word PUBLIC '-//x//y' 'word.txt'>]><catalog/>");
    EXPECT_EQ(Trace(xml), "Dcatalog |catalog");
    EXPECT_EQ(xml.RootName, "catalog");
    EXPECT_EQ(xml.declarations,
              (std::vector<std::string>{"0:catalog", "0:game", "1:game", "3:pe", "2:e", "4:n", "2:pic", "2:word"}));
    EXPECT_EQ(xml.Elements.at("catalog").Definition, "(game)*");
    EXPECT_EQ(xml.Elements.count("fake"), 0u);
    const TAttrDef& kind = xml.Elements.at("game").AttrDefs.at("kind");
    EXPECT_EQ(std::tie(kind.AttrType, kind.TypeDef, kind.DefaultType, kind.Value),
              std::make_tuple(atEnumeration, "(a|b)", adValue, "a"));
    EXPECT_EQ(xml.Elements.at("game").AttrDefs.at("id").DefaultType, adRequired);
    EXPECT_EQ(std::tie(xml.Entities.at("e").Value, xml.ParEntities.at("pe").Value, xml.Notations.at("n").PublicId),
              std::make_tuple("it's > here", "x", "pub"));
    EXPECT_EQ(std::tie(xml.Entities.at("pic").NotationName, xml.Entities.at("word").PublicId),
              std::make_tuple("gif", "-//x//y"));
    EXPECT_TRUE(xml.Entities.at("word").External);
    // Lists stay sorted by name, the newest of equal names first.
    TAttrList list;
    for (const char* name : {"b", "a", "b"}) list.Add({name, std::to_string(list.Count())});
    EXPECT_EQ((std::vector<std::string>{list.Value(0), list.Value(1), list.Value(2)}),
              (std::vector<std::string>{"1", "2", "0"}));
}

TEST(XmlScanner, ExpansionIsBoundedInDepthAndSize)
{
    // A chain of 40 entities: past the depth bound a reference stays as its name.
    std::string chain, value;
    for (int i = 0; i < XML_MAX_ENTITY_DEPTH; ++i) {
        chain += "T'" + std::to_string(i) + "' ";
        value += std::to_string(i);
    }
    chain.replace(chain.size() - 2, 1, "e" + std::to_string(XML_MAX_ENTITY_DEPTH) + "'");
    EXPECT_EQ(Trace(Chain(40, 1) + "<r>&e0;</r>"), "Dr <r " + chain + "/r");
    EXPECT_EQ(Trace(Chain(40, 1) + "<r><t v='&e0;'/></r>"),
              "Dr <r |t[v=" + value + "&e" + std::to_string(XML_MAX_ENTITY_DEPTH) + ";] /r");
    // Ten levels of ten copies each would give 10^10 bytes, in a value or in text.
    TXmlParser xml;
    xml.LoadFromBuffer(Chain(10, 10) + "<t v='&e0;'/>");
    ASSERT_TRUE(xml.Scan()) << "the document type";
    ASSERT_TRUE(xml.Scan()) << "the tag";
    EXPECT_THAT(xml.AttrValue("v").size(), testing::AllOf(testing::Gt(1000u), testing::Le(XML_MAX_ENTITY_EXPANSION)));
    xml.LoadFromBuffer(Chain(10, 10) + "<r>&e0;</r>");
    size_t text = 0, parts = 0, deepest = 0;
    while (xml.Scan()) {
        deepest = std::max(deepest, xml.EntityDepth());
        if (xml.CurPartType != ptContent) continue;
        text += xml.CurContent.size();
        ++parts;
    }
    EXPECT_LE(text, XML_MAX_ENTITY_EXPANSION);
    EXPECT_GT(parts, 1000u);
    EXPECT_LE(deepest, 11u);
    // 2000 declared defaults of 100 bytes on 1000 tags would add 200 MB.
    std::string doc = "<!DOCTYPE r [ <!ATTLIST t";
    for (int i = 0; i < 2000; ++i) doc += " a" + std::to_string(i) + " CDATA '" + std::string(100, 'v') + "'";
    doc += "> ]><r>";
    for (int i = 0; i < 1000; ++i) doc += "<t/>";
    xml.LoadFromBuffer(doc + "</r>");
    size_t added = 0, tags = 0;
    while (xml.Scan()) {
        if (xml.CurPartType != ptEmptyTag) continue;
        if (++tags == 1) {
            EXPECT_EQ(std::make_tuple(xml.AttrCount(), xml.AttrName(2)), std::make_tuple(2000, std::string("a10")));
        }
        for (int i = 0; i < xml.AttrCount(); ++i) added += xml.AttrName(i).size() + xml.AttrValue(i).size();
    }
    EXPECT_EQ(tags, 1000u);
    EXPECT_THAT(added,
                testing::AllOf(testing::Gt(XML_MAX_ENTITY_EXPANSION / 2), testing::Le(XML_MAX_ENTITY_EXPANSION)));
}

TEST(XmlScanner, FilesAndExternalEntities)
{
    TempDir dir;
    const std::string big(XML_MAX_ENTITY_EXPANSION + 1, 'x');
    WriteFileBytes(dir.file("big.txt"), big.data(), big.size());
    WriteFileBytes(dir.file("part.xml"), "<x>from file</x>", 16);
    WriteFileBytes(dir.file("word.txt"), "word", 4);
    // Relative to the document or absolute; a missing file or one beyond the expansion bound gives no text.
    const std::string doc =
        "<?xml version='1.0'?><!DOCTYPE r [ <!ENTITY part SYSTEM 'part.xml'> <!ENTITY word PUBLIC '-//x//y' 'word.txt'>"
        " <!ENTITY gone SYSTEM 'missing.xml'> <!ENTITY big SYSTEM 'big.txt'> <!ENTITY abs SYSTEM '" +
        dir.file("word.txt") + "'> ]>\n<r><t v='&word;+&abs;+&gone;+[&big;]'/>&part;[&gone;][&big;]</r>";
    WriteFileBytes(dir.file("doc.xml"), doc.data(), doc.size());
    const int savedMode = FileMode;
    TXmlParser xml;
    ASSERT_TRUE(xml.LoadFromFile(dir.file("doc.xml"), 0x40));
    EXPECT_EQ(FileMode, savedMode);  // the mode is restored
    EXPECT_EQ(xml.Source, dir.file("doc.xml"));
    EXPECT_EQ(xml.DocSize(), doc.size() + 1);
    EXPECT_EQ(Trace(xml), "X[version=1.0] Dr <r |t[v=word+word++[]] <x T'from file' /x T'[][]' /r");
    // A document of the largest size is read; one byte more and it is not.
    const std::string blanks(XML_MAX_DOCUMENT_SIZE - 8, ' ');
    const std::string largest = "<r>x" + blanks + "</r>", larger = "<r>x " + blanks + "</r>";
    ASSERT_EQ(largest.size(), XML_MAX_DOCUMENT_SIZE);
    WriteFileBytes(dir.file("largest.xml"), largest.data(), largest.size());
    ASSERT_TRUE(xml.LoadFromFile(dir.file("largest.xml"), fmOpenRead));
    EXPECT_EQ(Trace(xml), "<r T'x' /r");
    WriteFileBytes(dir.file("larger.xml"), larger.data(), larger.size());
    EXPECT_FALSE(xml.LoadFromFile(dir.file("larger.xml"), fmOpenRead));
    // Missing files, folders and pipes are no documents, and the pipe does not block.
    EXPECT_FALSE(xml.LoadFromFile(dir.file("missing.xml"), fmOpenRead));
    EXPECT_EQ(std::make_tuple(xml.DocSize(), xml.Source, xml.Scan()), std::make_tuple(size_t(0), std::string(), false));
    EXPECT_FALSE(xml.LoadFromFile(dir.path(), fmOpenRead));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(xml.LoadFromFile(dir.file("pipe"), fmOpenRead));
    // The open mode is honoured.
    ASSERT_EQ(::chmod(dir.file("word.txt").c_str(), 0400), 0);
    EXPECT_TRUE(xml.LoadFromFile(dir.file("word.txt"), fmOpenRead));
    const bool superuser = ::geteuid() == 0;  // who may write to it anyway
    if (!superuser) { EXPECT_FALSE(xml.LoadFromFile(dir.file("word.txt"), fmOpenReadWrite)); }
    EXPECT_FALSE(xml.LoadFromFile(dir.file("word.txt"), fmOpenWrite));
}

// Attributes are listed by name in byte order, the newest of equal names
// first, whatever their lengths and however many a tag holds: names that
// share their first eight bytes, names that begin others, bytes above 127,
// and thousands of attributes in one tag.
TEST(XmlScanner, AttributesInNameOrderHoweverManyATagHolds)
{
    std::vector<std::string> names = {"abcdefghij", "abcdefghi", "abcdefgh", "abcdefgi", "abcdefghij", "b", "B", "b",
                                      "\xC3\xA9",   "\xC3",      "abcdefg",  "_x",       "abcdefghiJ", "a", "b"};
    for (int i = 0; i < 3000; ++i) {
        std::string name = "n";
        name += std::to_string((i * 7919) % 1000);
        names.push_back(name);
    }
    std::string tag = "<t";
    std::vector<std::pair<std::string, std::string>> expected;
    for (size_t i = 0; i < names.size(); ++i) {
        tag += " " + names[i] + "='" + std::to_string(i) + "'";
        expected.emplace_back(names[i], std::to_string(i));
    }
    // As adding them one by one puts them: newest of equal names first.
    std::reverse(expected.begin(), expected.end());
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    TXmlParser xml;
    xml.LoadFromBuffer(tag + "/>");
    ASSERT_TRUE(xml.Scan());
    std::vector<std::pair<std::string, std::string>> actual;
    for (int i = 0; i < xml.AttrCount(); ++i) actual.emplace_back(xml.AttrName(i), xml.AttrValue(i));
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(xml.AttrValue("b"), "14");
}

// Every reference opens its entity and every end of an entity goes back to
// where it was referenced: thousands of references to an empty entity, in
// text and in a value, give what each would give alone.
TEST(XmlScanner, ManyReferencesToAnEmptyEntity)
{
    constexpr int kReferences = 20000;
    std::string text, value;
    for (int i = 0; i < kReferences; ++i) {
        text += "a&e;";
        value += "&e;b";
    }
    TXmlParser xml;
    xml.LoadFromBuffer("<!DOCTYPE r [<!ENTITY e ''>]><r v='" + value + "'>" + text + "</r>");
    ASSERT_TRUE(xml.Scan());
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.AttrValue("v"), std::string(kReferences, 'b'));
    size_t parts = 0, letters = 0, ends = 0;
    while (xml.Scan()) {
        if (xml.CurPartType == ptContent) {
            ++parts;
            letters += xml.CurContent == "a";
        }
        ends += xml.CurPartType == ptEndTag;
    }
    EXPECT_EQ(std::make_tuple(parts, letters, ends), std::make_tuple(size_t(kReferences), size_t(kReferences), 1u));
}

// What the declarations make the scanner produce counts toward the same
// bound as entity text: fixed values copied onto tags, and parameter
// entities too large for it, however often they are named.
TEST(XmlScanner, DeclaredValuesCountTowardTheExpansionBound)
{
    const size_t fixedSize = XML_MAX_ENTITY_EXPANSION / 16;
    std::string doc =
        "<!DOCTYPE r [<!ATTLIST t x CDATA #FIXED '" + std::string(fixedSize, 'f') + "' y CDATA #IMPLIED>]><r>";
    for (int i = 0; i < 40; ++i) doc += "<t x='w' y='i'/>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc + "</r>");
    std::vector<std::string> tags;
    while (xml.Scan()) {
        if (xml.CurPartType != ptEmptyTag) continue;
        const TAttr& x = xml.CurAttr[0];
        tags.push_back((x.Value.size() == fixedSize ? "fixed" : x.Value) + "#" + std::to_string(x.ValueType) + "," +
                       xml.AttrValue("y") + "#" + std::to_string(xml.CurAttr[1].ValueType));
    }
    // Sixteen copies fill the bound; the later tags keep the value as written.
    std::vector<std::string> expected(16, "fixed#2,i#1");
    expected.resize(40, "w#0,i#1");
    EXPECT_EQ(tags, expected);

    // A parameter entity larger than the bound declares nothing, however
    // often it is named; the declarations around it stay.
    const std::string big = "<!ENTITY lost 'x'>" + std::string(XML_MAX_ENTITY_EXPANSION, ' ');
    std::string subset = "<!ENTITY % big '" + big + "'> <!ENTITY % small '<!ENTITY kept \"k\">'>";
    for (int i = 0; i < 2000; ++i) subset += " %big;";
    EXPECT_EQ(Trace("<!DOCTYPE r [" + subset + " %small; ]><r>&kept;&lost;</r>"), "Dr <r T'k' T'lost' /r");
}

// Opening an external entity costs far more than its reference: every
// opening counts toward the bound, whether the file is there or not and
// whatever it holds, so a document cannot make the scanner open files
// without end.
TEST(XmlScanner, OpeningsOfExternalEntitiesCountTowardTheBound)
{
    TempDir dir;
    WriteFileBytes(dir.file("word.txt"), "word", 4);
    std::string refs;
    for (int i = 0; i < 400; ++i) refs += "&word;&gone;";
    const std::string doc =
        "<!DOCTYPE r [<!ENTITY word SYSTEM 'word.txt'> <!ENTITY gone SYSTEM 'gone.txt'>]><t v='" + refs + "'/>";
    WriteFileBytes(dir.file("doc.xml"), doc.data(), doc.size());
    TXmlParser xml;
    ASSERT_TRUE(xml.LoadFromFile(dir.file("doc.xml"), fmOpenRead));
    ASSERT_TRUE(xml.Scan());
    ASSERT_TRUE(xml.Scan());
    const size_t opening = XML_ENTITY_OPENING_COST + dir.file("doc.xml").size() + 8;
    const size_t pairs = XML_MAX_ENTITY_EXPANSION / (2 * opening + 4);
    const size_t words = pairs + (XML_MAX_ENTITY_EXPANSION - pairs * (2 * opening + 4) >= opening + 4 ? 1 : 0);
    std::string expected;
    for (size_t i = 0; i < words; ++i) expected += "word";
    EXPECT_EQ(xml.AttrValue("v"), expected);
    EXPECT_LT(words, 400u);
}
