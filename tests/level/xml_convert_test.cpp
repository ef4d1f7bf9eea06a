#include <gtest/gtest.h>

#include <string>

#include "level/xmlscan.h"

namespace {

std::string Utf8(const std::string& text)
{
    TXmlParser xml;
    xml.DocEncoding = "UTF-8";
    return xml.ConvertToAnsi(text);
}

// The text content and the attribute "v" of "<t v='...'>...</t>" in a document with the given prolog.
std::pair<std::string, std::string> Read(const std::string& prolog, const std::string& value, const std::string& text)
{
    TXmlParser xml;
    xml.LoadFromBuffer(prolog + "<t v='" + value + "'>" + text + "</t>");
    std::pair<std::string, std::string> r;
    while (xml.Scan()) {
        if (xml.CurPartType == ptStartTag) r.second = xml.AttrValue("v");
        if (xml.CurPartType == ptContent) r.first = xml.CurContent;
    }
    return r;
}

}  // namespace

TEST(XmlConvert, TwoAndThreeByteSequences)
{
    EXPECT_EQ(Utf8("plain ascii"), "plain ascii");
    EXPECT_EQ(Utf8("caf\xC3\xA9"), "caf\xE9");                   // e acute: 233
    EXPECT_EQ(Utf8("\xC2\xA0\xC3\xBF"), "\xA0\xFF");              // the upper half maps to itself
    EXPECT_EQ(Utf8("\xE2\x82\xAC"), "\x80");                      // euro sign
    EXPECT_EQ(Utf8("\xE2\x80\x9C" "q" "\xE2\x80\x9D"), "\x93q\x94");  // curly quotes
    EXPECT_EQ(Utf8("\xC5\xA0\xC5\xBD\xC5\xB8"), "\x8A\x8E\x9F");  // S, Z caron; Y diaeresis
    EXPECT_EQ(Utf8("\xE2\x84\xA2"), "\x99");                      // trade mark sign
}

TEST(XmlConvert, CodesOutsideTheCodePageGiveTheDefaultCharacter)
{
    EXPECT_EQ(Utf8("\xE4\xB8\xAD"), "\xBF");  // a CJK character
    EXPECT_EQ(Utf8("\xCE\xA9"), "\xBF");      // Greek capital omega
    // The code 0x80 is the euro's byte but not the euro's code.
    EXPECT_EQ(Utf8("\xC2\x80"), "\xBF");
    // The five bytes the code page leaves undefined stand for themselves.
    EXPECT_EQ(Utf8("\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"), "\x81\x8D\x8F\x90\x9D");
}

TEST(XmlConvert, BrokenSequencesGiveOneDefaultCharacterEach)
{
    EXPECT_EQ(Utf8("a\x80z"), "a\xBFz");                   // stray continuation byte
    EXPECT_EQ(Utf8("a\xF0\x9F\x98\x80z"), "a\xBFz");       // four-byte sequence, consumed whole
    EXPECT_EQ(Utf8("a\xC3"), "a\xBF");                     // cut short by the end
    EXPECT_EQ(Utf8("a\xE2\x82"), "a\xBF");                 // cut short by the end
    EXPECT_EQ(Utf8("\xC3z"), "\xBFz");                     // a non-continuation byte is not swallowed
    EXPECT_EQ(Utf8("\xE2\x82z"), "\xBFz");
    EXPECT_EQ(Utf8("\xFF\xFE"), "\xBF\xBF");
    EXPECT_EQ(Utf8(std::string("\xC3\0x", 3)), std::string("\xBF\0x", 3));
}

TEST(XmlConvert, OnlyUtf8DocumentsAreConverted)
{
    TXmlParser xml;
    EXPECT_EQ(xml.ConvertToAnsi("caf\xC3\xA9"), "caf\xC3\xA9");  // no encoding yet
    xml.DocEncoding = "ISO-8859-1";
    EXPECT_EQ(xml.ConvertToAnsi("caf\xC3\xA9"), "caf\xC3\xA9");
    xml.DocEncoding = "utf-8";
    EXPECT_EQ(xml.ConvertToAnsi("caf\xC3\xA9"), "caf\xE9");  // encoding names ignore case
}

TEST(XmlConvert, DocumentTextFollowsTheProlog)
{
    // A prolog without an encoding means UTF-8.
    EXPECT_EQ(Read("<?xml version='1.0'?>", "B\xC3\xA9", "\xC3\xA9t\xC3\xA9"),
              std::make_pair(std::string("\xE9t\xE9"), std::string("B\xE9")));
    EXPECT_EQ(Read("<?xml version='1.0' encoding='UTF-8'?>", "\xE2\x82\xAC", "\xE2\x82\xAC"),
              std::make_pair(std::string("\x80"), std::string("\x80")));
    // Without a prolog the bytes pass unchanged.
    EXPECT_EQ(Read("", "B\xC3\xA9", "\xC3\xA9"), std::make_pair(std::string("\xC3\xA9"), std::string("B\xC3\xA9")));
    EXPECT_EQ(Read("<?xml version='1.0' encoding='windows-1252'?>", "\xE9", "\xE9"),
              std::make_pair(std::string("\xE9"), std::string("\xE9")));
}

TEST(XmlConvert, CharacterReferencesAreNotConvertedAgain)
{
    // The byte a reference gives is final, also in a UTF-8 document.
    EXPECT_EQ(Read("<?xml version='1.0'?>", "caf&#233;", "caf&#233;"),
              std::make_pair(std::string("caf\xE9"), std::string("caf\xE9")));
    EXPECT_EQ(Read("<?xml version='1.0'?>", "&#8364;", "&#x20AC;"),
              std::make_pair(std::string("\x80"), std::string("\x80")));
}

TEST(XmlConvert, CDataIsConverted)
{
    TXmlParser xml;
    xml.LoadFromBuffer("<?xml version='1.0'?><t><![CDATA[\xC3\xA9 <&>]]></t>");
    while (xml.Scan() && xml.CurPartType != ptCData) {
    }
    EXPECT_EQ(xml.CurPartType, ptCData);
    EXPECT_EQ(xml.CurContent, "\xE9 <&>");
}
