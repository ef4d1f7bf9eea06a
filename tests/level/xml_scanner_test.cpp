#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "level/xmlscan.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

namespace {

struct Part {
    TPartType type;
    std::string name;
    std::string content;
};

std::vector<Part> ScanAll(TXmlParser& xml)
{
    std::vector<Part> parts;
    xml.StartScan();
    while (xml.Scan()) parts.push_back({xml.CurPartType, xml.CurName, xml.CurContent});
    return parts;
}

std::vector<Part> ScanText(const std::string& text, bool normalize = true)
{
    TXmlParser xml;
    xml.Normalize = normalize;
    xml.LoadFromBuffer(text);
    return ScanAll(xml);
}

std::vector<TPartType> Types(const std::vector<Part>& parts)
{
    std::vector<TPartType> t;
    for (const auto& p : parts) t.push_back(p.type);
    return t;
}

// Scans to the first part of the given type.
bool ScanTo(TXmlParser& xml, TPartType type)
{
    while (xml.Scan())
        if (xml.CurPartType == type) return true;
    return false;
}

}  // namespace

TEST(XmlScanner, EveryPartTypeInDocumentOrder)
{
    const auto parts = ScanText(
        "<?xml version=\"1.0\"?>"
        "<!DOCTYPE root>"
        "<!-- a comment -->"
        "<?target some data?>"
        "<root>"
        "text"
        "<![CDATA[ <raw> ]]>"
        "<empty/>"
        "</root>");
    EXPECT_EQ(Types(parts), (std::vector<TPartType>{ptXmlProlog, ptDtdc, ptComment, ptPI, ptStartTag, ptContent,
                                                   ptCData, ptEmptyTag, ptEndTag}));
    EXPECT_EQ(parts[1].name, "root");
    EXPECT_EQ(parts[2].content, " a comment ");
    EXPECT_EQ(parts[3].name, "target");
    EXPECT_EQ(parts[3].content, "some data");
    EXPECT_EQ(parts[4].name, "root");
    EXPECT_EQ(parts[5].content, "text");
    EXPECT_EQ(parts[6].content, " <raw> ");  // CDATA is neither interpreted nor normalised
    EXPECT_EQ(parts[7].name, "empty");
    EXPECT_EQ(parts[8].name, "root");
}

TEST(XmlScanner, PartPositionsCoverTheDocument)
{
    const std::string doc = "<a x='1'>hi</a><!--c-->";
    TXmlParser xml;
    xml.LoadFromBuffer(doc);
    std::vector<std::pair<size_t, size_t>> spans;
    while (xml.Scan()) spans.emplace_back(xml.CurStart, xml.CurFinal);
    EXPECT_EQ(spans, (std::vector<std::pair<size_t, size_t>>{{0, 8}, {9, 10}, {11, 14}, {15, 22}}));
    EXPECT_EQ(xml.DocSize(), doc.size() + 1);
    EXPECT_EQ(xml.DocBuffer()[doc.size()], '\0');
}

TEST(XmlScanner, PrologValuesAndEncoding)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><a/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptXmlProlog);
    EXPECT_EQ(xml.XmlVersion, "1.0");
    EXPECT_EQ(xml.Encoding, "ISO-8859-1");
    EXPECT_TRUE(xml.Standalone);
    EXPECT_EQ(xml.DocEncoding, "ISO-8859-1");
    EXPECT_EQ(xml.AttrCount(), 3);

    xml.LoadFromBuffer("<?xml version='1.0'?><a/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.Encoding, "");
    EXPECT_FALSE(xml.Standalone);
    EXPECT_EQ(xml.DocEncoding, "UTF-8");  // a prolog without encoding means UTF-8

    xml.LoadFromBuffer("<a/>");
    while (xml.Scan()) {
    }
    EXPECT_EQ(xml.DocEncoding, "");  // no prolog at all
}

TEST(XmlScanner, ProcessingInstructionNamedLikeThePrologIsNoProlog)
{
    const auto parts = ScanText("<?xml-stylesheet href='s.css'?><a/>");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].type, ptPI);
    EXPECT_EQ(parts[0].name, "xml-stylesheet");
    TXmlParser xml;
    xml.LoadFromBuffer("<?pi a='1' b=\"2\"?>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.AttrValue("a"), "1");
    EXPECT_EQ(xml.AttrValue("b"), "2");
}

TEST(XmlScanner, TagKinds)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<a><b /><c/><d x='1' /></a >");
    const auto parts = ScanAll(xml);
    EXPECT_EQ(Types(parts), (std::vector<TPartType>{ptStartTag, ptEmptyTag, ptEmptyTag, ptEmptyTag, ptEndTag}));
    EXPECT_EQ(parts[1].name, "b");  // a space before the slash still makes an empty tag
    EXPECT_EQ(parts[4].name, "a");
}

TEST(XmlScanner, NormalizeDropsWhitespaceBetweenTags)
{
    const std::string doc = "<root>\n  <a>\n\t<b/>\r\n  </a>\n</root>\n";
    const auto normalized = ScanText(doc);
    EXPECT_EQ(Types(normalized), (std::vector<TPartType>{ptStartTag, ptStartTag, ptEmptyTag, ptEndTag, ptEndTag}));
    const auto raw = ScanText(doc, false);
    ASSERT_EQ(raw.size(), 10u);
    EXPECT_EQ(raw[1].type, ptContent);
    EXPECT_EQ(raw[1].content, "\n  ");
}

TEST(XmlScanner, NormalizeTrimsAndCollapsesText)
{
    EXPECT_EQ(ScanText("<a>  one \t\r\n two   three </a>")[1].content, "one two three");
    EXPECT_EQ(ScanText("<a>  one \t two </a>", false)[1].content, "  one \t two ");
}

TEST(XmlScanner, AttributesAreSortedByName)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<m name='n' ID='5' b='2' a='1' Z='z' _u='u'/>");
    ASSERT_TRUE(xml.Scan());
    ASSERT_EQ(xml.AttrCount(), 6);
    // Byte order, case-sensitive: upper case before "_" before lower case.
    const std::vector<std::string> expected = {"ID", "Z", "_u", "a", "b", "name"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(xml.AttrName(i), expected[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(xml.AttrValue(0), "5");
    EXPECT_EQ(xml.AttrValue("name"), "n");
    EXPECT_EQ(xml.AttrValue("missing"), "");
    EXPECT_EQ(xml.AttrName(6), "");
    EXPECT_EQ(xml.AttrValue(-1), "");
}

TEST(XmlScanner, RepeatedAttributeNamesKeepTheNewestFirst)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<m a='first' b='x' a='second'/>");
    ASSERT_TRUE(xml.Scan());
    ASSERT_EQ(xml.AttrCount(), 3);
    EXPECT_EQ(xml.AttrValue(0), "second");
    EXPECT_EQ(xml.AttrValue(1), "first");
    EXPECT_EQ(xml.AttrValue("a"), "second");

    TAttrList list;
    list.Add({"b", "1"});
    list.Add({"a", "2"});
    list.Add({"b", "3"});
    EXPECT_EQ(list.Value(0), "2");
    EXPECT_EQ(list.Value(1), "3");
    EXPECT_EQ(list.Value(2), "1");
}

TEST(XmlScanner, AttributeValueForms)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<m a = \"it's\" b='say \"hi\"' c=bare d='x\ty\nz\r' e/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptEmptyTag);
    EXPECT_EQ(xml.AttrValue("a"), "it's");
    EXPECT_EQ(xml.AttrValue("b"), "say \"hi\"");
    EXPECT_EQ(xml.AttrValue("c"), "bare");
    EXPECT_EQ(xml.AttrValue("d"), "x y z ");  // line breaks and tabs become spaces
    ASSERT_NE(xml.CurAttr.Find("e"), nullptr);
    EXPECT_EQ(xml.AttrValue("e"), "");
}

TEST(XmlScanner, AttributesStopAtACharacterThatCannotStartAName)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<m a='1' 9b='2' c='3'>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptStartTag);
    EXPECT_EQ(xml.AttrCount(), 1);
    EXPECT_FALSE(xml.Scan());
    // Names may start with a letter of the upper half of the code page.
    xml.LoadFromBuffer("<m \xE9t\xE9='summer' \xD7x='no'/>");
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.AttrCount(), 1);
    EXPECT_EQ(xml.AttrName(0), "\xE9t\xE9");
}

TEST(XmlScanner, UnterminatedConstructsEndAtTheBufferEnd)
{
    const char* docs[] = {
        "<a", "<a b='unterminated", "<!-- open comment", "<![CDATA[ open", "<?pi open", "<?xml version='1.0'",
        "<!DOCTYPE r [ <!ENTITY e 'open", "<a>text &amp", "</", "<", "&", "&#", "<!DOCTYPE", "<![CDATA[",
    };
    for (const char* doc : docs) {
        TXmlParser xml;
        xml.LoadFromBuffer(doc);
        int parts = 0;
        while (xml.Scan()) {
            EXPECT_LT(xml.CurFinal, std::string(doc).size()) << doc;
            ++parts;
        }
        EXPECT_LE(parts, 3) << doc;
        EXPECT_FALSE(xml.Scan()) << doc;  // stays at the end
    }
    EXPECT_EQ(ScanText("<![CDATA[ open")[0].content, " open");
    EXPECT_EQ(ScanText("<!-- open")[0].content, " open");
}

TEST(XmlScanner, EmbeddedNulEndsTheDocument)
{
    TXmlParser xml;
    xml.LoadFromBuffer(std::string("<a/>\0<b/>", 9));
    EXPECT_EQ(xml.DocSize(), 10u);
    const auto parts = ScanAll(xml);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].name, "a");
}

TEST(XmlScanner, ByteOrderMarkIsSkipped)
{
    const auto parts = ScanText("\xEF\xBB\xBF<?xml version='1.0'?><a/>");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].type, ptXmlProlog);
}

TEST(XmlScanner, StartScanRestartsAndEmptyParserScansNothing)
{
    TXmlParser xml;
    EXPECT_FALSE(xml.Scan());
    EXPECT_EQ(xml.DocSize(), 0u);
    xml.LoadFromBuffer("<a/><b/>");
    ASSERT_TRUE(xml.Scan());
    xml.StartScan();
    EXPECT_EQ(xml.CurPartType, ptNone);
    ASSERT_TRUE(xml.Scan());
    EXPECT_EQ(xml.CurName, "a");
    ASSERT_TRUE(ScanTo(xml, ptEmptyTag));
    EXPECT_EQ(xml.CurName, "b");
    EXPECT_FALSE(xml.Scan());
    EXPECT_EQ(xml.CurPartType, ptNone);
}

TEST(XmlScanner, LoadFromFileReadsTheWholeFile)
{
    TempDir dir;
    const std::string name = dir.file("doc.xml");
    const std::string doc = "<?xml version='1.0'?>\n<root><x a='1'/></root>\n";
    WriteFileBytes(name, doc.data(), doc.size());
    const int savedMode = FileMode;
    TXmlParser xml;
    ASSERT_TRUE(xml.LoadFromFile(name, 0x40));
    EXPECT_EQ(FileMode, savedMode);  // the mode is restored
    EXPECT_EQ(xml.Source, name);
    EXPECT_EQ(xml.DocSize(), doc.size() + 1);
    EXPECT_EQ(std::string(xml.DocBuffer()), doc);
    xml.StartScan();
    ASSERT_TRUE(ScanTo(xml, ptEmptyTag));
    EXPECT_EQ(xml.AttrValue("a"), "1");
}

TEST(XmlScanner, LoadFromFileFailsCleanly)
{
    TempDir dir;
    TXmlParser xml;
    xml.LoadFromBuffer("<old/>");
    const int savedMode = FileMode;
    EXPECT_FALSE(xml.LoadFromFile(dir.file("missing.xml"), fmOpenRead));
    EXPECT_EQ(FileMode, savedMode);
    EXPECT_EQ(xml.DocSize(), 0u);
    EXPECT_EQ(xml.Source, "");
    xml.StartScan();
    EXPECT_FALSE(xml.Scan());
    // A folder and a pipe are no documents; the pipe must not block.
    EXPECT_FALSE(xml.LoadFromFile(dir.path(), fmOpenRead));
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(xml.LoadFromFile(fifo, fmOpenRead));
}

TEST(XmlScanner, LoadFromFileHonoursTheOpenMode)
{
    TempDir dir;
    const std::string name = dir.file("ro.xml");
    WriteFileBytes(name, "<a/>", 4);
    ASSERT_EQ(::chmod(name.c_str(), 0400), 0);
    TXmlParser xml;
    EXPECT_TRUE(xml.LoadFromFile(name, fmOpenRead));
    if (::geteuid() != 0) {
        EXPECT_FALSE(xml.LoadFromFile(name, fmOpenReadWrite));
    }
    EXPECT_FALSE(xml.LoadFromFile(name, fmOpenWrite));  // cannot read what is opened for writing
}
