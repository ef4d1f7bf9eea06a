// Scans arbitrary bytes as an XML document, part by part, and reads them as
// a catalog: nothing may crash, hang or read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "level/trcatalog.h"
#include "level/xmlscan.h"
#include "platform/rtl/strconv.h"

namespace {

// External entities come from memory, so that a run does not depend on the
// files of the machine.
class MemoryEntityParser : public TXmlParser {
public:
    TEntityBuffer OpenExternalEntity(const std::string& parent, const std::string&,
                                     const std::string& systemId) override
    {
        TEntityBuffer buffer;
        buffer.Source = parent + "/" + systemId;
        buffer.Loaded = !systemId.empty();
        buffer.Text = systemId.size() % 2 ? "<x a='&e;'>&e;<y/></x>" : "&e;&#233;&amp;\xC3\xA9";
        return buffer;
    }
};

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryEntityParser xml;
    xml.Normalize = size == 0 || (data[0] & 1) == 0;
    xml.LoadFromBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    size_t parts = 0;
    size_t bytes = 0;
    while (xml.Scan()) {
        ++parts;
        Check(xml.CurPartType >= ptXmlProlog && xml.CurPartType <= ptCData);
        Check(xml.CurStart <= xml.CurFinal);
        Check(xml.EntityDepth() <= static_cast<size_t>(XML_MAX_ENTITY_DEPTH));
        bytes += xml.CurName.size() + xml.CurContent.size();
        for (int i = 0; i < xml.AttrCount(); ++i) {
            bytes += xml.AttrName(i).size() + xml.AttrValue(i).size();
            if (i > 0) Check(xml.AttrName(i - 1) <= xml.AttrName(i));
        }
        if (xml.CurPartType == ptContent) Check(!xml.CurContent.empty());
    }
    Check(!xml.Scan());
    (void)bytes;

    TMoveableCatalog catalog{};
    try {
        ReadTrCatalog(catalog, xml, 1 + static_cast<int>(size % 7));
    } catch (const EConvertError&) {
    }
    for (const auto& entry : catalog) Check(entry.USE_BODY_FROM >= -1 && entry.USE_BODY_FROM < TR_CATALOG_SIZE);
    return 0;
}
