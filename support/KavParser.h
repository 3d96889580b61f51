// The XML reader for the viewer's configuration file. It is simpler than XML: end tags are not
// matched by name, only double-quoted attribute values are understood, only the five predefined
// entities are decoded, and a tag's text is the last text segment seen while it was current.
//
// Reading happens in two passes over the whole text: MakeTypifiedLines cuts it into typed lines
// (one type character, then the payload), BuildTree turns those into the tag tree under the
// parser, which is itself the root tag.
//
// Typed lines:  "0" text   "1" end tag   "2" empty-element tag   "3" start tag   "4" XML head.
//
// Every input is safe: malformed markup never crashes, hangs or reads past the text, and the
// passes are linear in the size of the text, so a file of tens of megabytes reads in one go.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

struct TKavParserAttribute {
    std::string Name;
    std::string Value;
};

class TKavXMLTag {
public:
    using TagList = std::vector<std::unique_ptr<TKavXMLTag>>;
    using AttributeList = std::vector<std::unique_ptr<TKavParserAttribute>>;

    // `parent` is not owned; null for a root. The new tag is not added to the parent's children
    // (AddChild does that).
    explicit TKavXMLTag(std::string name = {}, std::string value = {},
                        TKavXMLTag* parent = nullptr);
    virtual ~TKavXMLTag();  // frees the children, however deep, and the attributes

    TKavXMLTag(const TKavXMLTag&) = delete;
    TKavXMLTag& operator=(const TKavXMLTag&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    void SetName(std::string name) { name_ = std::move(name); }
    void SetValue(std::string value) { value_ = std::move(value); }
    TKavXMLTag* Parent() const { return parent_; }
    const TagList& Children() const { return children_; }
    const AttributeList& Attributes() const { return attributes_; }

    // Appends a new child whose parent is this tag; returns it.
    TKavXMLTag* AddChild(std::string name, std::string value);
    // Appends an attribute; duplicate names are kept, FindAttribute finds the first.
    TKavParserAttribute* AddAttribute(std::string name, std::string value);

    // Appends a child parsed from the content of a start or empty-element tag: the name up to
    // the first blank, then NAME="VALUE" pairs (values entity-decoded; anything between "=" and
    // the opening quote is ignored). The child is added before parsing, so there always is one.
    // A malformed attribute stops the parsing of this tag only: the child keeps its name and the
    // attributes read so far. Returns the text describing that stop, or "" when the content was
    // read whole; callers are free to ignore it.
    std::string AddTagByString(std::string_view content);

    // The first child or attribute whose name equals `name` exactly (case included), or null.
    TKavXMLTag* FindChild(std::string_view name) const;
    TKavParserAttribute* FindAttribute(std::string_view name) const;
    // The last child; null for a tag without children.
    TKavXMLTag* LastChild() const;

    void ClearChildren();
    void ClearAttributes();

    // Makes this tag a deep copy of `source` (name, value, attributes and children in order;
    // the copied children's Parent links point into this tree). Null `source` changes nothing.
    // `source` may be this tag or lie inside it: the copy is taken before anything is cleared.
    void CopyFrom(const TKavXMLTag* source);

private:
    std::string name_;
    std::string value_;
    TagList children_;
    AttributeList attributes_;
    TKavXMLTag* parent_;
};

class TKavParser : public TKavXMLTag {
public:
    // The root tag: named "root", empty value, no parent.
    TKavParser();

    // First the lines of the file, then, after MakeTypifiedLines, the typed lines.
    std::vector<std::string> Lines;

    // Reads the file into Lines (any line-break style), typifies and builds the tree. Throws
    // EInOutError when the file cannot be read. When typification fails (an unterminated comment
    // or XML head) Lines keeps the file's lines and the tree is left empty: a root with no
    // children and no attributes, so every lookup fails cleanly.
    void LoadFromFile(std::string_view fileName);

    // Replaces Lines by the typed lines of the text of Lines (the lines joined with CR LF, each
    // followed by one). On an unterminated comment or XML head, Lines stays as it was, the reason
    // is kept in TypifyError() and the result is false.
    bool MakeTypifiedLines();

    // Rebuilds the tree under the root from the typed lines in Lines. The root's name and value
    // stay unless an XML head line gives it the head's name and attributes.
    void BuildTree();

    // Why the last MakeTypifiedLines failed; empty after a success.
    const std::string& TypifyError() const { return typifyError_; }

private:
    void BuildTreeFrom(const std::vector<std::string>& typedLines);

    std::string typifyError_;
};

// Text helpers of the reader, exposed for the configuration code and for tests.

// Removes leading and trailing blanks and control characters (bytes up to and including 32).
std::string_view KavTrim(std::string_view text);
// Replaces every CR LF pair and every TAB by one blank; nothing else changes.
std::string KavNormalizeWhitespace(std::string_view text);
// Decodes &lt; &gt; &amp; &apos; &quot;, in that order, one replace-all pass each.
std::string KavDecodeEntities(std::string_view text);

}  // namespace hv
