#include "editor/cp1252.h"

#include <QFile>

#include <array>

#include "platform/rtl/messages.h"

namespace {

// Characters of the bytes 0x80..0x9F; the five bytes the code page leaves
// undefined map to the C1 control of the same number, so that every byte
// survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ByteToChar(unsigned char b)
{
    if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
    return b;
}

std::optional<unsigned char> CharToByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

}  // namespace

QString Cp1252ToQString(std::string_view text)
{
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) out.append(QChar(ByteToChar(static_cast<unsigned char>(ch))));
    return out;
}

std::optional<std::string> QStringToCp1252(const QString& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        auto b = CharToByte(ch.unicode());
        if (!b) return std::nullopt;  // includes both halves of a surrogate pair
        out.push_back(static_cast<char>(*b));
    }
    return out;
}

std::string QStringToCp1252Lossy(const QString& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
        auto b = CharToByte(ch.unicode());
        out.push_back(b ? static_cast<char>(*b) : '?');
    }
    return out;
}

std::string Cp1252ToFileName(std::string_view text) { return QFile::encodeName(Cp1252ToQString(text)).toStdString(); }

std::string FileNameToCp1252Lossy(const std::string& fileName)
{
    return QStringToCp1252Lossy(QFile::decodeName(QByteArray::fromStdString(fileName)));
}

std::optional<std::string> DialogPathToCp1252(const QString& path)
{
    auto text = QStringToCp1252(path);
    if (!text)
        ShowMessage(
            "This file name holds characters that a project cannot store; "
            "rename the file or its folder and choose it again:\r" +
            QStringToCp1252Lossy(path));
    return text;
}
