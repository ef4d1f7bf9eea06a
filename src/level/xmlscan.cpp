#include "level/xmlscan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "platform/rtl/sysutils.h"

namespace {

constexpr char kDefaultChar = char(191);

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}

// Characters of a name inside the document type declaration.
bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
}

// Unicode code of the bytes 0x80..0x9F of code page 1252; the five bytes the
// code page leaves undefined map to themselves. Every other byte is its own code.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The first code page 1252 byte whose code is the given one, else the default character.
char AnsiByteOf(uint32_t code)
{
    if (code < 0x80) return static_cast<char>(code);
    for (int b = 0; b < 32; ++b)
        if (kCp1252High[b] == code) return static_cast<char>(0x80 + b);
    if (code >= 0xA0 && code <= 0xFF) return static_cast<char>(code);
    return kDefaultChar;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

std::string Utf8ToAnsi(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    const auto* u = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = u[i];
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        uint32_t code;
        if ((b & 0xE0) == 0xC0 && i + 1 < n && IsContinuation(u[i + 1])) {
            code = ((b & 31u) << 6) | (u[i + 1] & 63u);
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < n && IsContinuation(u[i + 1]) && IsContinuation(u[i + 2])) {
            code = ((b & 15u) << 12) | ((u[i + 1] & 63u) << 6) | (u[i + 2] & 63u);
            i += 3;
        } else {
            // A stray continuation byte, a longer or a broken sequence: skip
            // the continuation bytes its lead byte announces.
            const int ones = std::countl_one(b);
            int follow = ones >= 2 ? ones - 1 : 0;
            ++i;
            while (follow-- > 0 && i < n && IsContinuation(u[i])) ++i;
            out += kDefaultChar;
            continue;
        }
        out += AnsiByteOf(code);
    }
    return out;
}

// "&#...;" without the "&" and ";": the code, or false when the digits do
// not form a number.
bool ParseCharRef(std::string_view ref, uint32_t& code, bool& hex)
{
    assert(!ref.empty() && ref[0] == '#');
    hex = ref.size() > 1 && (ref[1] == 'x' || ref[1] == 'X');
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty()) return false;
    uint64_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (value > 0x7FFFFFFF) return false;
    }
    code = static_cast<uint32_t>(value);
    return true;
}

// A character reference gives one byte: its code when below 256, else the
// code page 1252 byte of that code.
void AppendCode(std::string& out, uint32_t code) { out += code < 256 ? static_cast<char>(code) : AnsiByteOf(code); }

bool PredefinedEntity(std::string_view name, char& c)
{
    if (name == "lt") c = '<';
    else if (name == "gt") c = '>';
    else if (name == "amp") c = '&';
    else if (name == "apos") c = '\'';
    else if (name == "quot") c = '"';
    else return false;
    return true;
}

// Trims the text and collapses each run of whitespace to one space.
std::string CollapseWhite(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    bool pending = false;
    for (char c : text) {
        if (IsWhite(c)) {
            pending = !out.empty();
            continue;
        }
        if (pending) out += ' ';
        pending = false;
        out += c;
    }
    return out;
}

bool ReadWholeFile(const std::string& name, std::string& data)
{
    const int access = FileMode & 3;
    const int flags = access == fmOpenRead ? O_RDONLY : (access == fmOpenWrite ? O_WRONLY : O_RDWR);
    // Non-blocking so that naming a pipe cannot stall the program.
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > XML_MAX_DOCUMENT_SIZE) {
        ::close(fd);
        return false;
    }
    const auto size = static_cast<size_t>(st.st_size);
    data.resize(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd, data.data() + got, size - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    data.resize(got);
    return true;
}

bool IsAbsolutePath(const std::string& path)
{
    return !path.empty() && (path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos);
}

std::shared_ptr<const std::string> TerminatedCopy(std::string_view text)
{
    auto s = std::make_shared<std::string>();
    s->reserve(text.size() + 1);
    s->assign(text);
    s->push_back('\0');
    return s;
}

// Reads the parts of one markup declaration.
class DeclReader {
public:
    explicit DeclReader(std::string_view text, size_t pos) : t_(text), p_(pos) {}

    void SkipWhite()
    {
        while (p_ < t_.size() && IsWhite(t_[p_])) ++p_;
    }
    char Peek() const { return p_ < t_.size() ? t_[p_] : '\0'; }
    char PeekAt(size_t ahead) const { return p_ + ahead < t_.size() ? t_[p_ + ahead] : '\0'; }
    void Advance() { ++p_; }
    bool AtEnd() const { return p_ >= t_.size() || t_[p_] == '>'; }

    std::string Name()
    {
        SkipWhite();
        const size_t start = p_;
        while (p_ < t_.size()) {
            const char c = t_[p_];
            if (IsWhite(c) || c == '>' || c == '(' || c == '"' || c == '\'') break;
            ++p_;
        }
        return std::string(t_.substr(start, p_ - start));
    }

    bool Literal(std::string& value)
    {
        SkipWhite();
        const char q = Peek();
        if (q != '"' && q != '\'') return false;
        const size_t start = ++p_;
        while (p_ < t_.size() && t_[p_] != q) ++p_;
        value.assign(t_.substr(start, p_ - start));
        if (p_ < t_.size()) ++p_;
        return true;
    }

    // A parenthesised group with its nested groups, as written.
    std::string Group()
    {
        SkipWhite();
        const size_t start = p_;
        int depth = 0;
        while (p_ < t_.size()) {
            const char c = t_[p_++];
            if (c == '(') ++depth;
            else if (c == ')' && --depth <= 0) break;
        }
        return std::string(t_.substr(start, p_ - start));
    }

    // The rest of the declaration up to its closing ">", trimmed.
    std::string Rest()
    {
        size_t end = t_.size();
        if (end > p_ && t_[end - 1] == '>') --end;
        std::string r(t_.substr(std::min(p_, end), end - std::min(p_, end)));
        p_ = t_.size();
        return CollapseWhite(r);
    }

private:
    std::string_view t_;
    size_t p_;
};

TAttrType AttrTypeOf(const std::string& word)
{
    static const struct {
        const char* name;
        TAttrType type;
    } kTypes[] = {
        {"CDATA", atCData},       {"ID", atID},
        {"IDREF", atIdRef},       {"IDREFS", atIdRefs},
        {"ENTITY", atEntity},     {"ENTITIES", atEntities},
        {"NMTOKEN", atNmToken},   {"NMTOKENS", atNmTokens},
        {"NOTATION", atNotation},
    };
    for (const auto& t : kTypes)
        if (word == t.name) return t.type;
    return atUnknown;
}

void ReadExternalId(DeclReader& r, std::string& publicId, std::string& systemId, bool& external)
{
    const std::string keyword = r.Name();
    if (keyword == "SYSTEM") {
        external = true;
        r.Literal(systemId);
    } else if (keyword == "PUBLIC") {
        external = true;
        r.Literal(publicId);
        r.Literal(systemId);
    }
}

// The markup declarations of the document type declaration, one reader per
// kind: each reads its declaration from after the keyword, records it and
// hands the whole declaration text to the parser's hook.

void ParseElementDecl(TXmlParser& parser, DeclReader& r, const std::string& d)
{
    const std::string name = r.Name();
    if (name.empty()) return;
    TElemDef& el = parser.Elements[name];
    el.Name = name;
    r.SkipWhite();
    const std::string model = r.Rest();
    if (el.Definition.empty()) el.Definition = model;
    parser.DeclarationHook(dkElement, name, d);
}

// One attribute of an attribute-list declaration: name, type and default.
// False where the declaration ends or stops making sense.
bool ReadAttrDef(DeclReader& r, TAttrDef& def)
{
    def.Name = r.Name();
    if (def.Name.empty()) return false;
    r.SkipWhite();
    if (r.Peek() == '(') {
        def.AttrType = atEnumeration;
        def.TypeDef = r.Group();
    } else {
        const std::string type = r.Name();
        if (type.empty()) return false;
        def.AttrType = AttrTypeOf(type);
        if (def.AttrType == atNotation) def.TypeDef = r.Group();
    }
    r.SkipWhite();
    if (r.Peek() != '#') return r.Literal(def.Value);
    const std::string kind = r.Name();
    if (kind == "#REQUIRED") {
        def.DefaultType = adRequired;
    } else if (kind == "#IMPLIED") {
        def.DefaultType = adImplied;
    } else if (kind == "#FIXED") {
        def.DefaultType = adFixed;
        return r.Literal(def.Value);
    } else {
        return false;
    }
    return true;
}

void ParseAttListDecl(TXmlParser& parser, DeclReader& r, const std::string& d)
{
    const std::string elementName = r.Name();
    if (elementName.empty()) return;
    TElemDef& el = parser.Elements[elementName];
    el.Name = elementName;
    for (;;) {
        r.SkipWhite();
        if (r.AtEnd()) break;
        TAttrDef def;
        if (!ReadAttrDef(r, def)) break;
        // The first declaration of an attribute is binding.
        const bool valued = def.DefaultType == adValue || def.DefaultType == adFixed;
        if (el.AttrDefs.emplace(def.Name, def).second && valued) el.ValuedAttrs.push_back(def.Name);
    }
    parser.DeclarationHook(dkAttList, elementName, d);
}

void ParseEntityDecl(TXmlParser& parser, DeclReader& r, const std::string& d)
{
    r.SkipWhite();
    bool parameter = false;
    if (r.Peek() == '%' && IsWhite(r.PeekAt(1))) {
        parameter = true;
        r.Advance();
    }
    TEntityDef def;
    def.Name = r.Name();
    if (def.Name.empty()) return;
    if (!r.Literal(def.Value)) {
        ReadExternalId(r, def.PublicId, def.SystemId, def.External);
        if (!def.External) return;
        r.SkipWhite();
        if (!r.AtEnd() && r.Name() == "NDATA") def.NotationName = r.Name();
    }
    // The first declaration of an entity is binding.
    (parameter ? parser.ParEntities : parser.Entities).emplace(def.Name, def);
    parser.DeclarationHook(parameter ? dkParameterEntity : dkEntity, def.Name, d);
}

void ParseNotationDecl(TXmlParser& parser, DeclReader& r, const std::string& d)
{
    TNotationDef def;
    def.Name = r.Name();
    if (def.Name.empty()) return;
    const std::string kind = r.Name();
    if (kind == "SYSTEM") {
        r.Literal(def.SystemId);
    } else if (kind == "PUBLIC") {
        r.Literal(def.PublicId);
        r.Literal(def.SystemId);
    }
    parser.Notations.emplace(def.Name, def);
    parser.DeclarationHook(dkNotation, def.Name, d);
}

}  // namespace

// ---------------------------------------------------------------------------
// Attribute list

const TAttr* TAttrList::Find(std::string_view name) const
{
    const auto it = std::lower_bound(items_.begin(), items_.end(), name,
                                     [](const TAttr& a, std::string_view n) { return std::string_view(a.Name) < n; });
    return it != items_.end() && it->Name == name ? &*it : nullptr;
}

TAttr* TAttrList::Find(std::string_view name)
{
    return const_cast<TAttr*>(static_cast<const TAttrList*>(this)->Find(name));
}

void TAttrList::Add(TAttr attr)
{
    const auto it = std::lower_bound(items_.begin(), items_.end(), std::string_view(attr.Name),
                                     [](const TAttr& a, std::string_view n) { return std::string_view(a.Name) < n; });
    items_.insert(it, std::move(attr));
}

void TAttrList::AddNew(std::vector<TAttr>&& attrs)
{
    auto byName = [](const TAttr& a, const TAttr& b) { return std::string_view(a.Name) < std::string_view(b.Name); };
    std::sort(attrs.begin(), attrs.end(), byName);
    const auto middle = static_cast<std::ptrdiff_t>(items_.size());
    items_.insert(items_.end(), std::make_move_iterator(attrs.begin()), std::make_move_iterator(attrs.end()));
    std::inplace_merge(items_.begin(), items_.begin() + middle, items_.end(), byName);
}

void TAttrList::Assign(std::vector<TAttr>&& inDocumentOrder)
{
    // Among equal names the newest stands first, as adding them one by one
    // would put it. Names and places are sorted side by side rather than the
    // attributes themselves, so that each attribute moves once and the sort
    // reads memory in order, however many attributes a tag holds.
    // The first eight bytes of a name, in order, decide most comparisons
    // without reading the name itself (names hold no NUL byte).
    struct TPlace {
        uint64_t head;
        std::string_view name;
        uint32_t at;
    };
    const size_t n = inDocumentOrder.size();
    std::vector<TPlace> places(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string& name = inDocumentOrder[i].Name;
        uint64_t head = 0;
        for (size_t k = 0; k < 8; ++k)
            head = (head << 8) | (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
        places[i] = TPlace{head, name, static_cast<uint32_t>(i)};
    }
    std::sort(places.begin(), places.end(), [](const TPlace& a, const TPlace& b) {
        if (a.head != b.head) return a.head < b.head;
        const int c = a.name.size() > 8 || b.name.size() > 8 ? a.name.compare(b.name) : 0;
        return c != 0 ? c < 0 : a.at > b.at;
    });
    std::vector<uint32_t> order(n);
    for (size_t k = 0; k < n; ++k) order[k] = places[k].at;
    // Each cycle of the permutation is followed once: attribute k takes
    // the one at order[k].
    for (size_t k = 0; k < n; ++k) {
        if (order[k] == k) continue;
        TAttr held = std::move(inDocumentOrder[k]);
        size_t j = k;
        for (size_t from = order[j]; from != k; from = order[j]) {
            inDocumentOrder[j] = std::move(inDocumentOrder[from]);
            order[j] = static_cast<uint32_t>(j);
            j = from;
        }
        inDocumentOrder[j] = std::move(held);
        order[j] = static_cast<uint32_t>(j);
    }
    items_ = std::move(inDocumentOrder);
}

std::string TAttrList::Name(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].Name : std::string();
}

std::string TAttrList::Value(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].Value : std::string();
}

std::string TAttrList::Value(std::string_view name) const
{
    const TAttr* a = Find(name);
    return a ? a->Value : std::string();
}

// ---------------------------------------------------------------------------
// Loading and state

TXmlParser::TXmlParser() { Clear(); }

TXmlParser::~TXmlParser() { Clear(); }

void TXmlParser::Clear()
{
    doc_.reset();
    Source.clear();
    XmlVersion.clear();
    Encoding.clear();
    Standalone = false;
    RootName.clear();
    DocEncoding.clear();
    Elements.clear();
    Entities.clear();
    ParEntities.clear();
    Notations.clear();
    StartScan();
}

bool TXmlParser::LoadFromFile(const std::string& fileName, int fileMode)
{
    Clear();
    const int savedMode = FileMode;
    FileMode = fileMode;
    std::string data;
    bool ok = false;
    try {
        ok = ReadWholeFile(fileName, data);
        if (ok) doc_ = TerminatedCopy(data);
    } catch (...) {
        ok = false;
    }
    FileMode = savedMode;
    if (!ok) {
        Clear();
        return false;
    }
    Source = fileName;
    StartScan();
    return true;
}

void TXmlParser::LoadFromBuffer(std::string_view text)
{
    Clear();
    doc_ = TerminatedCopy(text);
    StartScan();
}

void TXmlParser::StartScan()
{
    ClearPart();
    stack_.clear();
    expanded_ = 0;
    SetSource(doc_, std::string(), Source);
    // A byte-order mark is no part of the document.
    next_ = Match(0, "\xEF\xBB\xBF") ? 3 : 0;
}

void TXmlParser::ClearPart()
{
    CurPartType = ptNone;
    CurStart = 0;
    CurFinal = 0;
    CurName.clear();
    CurContent.clear();
    CurAttr.Clear();
}

void TXmlParser::SetSource(std::shared_ptr<const std::string> text, std::string entity, std::string source)
{
    src_ = std::move(text);
    if (src_) {
        s_ = src_->data();
        const void* nul = std::memchr(s_, 0, src_->size());
        len_ = nul ? static_cast<size_t>(static_cast<const char*>(nul) - s_) : src_->size();
    } else {
        s_ = "";
        len_ = 0;
    }
    srcEntity_ = std::move(entity);
    srcName_ = std::move(source);
}

void TXmlParser::Resume(Frame&& frame)
{
    // The length was measured when the buffer was first scanned; measuring
    // it again would cost the whole buffer for every entity that closes.
    src_ = std::move(frame.text);
    s_ = src_ ? src_->data() : "";
    len_ = src_ ? frame.len : 0;
    srcEntity_ = std::move(frame.entity);
    srcName_ = std::move(frame.source);
    next_ = frame.resume;
}

size_t TXmlParser::RemainingExpansion() const
{
    return expanded_ < XML_MAX_ENTITY_EXPANSION ? XML_MAX_ENTITY_EXPANSION - expanded_ : 0;
}

bool TXmlParser::IsOpen(const std::string& entity) const
{
    if (entity == srcEntity_) return true;
    for (const Frame& f : stack_)
        if (f.entity == entity) return true;
    return false;
}

bool TXmlParser::MayExpand(const std::string& entity, size_t depth, size_t bytes) const
{
    return stack_.size() + depth < static_cast<size_t>(XML_MAX_ENTITY_DEPTH) && bytes <= RemainingExpansion() &&
           !IsOpen(entity);
}

// ---------------------------------------------------------------------------
// Low-level helpers

bool TXmlParser::Match(size_t i, std::string_view what) const
{
    return i <= len_ && what.size() <= len_ - i && std::memcmp(s_ + i, what.data(), what.size()) == 0;
}

size_t TXmlParser::FindSeq(size_t from, std::string_view what, bool& found) const
{
    found = false;
    if (from >= len_) return len_;
    const size_t at = std::string_view(s_, len_).find(what, from);
    if (at == std::string_view::npos) return len_;
    found = true;
    return at;
}

size_t TXmlParser::EndPartAt(size_t from, std::string_view terminator)
{
    bool found;
    const size_t end = FindSeq(from, terminator, found);
    CurFinal = found ? end + terminator.size() - 1 : len_ - 1;
    next_ = CurFinal + 1;
    return end;
}

size_t TXmlParser::SkipWhite(size_t i) const
{
    while (IsWhite(At(i))) ++i;
    return i;
}

// ---------------------------------------------------------------------------
// Scanning

bool TXmlParser::Scan()
{
    for (;;) {
        if (At(next_) == '\0') {
            if (!stack_.empty()) {
                Frame f = std::move(stack_.back());
                stack_.pop_back();
                Resume(std::move(f));
                continue;
            }
            ClearPart();
            next_ = len_;
            return false;
        }
        ClearPart();
        CurStart = next_;
        // The second character tells the kinds of markup apart, so that
        // each part is compared with the few openings it may have.
        const char second = At(next_) == '<' ? At(next_ + 1) : '\0';
        if (second == '?' && Match(next_, "<?xml") && (IsWhite(At(next_ + 5)) || At(next_ + 5) == '?')) {
            AnalyzeProlog();
        } else if (second == '?') {
            AnalyzePI();
        } else if (second == '!' && Match(next_, "<!--")) {
            AnalyzeComment();
        } else if (second == '!' && Match(next_, "<!DOCTYPE")) {
            AnalyzeDtdc();
        } else if (second == '!' && Match(next_, "<![CDATA[")) {
            AnalyzeCData();
        } else if (At(next_) == '<') {
            AnalyzeTag();
        } else if (!AnalyzeText()) {
            continue;
        }
        return true;
    }
}

void TXmlParser::AnalyzeProlog()
{
    CurPartType = ptXmlProlog;
    std::vector<TAttr> attrs;
    const size_t stop = ReadAttributes(CurStart + 5, len_, attrs);
    CurAttr.Assign(std::move(attrs));
    EndPartAt(stop, "?>");
    if (stack_.empty()) {
        XmlVersion = CurAttr.Value("version");
        Encoding = CurAttr.Value("encoding");
        Standalone = CurAttr.Value("standalone") == "yes";
    }
    DocEncoding = CurAttr.Value("encoding");
    if (DocEncoding.empty()) DocEncoding = "UTF-8";
}

void TXmlParser::AnalyzePI()
{
    CurPartType = ptPI;
    size_t i = CurStart + 2;
    while (At(i) != '\0' && !IsWhite(At(i)) && At(i) != '>' && At(i) != '?') ++i;
    CurName.assign(s_ + CurStart + 2, i - (CurStart + 2));
    i = SkipWhite(i);
    const size_t end = EndPartAt(i, "?>");
    CurContent.assign(s_ + i, end - std::min(i, end));
    std::vector<TAttr> attrs;
    ReadAttributes(i, end, attrs);
    CurAttr.Assign(std::move(attrs));
}

void TXmlParser::AnalyzeComment()
{
    CurPartType = ptComment;
    const size_t i = CurStart + 4;
    const size_t end = EndPartAt(i, "-->");
    CurContent.assign(s_ + std::min(i, end), end - std::min(i, end));
}

void TXmlParser::AnalyzeCData()
{
    CurPartType = ptCData;
    const size_t i = CurStart + 9;
    const size_t end = EndPartAt(i, "]]>");
    CurContent = ConvertToAnsi(std::string(s_ + std::min(i, end), end - std::min(i, end)));
}

void TXmlParser::AnalyzeTag()
{
    CurPartType = ptStartTag;
    size_t i = CurStart + 1;
    if (At(i) == '/') {
        CurPartType = ptEndTag;
        ++i;
    }
    const size_t nameStart = i;
    while (At(i) != '\0' && !IsWhite(At(i)) && At(i) != '/' && At(i) != '>') ++i;
    CurName.assign(s_ + nameStart, i - nameStart);
    std::vector<TAttr> attrs;
    i = ReadAttributes(i, len_, attrs);
    if (At(i) == '/' && CurPartType == ptStartTag) CurPartType = ptEmptyTag;
    EndPartAt(i, ">");
    CurAttr.Assign(std::move(attrs));
    if (CurPartType != ptEndTag) ApplyAttrDefaults();
    ResolveAttrValues();
}

size_t TXmlParser::ReadAttributes(size_t i, size_t limit, std::vector<TAttr>& out) const
{
    auto at = [&](size_t k) { return k < limit ? At(k) : '\0'; };
    for (;;) {
        while (IsWhite(at(i))) ++i;
        const char c = at(i);
        if (c == '>' || c == '\0' || !IsNameStart(c)) return i;
        const size_t nameStart = i;
        for (char d = at(i); d != '\0' && !IsWhite(d) && d != '/' && d != '=' && d != '>'; d = at(++i)) {}
        TAttr attr;
        attr.Name.assign(s_ + nameStart, i - nameStart);
        size_t j = i;
        while (IsWhite(at(j))) ++j;
        if (at(j) == '=') {
            ++j;
            while (IsWhite(at(j))) ++j;
            const char q = at(j);
            if (q == '"' || q == '\'') {
                const size_t valueStart = ++j;
                while (at(j) != '\0' && at(j) != q) ++j;
                attr.Value.assign(s_ + valueStart, j - valueStart);
                if (at(j) == q) ++j;
            } else {
                // An unquoted value runs to the next blank or the tag's end.
                const size_t valueStart = j;
                for (char d = at(j); d != '\0' && !IsWhite(d) && d != '>' && !(d == '/' && at(j + 1) == '>');
                     d = at(++j)) {}
                attr.Value.assign(s_ + valueStart, j - valueStart);
            }
            i = j;
        }
        out.push_back(std::move(attr));
    }
}

void TXmlParser::ApplyAttrDefaults()
{
    const auto el = Elements.find(CurName);
    if (el == Elements.end()) return;
    const TElemDef& element = el->second;
    // Attributes as written take the declared type and value kind.
    for (TAttr& a : CurAttr) {
        const auto def = element.AttrDefs.find(a.Name);
        if (def == element.AttrDefs.end()) continue;
        a.AttrType = def->second.AttrType;
        if (def->second.DefaultType == adImplied) {
            a.ValueType = vtImplied;
        } else if (def->second.DefaultType == adFixed) {
            // The declared value replaces the written one on every tag: bytes
            // the scanner makes, counted as expansion. Beyond the bound the
            // attribute keeps what was written.
            const size_t cost = def->second.Value.size();
            if (cost > RemainingExpansion()) continue;
            expanded_ += cost;
            a.ValueType = vtFixed;
            a.Value = def->second.Value;
        }
    }
    // Missing attributes with a value are added, as far as the expansion
    // bound allows: many defaults on many tags must not swamp the scan.
    std::vector<TAttr> added;
    for (const std::string& name : element.ValuedAttrs) {
        if (CurAttr.Find(name)) continue;
        const TAttrDef& def = element.AttrDefs.at(name);
        const size_t cost = def.Name.size() + def.Value.size();
        if (cost > RemainingExpansion()) break;
        expanded_ += cost;
        added.push_back(TAttr{name, def.Value, vtDefault, def.AttrType});
    }
    if (!added.empty()) CurAttr.AddNew(std::move(added));
}

void TXmlParser::ResolveAttrValues()
{
    std::vector<std::string> open;
    for (TAttr& a : CurAttr) {
        std::string value;
        ExpandValue(value, a.Value, open);
        if (a.AttrType >= atID) {
            value = CollapseWhite(value);
        } else {
            for (char& c : value)
                if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        }
        a.Value = std::move(value);
    }
}

void TXmlParser::AppendConverted(std::string& out, std::string_view run)
{
    if (!run.empty()) out += ConvertToAnsi(std::string(run));
}

bool TXmlParser::LoadEntityText(const TEntityDef& def, TEntityBuffer& into)
{
    // Opening a file costs far more than the few bytes of a reference, and
    // its name is made of the source's folder and the system id: each
    // opening counts, whether the file is there or not.
    const size_t cost = XML_ENTITY_OPENING_COST + srcName_.size() + def.SystemId.size();
    if (cost > RemainingExpansion()) return false;
    expanded_ += cost;
    into = OpenExternalEntity(srcName_, def.PublicId, def.SystemId);
    return into.Loaded;
}

// Replaces the references of an attribute value. Literal text passes through
// ConvertToAnsi; a character reference gives its byte directly. An entity's
// text has its own references replaced as it is expanded, but what a
// reference has produced is never read for references again, so "&amp;#60;"
// stays the text "&#60;".
void TXmlParser::ExpandValue(std::string& out, std::string_view raw, std::vector<std::string>& open)
{
    const size_t n = raw.size();
    size_t i = 0;
    size_t run = 0;
    size_t semi = 0;  // the last ";" found, so that many "&" cost one search
    bool anySemi = true;
    while (i < n) {
        if (raw[i] != '&') {
            ++i;
            continue;
        }
        if (anySemi && semi <= i) {
            semi = raw.find(';', i + 1);
            if (semi == std::string_view::npos) anySemi = false;
        }
        if (!anySemi) break;  // no reference can end: the rest is literal text
        AppendConverted(out, raw.substr(run, i - run));
        const std::string_view ref = raw.substr(i + 1, semi - i - 1);
        char c;
        if (!ref.empty() && ref[0] == '#') {
            uint32_t code;
            bool hex;
            if (ParseCharRef(ref, code, hex)) AppendCode(out, code);
            else out += hex ? '\0' : ' ';
        } else if (PredefinedEntity(ref, c)) {
            out += c;
        } else {
            const auto it = Entities.find(std::string(ref));
            bool done = false;
            if (it != Entities.end() && it->second.NotationName.empty()) {
                const TEntityDef& def = it->second;
                if (!def.External) {
                    if (MayExpand(def.Name, open.size(), def.Value.size()) &&
                        std::find(open.begin(), open.end(), def.Name) == open.end()) {
                        const std::string text = def.Value;
                        expanded_ += text.size();
                        open.push_back(def.Name);
                        ExpandValue(out, text, open);
                        open.pop_back();
                        done = true;
                    }
                } else if (MayExpand(def.Name, open.size(), 0) &&
                           std::find(open.begin(), open.end(), def.Name) == open.end()) {
                    TEntityBuffer buffer;
                    if (LoadEntityText(def, buffer) && buffer.Text.size() <= RemainingExpansion()) {
                        expanded_ += buffer.Text.size();
                        open.push_back(def.Name);
                        const std::string saved = srcName_;
                        srcName_ = buffer.Source;
                        ExpandValue(out, buffer.Text, open);
                        srcName_ = saved;
                        open.pop_back();
                    }
                    done = true;  // a missing external entity gives no text
                }
            }
            if (!done) AppendConverted(out, raw.substr(i, semi - i + 1));
        }
        i = semi + 1;
        run = i;
    }
    AppendConverted(out, raw.substr(run));
}

bool TXmlParser::AnalyzeText()
{
    CurPartType = ptContent;
    std::string content;
    size_t i = CurStart;
    size_t run = i;
    // Where the last search for a reference's ";" stopped, and whether it found one.
    size_t searchStop = 0;
    bool searchFound = false;
    for (;;) {
        const char c = At(i);
        if (c == '\0' || c == '<') break;
        if (c != '&') {
            ++i;
            continue;
        }
        AppendConverted(content, std::string_view(s_ + run, i - run));
        if (searchStop <= i) {
            size_t k = i + 1;
            while (At(k) != '\0' && At(k) != '<' && At(k) != ';') ++k;
            searchStop = k;
            searchFound = At(k) == ';';
        }
        if (!searchFound) {
            // No ";" follows: the "&" is dropped.
            ++i;
            run = i;
            continue;
        }
        const size_t semi = searchStop;
        const std::string_view ref(s_ + i + 1, semi - i - 1);
        char p;
        if (!ref.empty() && ref[0] == '#') {
            uint32_t code;
            bool hex;
            if (ParseCharRef(ref, code, hex)) AppendCode(content, code);
            else content += ' ';
        } else if (PredefinedEntity(ref, p)) {
            content += p;
        } else {
            const auto it = Entities.find(std::string(ref));
            bool expanded = false;
            if (it != Entities.end() && it->second.NotationName.empty()) {
                const TEntityDef& def = it->second;
                std::shared_ptr<const std::string> text;
                std::string source = srcName_;
                if (!def.External) {
                    if (MayExpand(def.Name, 0, def.Value.size())) text = TerminatedCopy(def.Value);
                    expanded = text != nullptr;
                } else if (MayExpand(def.Name, 0, 0)) {
                    TEntityBuffer buffer;
                    if (LoadEntityText(def, buffer) && buffer.Text.size() <= RemainingExpansion()) {
                        text = TerminatedCopy(buffer.Text);
                        source = buffer.Source;
                    }
                    expanded = true;  // a missing external entity gives no text
                }
                if (text) {
                    // The part ends here; scanning goes on inside the entity text.
                    expanded_ += text->size() - 1;
                    CurFinal = semi;
                    stack_.push_back(Frame{src_, len_, semi + 1, srcEntity_, srcName_});
                    SetSource(std::move(text), def.Name, std::move(source));
                    next_ = 0;
                    CurContent = Normalize ? CollapseWhite(content) : std::move(content);
                    return !CurContent.empty();
                }
            }
            if (!expanded) AppendConverted(content, ref);
        }
        i = semi + 1;
        run = i;
    }
    AppendConverted(content, std::string_view(s_ + run, i - run));
    CurFinal = i - 1;
    next_ = i;
    CurContent = Normalize ? CollapseWhite(content) : std::move(content);
    return !CurContent.empty();
}

// ---------------------------------------------------------------------------
// Document type declaration

void TXmlParser::AnalyzeDtdc()
{
    CurPartType = ptDtdc;
    size_t i = SkipWhite(CurStart + 9);
    const size_t nameStart = i;
    while (At(i) != '\0' && !IsWhite(At(i)) && At(i) != '[' && At(i) != '>') ++i;
    CurName.assign(s_ + nameStart, i - nameStart);
    RootName = CurName;
    // The external identifier names an external subset, which is not read.
    auto skipLiteral = [&](size_t k) {
        k = SkipWhite(k);
        const char q = At(k);
        if (q != '"' && q != '\'') return k;
        ++k;
        while (At(k) != '\0' && At(k) != q) ++k;
        return At(k) == q ? k + 1 : k;
    };
    i = SkipWhite(i);
    if (Match(i, "SYSTEM")) {
        i = skipLiteral(i + 6);
    } else if (Match(i, "PUBLIC")) {
        i = skipLiteral(skipLiteral(i + 6));
    }
    i = SkipWhite(i);
    if (At(i) == '[') {
        std::vector<std::string> open;
        i = ParseSubset(std::string_view(s_, len_), i + 1, true, open);
    }
    EndPartAt(i, ">");
}

size_t TXmlParser::ParseSubset(std::string_view t, size_t p, bool topLevel, std::vector<std::string>& open)
{
    const size_t n = t.size();
    auto startsWith = [&](size_t k, std::string_view what) { return t.substr(k, what.size()) == what; };
    auto after = [&](size_t from, std::string_view what) {
        const size_t at = t.find(what, from);
        return at == std::string_view::npos ? n : at + what.size();
    };
    while (p < n) {
        const char c = t[p];
        if (IsWhite(c)) {
            ++p;
        } else if (c == ']') {
            ++p;
            if (topLevel) return p;
        } else if (startsWith(p, "<!--")) {
            p = after(p + 4, "-->");
        } else if (startsWith(p, "<?")) {
            p = after(p + 2, "?>");
        } else if (startsWith(p, "<![")) {
            // Conditional sections belong to external subsets; they are skipped.
            p = after(p + 3, "]]>");
        } else if (startsWith(p, "<!")) {
            char q = 0;
            size_t e = p + 2;
            for (; e < n; ++e) {
                const char d = t[e];
                if (q) {
                    if (d == q) q = 0;
                } else if (d == '"' || d == '\'') {
                    q = d;
                } else if (d == '>') {
                    break;
                }
            }
            const size_t end = e < n ? e + 1 : n;
            ParseDeclaration(t.substr(p, end - p), open);
            p = end;
        } else if (c == '%') {
            size_t e = p + 1;
            while (e < n && IsNameChar(t[e])) ++e;
            if (e > p + 1 && e < n && t[e] == ';') {
                const std::string name(t.substr(p + 1, e - p - 1));
                std::string text;
                if (ParameterEntityText(name, open, text)) {
                    open.push_back("%" + name);
                    ParseSubset(text, 0, false, open);
                    open.pop_back();
                }
                p = e + 1;
            } else {
                ++p;
            }
        } else {
            ++p;  // stray text in the subset
        }
    }
    return n;
}

bool TXmlParser::ParameterEntityText(const std::string& name, const std::vector<std::string>& open, std::string& text)
{
    assert(!name.empty() && name[0] != '%');
    const std::string key = "%" + name;
    const auto it = ParEntities.find(name);
    if (it == ParEntities.end() || std::find(open.begin(), open.end(), key) != open.end()) return false;
    // Nothing of the text is copied before the bound allows it: a reference
    // of a few bytes may name a text of megabytes.
    const TEntityDef& def = it->second;
    if (!def.External) {
        if (!MayExpand(key, open.size(), def.Value.size())) return false;
        expanded_ += def.Value.size();
        text = def.Value;
        return true;
    }
    TEntityBuffer buffer;
    if (!MayExpand(key, open.size(), 0) || !LoadEntityText(def, buffer) ||
        !MayExpand(key, open.size(), buffer.Text.size()))
        return false;
    expanded_ += buffer.Text.size();
    text = std::move(buffer.Text);
    return true;
}

std::string TXmlParser::ExpandParameterRefs(std::string_view text, std::vector<std::string>& open)
{
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    char q = 0;
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (q) {
            if (c == q) q = 0;
        } else if (c == '"' || c == '\'') {
            q = c;
        } else if (c == '%' && i + 1 < n && IsNameStart(text[i + 1])) {
            size_t e = i + 1;
            while (e < n && IsNameChar(text[e])) ++e;
            if (e < n && text[e] == ';') {
                const std::string name(text.substr(i + 1, e - i - 1));
                std::string replacement;
                if (ParameterEntityText(name, open, replacement)) {
                    open.push_back("%" + name);
                    out += ' ';
                    out += ExpandParameterRefs(replacement, open);
                    out += ' ';
                    open.pop_back();
                    i = e + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

void TXmlParser::ParseDeclaration(std::string_view declaration, std::vector<std::string>& open)
{
    const std::string d = ExpandParameterRefs(declaration, open);
    DeclReader r(d, 2);
    const std::string keyword = r.Name();
    if (keyword == "ELEMENT") ParseElementDecl(*this, r, d);
    else if (keyword == "ATTLIST") ParseAttListDecl(*this, r, d);
    else if (keyword == "ENTITY") ParseEntityDecl(*this, r, d);
    else if (keyword == "NOTATION") ParseNotationDecl(*this, r, d);
}

// ---------------------------------------------------------------------------
// Overridable operations

TEntityBuffer TXmlParser::OpenExternalEntity(const std::string& parentSource, const std::string& /*publicId*/,
                                             const std::string& systemId)
{
    TEntityBuffer result;
    result.Source = IsAbsolutePath(systemId) ? systemId : ExtractFilePath(parentSource) + systemId;
    // An entity larger than what may still be expanded is not read at all.
    struct stat st;
    if (::stat(result.Source.c_str(), &st) != 0 || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > RemainingExpansion())
        return result;
    TXmlParser entity;
    if (entity.LoadFromFile(result.Source, fmOpenRead)) {
        result.Text.assign(entity.DocBuffer(), entity.DocSize() - 1);
        result.Loaded = true;
    }
    return result;
}

std::string TXmlParser::ConvertToAnsi(const std::string& text)
{
    if (DocEncoding.size() != 5 || !SameText(DocEncoding, "UTF-8")) return text;
    return Utf8ToAnsi(text);
}

void TXmlParser::DeclarationHook(TDeclKind /*kind*/, const std::string& /*name*/, const std::string& /*text*/) {}
