// A pull scanner over an XML document held whole in memory. Each Scan
// advances to the next part of the document (prolog, comment, processing
// instruction, document type declaration, tag, text or CDATA section) and
// exposes its type, name, attributes and text. Malformed documents raise no
// error: an unterminated construct simply ends at the end of the buffer.
//
// Entity expansion is bounded so that a hostile document cannot make the
// scanner recurse or allocate without limit: at most XML_MAX_ENTITY_DEPTH
// entities may be open inside one another, an entity that is already open
// is not expanded again, and one scan expands at most XML_MAX_ENTITY_EXPANSION
// bytes of entity text in all. A reference beyond these bounds is treated as
// a reference to an undeclared entity. Declared attribute defaults added to
// tags, and declared fixed values that replace written ones, count toward
// the same total; beyond it a tag keeps the attributes as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Largest file LoadFromFile reads (also for external entities). A tag may
// hold an attribute in every two bytes, and each costs the scanner far more
// memory and time than its bytes (its name and value, its place in the
// sorted list); a document this size takes at most a few hundred megabytes
// and about a second however its bytes are spent, while the catalog, the
// document the editor reads, holds some tens of kilobytes.
inline constexpr size_t XML_MAX_DOCUMENT_SIZE = 4u * 1024 * 1024;
// Deepest nesting of entities being expanded inside one another.
inline constexpr int XML_MAX_ENTITY_DEPTH = 16;
// Total bytes of entity replacement text one scan of a document may expand.
inline constexpr size_t XML_MAX_ENTITY_EXPANSION = 1024u * 1024;
// Bytes of that total one opening of an external entity counts besides its
// text and its name, whatever the file holds: opening a file costs about as
// much as copying a few thousand bytes.
inline constexpr size_t XML_ENTITY_OPENING_COST = 4096;

// Kinds of document parts.
enum TPartType : int {
    ptNone = 0,
    ptXmlProlog = 1,
    ptComment = 2,
    ptPI = 3,
    ptDtdc = 4,
    ptStartTag = 5,
    ptEmptyTag = 6,
    ptEndTag = 7,
    ptContent = 8,
    ptCData = 9,
};

// Where an attribute value came from.
enum TValueType : int {
    vtNormal = 0,   // as written
    vtImplied = 1,  // written, declared #IMPLIED
    vtFixed = 2,    // declared #FIXED: the declared value
    vtDefault = 3,  // not written: the declared default
};

// Attribute types of an attribute-list declaration.
enum TAttrType : int {
    atUnknown = 0,
    atCData = 1,
    atID,
    atIdRef,
    atIdRefs,
    atEntity,
    atEntities,
    atNmToken,
    atNmTokens,
    atNotation,
    atEnumeration,
};

// Default kinds of an attribute-list declaration.
enum TAttrDefault : int { adValue = 0, adRequired, adImplied, adFixed };

// Declaration kinds handed to TXmlParser::DeclarationHook.
enum TDeclKind : int { dkElement = 0, dkAttList, dkEntity, dkParameterEntity, dkNotation };

struct TAttr {
    std::string Name;
    std::string Value;
    TValueType ValueType = vtNormal;
    TAttrType AttrType = atUnknown;
};

// Name-value list of attributes, kept sorted by name in ascending byte order
// (case-sensitive). A new entry goes before the first entry whose name is not
// smaller, so among equal names the newest stands first.
class TAttrList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TAttr& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
    // Binary search; among equal names the first (newest) one; null when absent.
    const TAttr* Find(std::string_view name) const;
    TAttr* Find(std::string_view name);
    void Add(TAttr attr);
    // Adds attributes whose names are not in the list yet.
    void AddNew(std::vector<TAttr>&& attrs);
    // Replaces the list by attributes given in document order.
    void Assign(std::vector<TAttr>&& inDocumentOrder);
    void Clear() { items_.clear(); }
    std::vector<TAttr>::iterator begin() { return items_.begin(); }
    std::vector<TAttr>::iterator end() { return items_.end(); }

    // Empty texts for an index out of range or a name not present.
    std::string Name(int index) const;
    std::string Value(int index) const;
    std::string Value(std::string_view name) const;

private:
    std::vector<TAttr> items_;
};

// One attribute of an attribute-list declaration.
struct TAttrDef {
    std::string Name;
    TAttrType AttrType = atUnknown;
    std::string TypeDef;  // the enumeration or notation group as written
    TAttrDefault DefaultType = adValue;
    std::string Value;  // the default or fixed value as written
};

// An element type of the document type declaration: its content model and
// its attribute-list declarations.
struct TElemDef {
    std::string Name;
    std::string Definition;  // "EMPTY", "ANY", "(#PCDATA...)" or another group, as text
    std::map<std::string, TAttrDef> AttrDefs;
    // Names of the declared attributes that carry a default or fixed value.
    std::vector<std::string> ValuedAttrs;
};

// A general or parameter entity.
struct TEntityDef {
    std::string Name;
    std::string Value;  // replacement text of an internal entity
    bool External = false;
    std::string PublicId;
    std::string SystemId;
    std::string NotationName;  // NDATA of an unparsed entity
};

struct TNotationDef {
    std::string Name;
    std::string PublicId;
    std::string SystemId;
};

// The text of an external entity and the name it was read from.
struct TEntityBuffer {
    std::string Source;
    std::string Text;
    bool Loaded = false;
};

class TXmlParser {
public:
    TXmlParser();
    virtual ~TXmlParser();
    TXmlParser(const TXmlParser&) = delete;
    TXmlParser& operator=(const TXmlParser&) = delete;

    // Clears the state and reads the whole file, opened in the given file
    // mode (the runtime's FileMode is set to it for the duration). False,
    // with an empty buffer, when the file cannot be opened or read, is not a
    // regular file or is larger than XML_MAX_DOCUMENT_SIZE.
    bool LoadFromFile(const std::string& fileName, int fileMode);
    // Clears the state and takes a copy of the bytes as the document.
    void LoadFromBuffer(std::string_view text);
    // Forgets the document, the declarations and the current part.
    void Clear();

    // Starts again at the buffer start.
    void StartScan();
    // Advances to the next part; false at the end of the document.
    bool Scan();

    // The document buffer, NUL-terminated; its size counts the NUL.
    const char* DocBuffer() const { return doc_ ? doc_->data() : ""; }
    size_t DocSize() const { return doc_ ? doc_->size() : 0; }

    // Current attribute list.
    int AttrCount() const { return CurAttr.Count(); }
    std::string AttrName(int index) const { return CurAttr.Name(index); }
    std::string AttrValue(int index) const { return CurAttr.Value(index); }
    std::string AttrValue(std::string_view name) const { return CurAttr.Value(name); }

    // Opens an external entity; a relative system id is taken from the
    // folder of the parent source.
    virtual TEntityBuffer OpenExternalEntity(const std::string& parentSource, const std::string& publicId,
                                             const std::string& systemId);
    // Text in the document encoding to single-byte text: UTF-8 becomes code
    // page 1252 (character 191 for what that code page lacks); any other
    // encoding passes unchanged.
    virtual std::string ConvertToAnsi(const std::string& text);
    // Called for each declaration of the document type declaration.
    virtual void DeclarationHook(TDeclKind kind, const std::string& name, const std::string& text);

    std::string Source;  // file name of the document
    std::string XmlVersion;
    std::string Encoding;
    bool Standalone = false;
    std::string RootName;   // of the document type declaration
    bool Normalize = true;  // trim and collapse text content, drop blank content
    std::string DocEncoding;

    std::map<std::string, TElemDef> Elements;
    std::map<std::string, TEntityDef> Entities;
    std::map<std::string, TEntityDef> ParEntities;
    std::map<std::string, TNotationDef> Notations;

    // The current part. Positions are offsets in the buffer the part was
    // read from (the document or an entity's text); CurFinal is its last byte.
    TPartType CurPartType = ptNone;
    size_t CurStart = 0;
    size_t CurFinal = 0;
    std::string CurName;
    std::string CurContent;
    TAttrList CurAttr;

    // Number of entity levels open while text content is being scanned.
    size_t EntityDepth() const { return stack_.size(); }

protected:
    // Bytes of entity text this scan may still expand.
    size_t RemainingExpansion() const;

private:
    struct Frame {
        std::shared_ptr<const std::string> text;
        size_t len = 0;
        size_t resume = 0;
        std::string entity;
        std::string source;
    };

    char At(size_t i) const { return i < len_ ? s_[i] : '\0'; }
    bool Match(size_t i, std::string_view what) const;
    size_t FindSeq(size_t from, std::string_view what, bool& found) const;
    // Ends the current part at the terminator found from `from` on (at the
    // end of the buffer when there is none): CurFinal becomes its last
    // character and the next part starts after it. Returns where the
    // terminator starts (the buffer's length when it is missing).
    size_t EndPartAt(size_t from, std::string_view terminator);
    size_t SkipWhite(size_t i) const;
    void SetSource(std::shared_ptr<const std::string> text, std::string entity, std::string source);
    // Goes back to the buffer an entity was opened from, after its reference.
    void Resume(Frame&& frame);
    void ClearPart();
    bool IsOpen(const std::string& entity) const;
    bool MayExpand(const std::string& entity, size_t depth, size_t bytes) const;

    void AnalyzeProlog();
    void AnalyzePI();
    void AnalyzeComment();
    void AnalyzeCData();
    void AnalyzeDtdc();
    void AnalyzeTag();
    bool AnalyzeText();
    // Reads name-value pairs from i up to where no attribute can start (or limit).
    size_t ReadAttributes(size_t i, size_t limit, std::vector<TAttr>& out) const;
    void ApplyAttrDefaults();
    void ResolveAttrValues();

    void AppendConverted(std::string& out, std::string_view run);
    void ExpandValue(std::string& out, std::string_view raw, std::vector<std::string>& open);
    bool LoadEntityText(const TEntityDef& def, TEntityBuffer& into);

    size_t ParseSubset(std::string_view t, size_t p, bool topLevel, std::vector<std::string>& open);
    void ParseDeclaration(std::string_view decl, std::vector<std::string>& open);
    std::string ExpandParameterRefs(std::string_view text, std::vector<std::string>& open);
    // The replacement text of the parameter entity named (without its %) when
    // it is declared, not open and within the depth and size limits; the text
    // counts as expanded. False when it may not be expanded here.
    bool ParameterEntityText(const std::string& name, const std::vector<std::string>& open, std::string& text);

    std::shared_ptr<const std::string> doc_;
    // The buffer being scanned and the bytes before its first NUL.
    std::shared_ptr<const std::string> src_;
    const char* s_ = "";
    size_t len_ = 0;
    std::string srcEntity_;
    std::string srcName_;
    size_t next_ = 0;
    std::vector<Frame> stack_;
    size_t expanded_ = 0;
};
