// A fixed text field of a stored record: one length byte followed by N
// single-byte characters (code page 1252). The layout is part of the file
// formats, so the type is packed and exactly N + 1 bytes long.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#pragma pack(push, 1)
template <std::size_t N>
struct TShortString {
    static_assert(N >= 1 && N <= 255, "a short string holds 1 to 255 characters");
    uint8_t len = 0;
    char chars[N] = {};

    TShortString() = default;
    TShortString(std::string_view s) { assign(s); }  // NOLINT: texts convert like the original's

    // Stores at most N characters; the rest of the text is cut off.
    void assign(std::string_view s)
    {
        const std::size_t n = std::min<std::size_t>(s.size(), N);
        std::memcpy(chars, s.data(), n);
        len = static_cast<uint8_t>(n);
    }
    TShortString& operator=(std::string_view s)
    {
        assign(s);
        return *this;
    }
    // The text; a length byte above N (a damaged record) is read as N.
    std::string str() const { return std::string(chars, std::min<std::size_t>(len, N)); }
    std::size_t size() const { return std::min<std::size_t>(len, N); }
    bool empty() const { return len == 0; }
    void clear() { len = 0; }
    bool operator==(std::string_view s) const { return std::string_view(chars, size()) == s; }
};
#pragma pack(pop)

static_assert(sizeof(TShortString<100>) == 101);
static_assert(sizeof(TShortString<40>) == 41);
