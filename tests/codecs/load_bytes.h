// Loading a picture from bytes in memory, for the suites that build their
// files byte by byte (or, for the text formats, as text).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/classes.h"

template <class TPicture>
void Load(TPicture& picture, const std::vector<uint8_t>& bytes)
{
    TMemoryStream stream(bytes.data(), bytes.size());
    picture.LoadFromStream(stream);
}

template <class TPicture>
void Load(TPicture& picture, std::string_view text)
{
    TMemoryStream stream(text.data(), text.size());
    picture.LoadFromStream(stream);
}

// The message of the error that loading the file raises; "" when it loads.
template <class TPicture, class TFile>
std::string LoadErrorOf(const TFile& file)
{
    TPicture picture;
    try {
        Load(picture, file);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

template <class TPicture>
std::string LoadError(const std::vector<uint8_t>& bytes)
{
    return LoadErrorOf<TPicture>(bytes);
}

template <class TPicture>
std::string LoadError(std::string_view text)
{
    return LoadErrorOf<TPicture>(text);
}
