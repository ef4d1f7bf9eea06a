#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "level/xmlscan.h"
#include "support/temp_dir.h"

namespace {

// Text content of a document, one string per content part.
std::vector<std::string> Texts(TXmlParser& xml)
{
    std::vector<std::string> texts;
    xml.StartScan();
    while (xml.Scan())
        if (xml.CurPartType == ptContent) texts.push_back(xml.CurContent);
    return texts;
}

std::vector<std::string> Texts(const std::string& doc)
{
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    return Texts(xml);
}

std::string AllText(const std::string& doc)
{
    std::string all;
    for (const auto& t : Texts(doc)) all += t;
    return all;
}

// The value of attribute "v" of the first start or empty tag named "t".
std::string AttrOfT(TXmlParser& xml, const std::string& attr = "v")
{
    xml.StartScan();
    while (xml.Scan())
        if ((xml.CurPartType == ptEmptyTag || xml.CurPartType == ptStartTag) && xml.CurName == "t")
            return xml.AttrValue(attr);
    return "<no tag>";
}

std::string AttrOfT(const std::string& doc, const std::string& attr = "v")
{
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    return AttrOfT(xml, attr);
}

const TAttr* FindAttr(TXmlParser& xml, const std::string& name)
{
    xml.StartScan();
    while (xml.Scan())
        if (xml.CurName == "t" && xml.CurPartType != ptEndTag) return xml.CurAttr.Find(name);
    return nullptr;
}

// Remembers the declarations it is shown and serves external entities from memory.
class RecordingParser : public TXmlParser {
public:
    std::vector<std::string> declarations;
    std::vector<std::string> opened;
    TEntityBuffer OpenExternalEntity(const std::string& parent, const std::string& pub,
                                     const std::string& sys) override
    {
        opened.push_back(sys);
        return TXmlParser::OpenExternalEntity(parent, pub, sys);
    }
    void DeclarationHook(TDeclKind kind, const std::string& name, const std::string&) override
    {
        declarations.push_back(std::to_string(kind) + ":" + name);
    }
};

}  // namespace

TEST(XmlReferences, PredefinedEntitiesInTextAndAttributes)
{
    EXPECT_EQ(AllText("<a>&lt;b&gt; &amp; &apos;c&apos; &quot;d&quot;</a>"), "<b> & 'c' \"d\"");
    EXPECT_EQ(AttrOfT("<t v='&lt;&gt;&amp;&apos;&quot;'/>"), "<>&'\"");
}

TEST(XmlReferences, CharacterReferences)
{
    EXPECT_EQ(AllText("<a>&#65;&#x42;&#X43;</a>"), "ABC");
    EXPECT_EQ(AllText("<a>x&#233;y</a>"), "x\xE9y");
    EXPECT_EQ(AllText("<a>x&#8364;y</a>"), "x\x80y");  // the euro sign has a byte of its own
    EXPECT_EQ(AllText("<a>x&#x4E2D;y</a>"), "x\xBFy");  // no byte for it: the default character
    // Digits that do not form a number give a space.
    TXmlParser raw;
    raw.Normalize = false;
    raw.LoadFromBuffer("<a>x&#12a;y&#xZZ;z&#;w</a>");
    EXPECT_EQ(Texts(raw), (std::vector<std::string>{"x y z w"}));

    EXPECT_EQ(AttrOfT("<t v='&#65;&#x42;&#233;'/>"), "AB\xE9");
    // In attributes a bad decimal reference gives a space, a bad hexadecimal one byte 0.
    EXPECT_EQ(AttrOfT("<t v='a&#1b;c&#xG;d'/>"), std::string("a c\0d", 5));
}

TEST(XmlReferences, ReferencesWithoutSemicolonOrName)
{
    EXPECT_EQ(AllText("<a>fish & chips</a>"), "fish chips");  // the "&" is dropped
    EXPECT_EQ(AllText("<a>&unknown;x</a>"), "unknownx");      // an undeclared name is kept
    EXPECT_EQ(AttrOfT("<t v='fish & chips'/>"), "fish & chips");
    EXPECT_EQ(AttrOfT("<t v='&unknown;x'/>"), "&unknown;x");
}

TEST(XmlReferences, ReplacementTextIsNotReadTwice)
{
    // "&amp;#60;" is the text "&#60;", not a character reference.
    EXPECT_EQ(AllText("<a>&amp;#60;</a>"), "&#60;");
    EXPECT_EQ(AttrOfT("<t v='&amp;#60;'/>"), "&#60;");
}

TEST(XmlEntities, InternalEntityInTextIsScannedInPlace)
{
    TXmlParser xml;
    xml.LoadFromBuffer(
        "<!DOCTYPE r [ <!ENTITY who 'World'> <!ENTITY frag '<b>bold</b>'> ]>"
        "<r>Hello &who;!&frag;</r>");
    std::vector<std::string> seen;
    while (xml.Scan()) seen.push_back(std::to_string(xml.CurPartType) + ":" + xml.CurName + xml.CurContent);
    EXPECT_EQ(seen, (std::vector<std::string>{"4:r", "5:r", "8:Hello", "8:World", "8:!", "5:b", "8:bold", "7:b",
                                              "7:r"}));
    EXPECT_EQ(xml.EntityDepth(), 0u);
}

TEST(XmlEntities, NestedEntitiesAndEntitiesInAttributes)
{
    const std::string doc =
        "<!DOCTYPE r [\n"
        "  <!ENTITY inner 'deep'>\n"
        "  <!ENTITY outer 'very &inner; &amp; far'>\n"
        "]>\n"
        "<r><t v='[&outer;]'/>&outer;</r>";
    EXPECT_EQ(AttrOfT(doc), "[very deep & far]");
    EXPECT_EQ(AllText(doc), "verydeep& far");
}

TEST(XmlEntities, SelfReferenceIsNotExpandedAgain)
{
    const std::string doc =
        "<!DOCTYPE r [ <!ENTITY a 'x&a;y'> <!ENTITY b 'B&c;'> <!ENTITY c 'C&b;'> ]>"
        "<r><t v='&a;|&b;'/>&a;</r>";
    EXPECT_EQ(AttrOfT(doc), "x&a;y|BC&b;");
    EXPECT_EQ(AllText(doc), "xay");
}

TEST(XmlEntities, ExponentialExpansionIsBounded)
{
    // Each level multiplies the text by ten: ten levels would give 10^10 bytes.
    std::string doc = "<!DOCTYPE r [\n<!ENTITY l0 'laugh'>\n";
    for (int i = 1; i <= 10; ++i) {
        doc += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) doc += "&l" + std::to_string(i - 1) + ";";
        doc += "'>\n";
    }
    const std::string v = AttrOfT(doc + "]>\n<r><t v='&l10;'/></r>");
    EXPECT_LE(v.size(), XML_MAX_ENTITY_EXPANSION);
    EXPECT_GT(v.size(), 1000u);

    TXmlParser xml;
    xml.LoadFromBuffer(doc + "]>\n<r>&l10;</r>");
    size_t text = 0;
    size_t parts = 0;
    size_t deepest = 0;
    while (xml.Scan()) {
        deepest = std::max(deepest, xml.EntityDepth());
        if (xml.CurPartType == ptContent) text += xml.CurContent.size(), ++parts;
    }
    EXPECT_LE(deepest, 11u);
    EXPECT_LE(text, XML_MAX_ENTITY_EXPANSION);
    EXPECT_GT(parts, 1000u);
}

TEST(XmlEntities, DepthIsBounded)
{
    // A chain of 40 entities, each naming the next.
    std::string doc = "<!DOCTYPE r [\n";
    for (int i = 0; i < 40; ++i)
        doc += "<!ENTITY e" + std::to_string(i) + " '" + std::to_string(i) + "&e" + std::to_string(i + 1) + ";'>\n";
    doc += "]><r>&e0;</r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    size_t deepest = 0;
    std::string all;
    while (xml.Scan()) {
        deepest = std::max(deepest, xml.EntityDepth());
        if (xml.CurPartType == ptContent) all += xml.CurContent + ",";
    }
    EXPECT_EQ(deepest, static_cast<size_t>(XML_MAX_ENTITY_DEPTH));
    // Past the bound a reference stays as its name.
    std::string expected;
    for (int i = 0; i < XML_MAX_ENTITY_DEPTH - 1; ++i) expected += std::to_string(i) + ",";
    expected += std::to_string(XML_MAX_ENTITY_DEPTH - 1) + "e" + std::to_string(XML_MAX_ENTITY_DEPTH) + ",";
    EXPECT_EQ(all, expected);

    // The same bound holds inside attribute values.
    std::string attrDoc = doc;
    attrDoc.replace(attrDoc.find("<r>&e0;"), 7, "<r><t v='&e0;'/>");
    std::string expectedValue;
    for (int i = 0; i < XML_MAX_ENTITY_DEPTH; ++i) expectedValue += std::to_string(i);
    expectedValue += "&e" + std::to_string(XML_MAX_ENTITY_DEPTH) + ";";
    EXPECT_EQ(AttrOfT(attrDoc), expectedValue);
}

TEST(XmlEntities, ExternalEntitiesAreReadRelativeToTheDocument)
{
    TempDir dir;
    WriteFileBytes(dir.file("part.xml"), std::string("<x>from file</x>").data(), 16);
    WriteFileBytes(dir.file("word.txt"), std::string("word").data(), 4);
    const std::string doc =
        "<!DOCTYPE r [ <!ENTITY part SYSTEM 'part.xml'> <!ENTITY word PUBLIC '-//x//y' 'word.txt'>"
        " <!ENTITY gone SYSTEM 'missing.xml'> <!ENTITY abs SYSTEM '" +
        dir.file("word.txt") + "'> ]>\n<r><t v='&word;+&abs;+&gone;'/>&part;[&gone;]</r>";
    WriteFileBytes(dir.file("doc.xml"), doc.data(), doc.size());
    RecordingParser xml;
    ASSERT_TRUE(xml.LoadFromFile(dir.file("doc.xml"), 0x40));
    EXPECT_EQ(AttrOfT(xml), "word+word+");  // a missing file gives no text
    EXPECT_EQ(Texts(xml), (std::vector<std::string>{"from file", "[]"}));
    EXPECT_EQ(xml.Entities.at("word").PublicId, "-//x//y");
    EXPECT_TRUE(xml.Entities.at("part").External);
    EXPECT_FALSE(xml.opened.empty());
}

TEST(XmlEntities, ExternalEntityBeyondTheExpansionBoundIsNotRead)
{
    TempDir dir;
    const std::string big(XML_MAX_ENTITY_EXPANSION + 1, 'x');
    WriteFileBytes(dir.file("big.txt"), big.data(), big.size());
    const std::string doc = "<!DOCTYPE r [ <!ENTITY big SYSTEM 'big.txt'> ]><r><t v='[&big;]'/>[&big;]</r>";
    WriteFileBytes(dir.file("doc.xml"), doc.data(), doc.size());
    TXmlParser xml;
    ASSERT_TRUE(xml.LoadFromFile(dir.file("doc.xml"), 0x40));
    EXPECT_EQ(AttrOfT(xml), "[]");
    EXPECT_EQ(Texts(xml), (std::vector<std::string>{"[]"}));
}

TEST(XmlEntities, UnparsedEntitiesAreNotExpanded)
{
    const std::string doc =
        "<!DOCTYPE r [ <!NOTATION gif SYSTEM 'viewer'> <!ENTITY pic SYSTEM 'p.gif' NDATA gif> ]>"
        "<r><t v='&pic;'/></r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    EXPECT_EQ(AttrOfT(xml), "&pic;");
    EXPECT_EQ(xml.Entities.at("pic").NotationName, "gif");
    EXPECT_EQ(xml.Notations.at("gif").SystemId, "viewer");
}

TEST(XmlDoctype, DeclarationsAreRecorded)
{
    RecordingParser xml;
    xml.LoadFromBuffer(
        "<?xml version='1.0'?>\n"
        "<!DOCTYPE catalog SYSTEM 'catalog.dtd' [\n"
        "  <!-- a comment with <!ELEMENT fake ANY> inside -->\n"
        "  <!ELEMENT catalog (game)*>\n"
        "  <!ELEMENT game ANY>\n"
        "  <!ATTLIST game id CDATA #REQUIRED kind (a|b) 'a'>\n"
        "  <!ENTITY % pe 'x'>\n"
        "  <!ENTITY e \"it's > here\">\n"
        "  <!NOTATION n PUBLIC 'pub'>\n"
        "  <?pi inside?>\n"
        "]>\n"
        "<catalog/>");
    ASSERT_TRUE(xml.Scan());
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptDtdc);
    EXPECT_EQ(xml.CurName, "catalog");
    EXPECT_EQ(xml.RootName, "catalog");
    EXPECT_EQ(xml.declarations, (std::vector<std::string>{"0:catalog", "0:game", "1:game", "3:pe", "2:e", "4:n"}));
    EXPECT_EQ(xml.Elements.at("catalog").Definition, "(game)*");
    EXPECT_EQ(xml.Elements.at("game").Definition, "ANY");
    EXPECT_EQ(xml.Elements.count("fake"), 0u);
    const TAttrDef& kind = xml.Elements.at("game").AttrDefs.at("kind");
    EXPECT_EQ(kind.AttrType, atEnumeration);
    EXPECT_EQ(kind.TypeDef, "(a|b)");
    EXPECT_EQ(kind.DefaultType, adValue);
    EXPECT_EQ(kind.Value, "a");
    EXPECT_EQ(xml.Elements.at("game").AttrDefs.at("id").DefaultType, adRequired);
    EXPECT_EQ(xml.Entities.at("e").Value, "it's > here");
    EXPECT_EQ(xml.ParEntities.at("pe").Value, "x");
    EXPECT_EQ(xml.Notations.at("n").PublicId, "pub");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptEmptyTag);
    EXPECT_FALSE(xml.Scan());
}

TEST(XmlDoctype, FirstDeclarationIsBinding)
{
    const std::string doc =
        "<!DOCTYPE r [ <!ENTITY e 'first'> <!ENTITY e 'second'>"
        " <!ATTLIST t v CDATA 'one'> <!ATTLIST t v CDATA 'two'> ]><r><t/></r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    EXPECT_EQ(AttrOfT(xml), "one");
    EXPECT_EQ(xml.Entities.at("e").Value, "first");
}

TEST(XmlDoctype, AttributeDefaultsApply)
{
    const std::string doc =
        "<!DOCTYPE r [\n"
        "  <!ATTLIST t\n"
        "     d CDATA 'dflt'\n"
        "     i CDATA #IMPLIED\n"
        "     f CDATA #FIXED 'fixed'\n"
        "     r CDATA #REQUIRED\n"
        "     n NMTOKENS #IMPLIED>\n"
        "]>\n"
        "<r><t i='given' f='other' n='  a \t b  ' w=' a \t b '/><t r='x'></t></r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    xml.StartScan();
    ASSERT_TRUE(xml.Scan());  // doctype
    ASSERT_TRUE(xml.Scan());  // r
    ASSERT_TRUE(xml.Scan());
    ASSERT_EQ(xml.CurPartType, ptEmptyTag);
    const TAttr* d = xml.CurAttr.Find("d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Value, "dflt");
    EXPECT_EQ(d->ValueType, vtDefault);
    EXPECT_EQ(d->AttrType, atCData);
    EXPECT_EQ(xml.CurAttr.Find("i")->ValueType, vtImplied);
    EXPECT_EQ(xml.CurAttr.Find("i")->Value, "given");
    EXPECT_EQ(xml.CurAttr.Find("f")->ValueType, vtFixed);
    EXPECT_EQ(xml.CurAttr.Find("f")->Value, "fixed");
    EXPECT_EQ(xml.CurAttr.Find("r"), nullptr);  // required but absent: nothing to add
    // A tokenised type collapses and trims; CDATA only turns tabs into spaces.
    EXPECT_EQ(xml.AttrValue("n"), "a b");
    EXPECT_EQ(xml.AttrValue("w"), " a   b ");
    EXPECT_EQ(xml.CurAttr.Find("w")->ValueType, vtNormal);
    // The defaults join the sorted order.
    EXPECT_EQ(xml.AttrName(0), "d");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptStartTag);
    EXPECT_EQ(xml.AttrCount(), 3);  // r, d and the fixed f
    EXPECT_EQ(xml.CurAttr.Find("f")->ValueType, vtDefault);
}

TEST(XmlDoctype, DefaultsCountTowardTheExpansionBound)
{
    // 2000 declared defaults of 100 bytes on 1000 tags would add 200 MB.
    std::string doc = "<!DOCTYPE r [ <!ATTLIST t";
    for (int i = 0; i < 2000; ++i) doc += " a" + std::to_string(i) + " CDATA '" + std::string(100, 'v') + "'";
    doc += "> ]><r>";
    for (int i = 0; i < 1000; ++i) doc += "<t/>";
    doc += "</r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    size_t added = 0;
    size_t tags = 0;
    while (xml.Scan()) {
        if (xml.CurPartType != ptEmptyTag) continue;
        ++tags;
        for (int i = 0; i < xml.AttrCount(); ++i) added += xml.AttrName(i).size() + xml.AttrValue(i).size();
        if (tags == 1) {
            EXPECT_EQ(xml.AttrCount(), 2000);
            EXPECT_EQ(xml.AttrName(0), "a0");
            EXPECT_EQ(xml.AttrName(1), "a1");
            EXPECT_EQ(xml.AttrName(2), "a10");
        }
    }
    EXPECT_EQ(tags, 1000u);
    EXPECT_LE(added, XML_MAX_ENTITY_EXPANSION);
    EXPECT_GT(added, XML_MAX_ENTITY_EXPANSION / 2);
}

TEST(XmlDoctype, ParameterEntitiesExpandInsideTheSubset)
{
    const std::string doc =
        "<!DOCTYPE r [\n"
        "  <!ENTITY % type 'CDATA'>\n"
        "  <!ENTITY % decls \"<!ENTITY fromPe 'pe text'> <!ATTLIST t v %type; 'from pe'>\">\n"
        "  %decls;\n"
        "  <!ENTITY % loop '%loop;'>\n"
        "  %loop;\n"
        "]><r><t/>&fromPe;</r>";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    EXPECT_EQ(AttrOfT(xml), "from pe");
    const TAttr* v = FindAttr(xml, "v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->AttrType, atCData);
    EXPECT_EQ(Texts(xml), (std::vector<std::string>{"pe text"}));
}

TEST(XmlDoctype, MalformedDeclarationsAreSkipped)
{
    const char* docs[] = {
        "<!DOCTYPE r [ <!ATTLIST> <!ATTLIST t> <!ATTLIST t v> <!ATTLIST t v CDATA> <!ENTITY> <!ENTITY % > ]><r/>",
        "<!DOCTYPE r [ <!ENTITY e SYSTEM> <!ENTITY f BOGUS 'x'> <!NOTATION> <!ELEMENT> %undeclared; % ; ]><r/>",
        "<!DOCTYPE r [ <!ATTLIST t v (a|b #IMPLIED> <![INCLUDE[ <!ENTITY x 'y'> ]]> junk ]><r/>",
    };
    for (const char* doc : docs) {
        TXmlParser xml;
        xml.LoadFromBuffer(doc);
        std::vector<TPartType> types;
        while (xml.Scan()) types.push_back(xml.CurPartType);
        EXPECT_EQ(types, (std::vector<TPartType>{ptDtdc, ptEmptyTag})) << doc;
    }
}
