#include "support/tiff_writer.h"

#include <algorithm>

uint32_t TTiffWriter::Append(const std::vector<uint8_t>& block)
{
    if (data_.size() % 2) data_.push_back(0);
    const auto at = uint32_t(8 + data_.size());
    data_.insert(data_.end(), block.begin(), block.end());
    return at;
}

TTiffWriter& TTiffWriter::Tag(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    TEntry e{tag, type, count, {}};
    // A SHORT held in the entry sits in its first two bytes, whatever the byte order.
    if (type == Short && count == 1) {
        Put(e.field, value, 2);
        Put(e.field, 0, 2);
    } else {
        Put(e.field, value, 4);
    }
    entries_.push_back(std::move(e));
    return *this;
}

TTiffWriter& TTiffWriter::Values(uint16_t tag, uint16_t type, const std::vector<uint32_t>& values)
{
    const int size = type == Short ? 2 : type == Long || type == Rational ? 4 : 1;
    const auto count = uint32_t(type == Rational ? values.size() / 2 : values.size());
    std::vector<uint8_t> packed;
    for (uint32_t v : values) Put(packed, v, size);
    if (type == Rational || packed.size() > 4) {
        const uint32_t at = Append(packed);
        packed.clear();
        Put(packed, at, 4);
    }
    packed.resize(4);
    entries_.push_back({tag, type, count, std::move(packed)});
    return *this;
}

TTiffWriter& TTiffWriter::Picture(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples,
                                  uint32_t photometric, uint32_t compression)
{
    return Tag(256, Long, 1, width)
        .Tag(257, Long, 1, height)
        .Tag(258, Short, 1, bits)
        .Tag(259, Short, 1, compression)
        .Tag(262, Short, 1, photometric)
        .Tag(277, Short, 1, samples);
}

TTiffWriter::operator std::vector<uint8_t>() const
{
    const uint8_t order = big_ ? 'M' : 'I';
    std::vector<uint8_t> out = {order, order};
    Put(out, 42, 2);
    std::vector<uint8_t> body = data_;
    if (body.size() % 2) body.push_back(0);
    Put(out, uint32_t(8 + body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    std::vector<TEntry> sorted = entries_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const TEntry& a, const TEntry& b) { return a.tag < b.tag; });
    Put(out, uint32_t(sorted.size()), 2);
    for (const TEntry& e : sorted) {
        Put(out, e.tag, 2);
        Put(out, e.type, 2);
        Put(out, e.count, 4);
        out.insert(out.end(), e.field.begin(), e.field.end());
    }
    Put(out, 0, 4);
    return out;
}

void TTiffWriter::Put(std::vector<uint8_t>& out, uint32_t value, int size) const
{
    for (int i = 0; i < size; ++i) out.push_back(uint8_t(value >> (big_ ? 8 * (size - 1 - i) : 8 * i)));
}
