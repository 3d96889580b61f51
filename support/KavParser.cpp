#include "support/KavParser.h"

#include <utility>

#include "platform/files.h"

namespace hv {
namespace {

constexpr std::string_view kNoAttributeName =
    "[TKavXMLTag.AddTagByString] Expected Attribute name but found nothing! Tag name: \"";
constexpr std::string_view kNoOpenQuote =
    "[TKavXMLTag.AddTagByString] Expected open \" in Attribute value but found nothing! Tag "
    "name: \"";
constexpr std::string_view kNoCloseQuote =
    "[TKavXMLTag.AddTagByString] Expected closed \" in Attribute value but found nothing! Tag "
    "name: \"";
constexpr std::string_view kCommentNeverEnded =
    "[TKavXMLTag.MakeTypifiedLines] Comments started, but never ended!";
constexpr std::string_view kHeadNeverEnded =
    "[TKavXMLTag.MakeTypifiedLines] XML Head started, but never ended!";

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// One replace-all pass: matches are found left to right, and replaced text is not searched again.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    size_t hit = text.find(from);
    if (hit == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    while (hit != std::string_view::npos) {
        out.append(text, done, hit - done);
        out.append(to);
        done = hit + from.size();
        hit = text.find(from, done);
    }
    out.append(text, done);
    return out;
}

// Appends the text with every CR LF pair and every TAB replaced by one blank.
void AppendNormalized(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c == '\t') {
            out += ' ';
        } else {
            out += c;
        }
    }
}

// A typed line: the type character, then the payload whitespace-normalized.
std::string TypedLine(char type, std::string_view payload) {
    std::string line;
    line.reserve(payload.size() + 1);
    line += type;
    AppendNormalized(line, payload);
    return line;
}

// A "0" line: the text trimmed, normalized, then decoded; nothing for text that trims away.
void EmitText(std::vector<std::string>& typed, std::string_view text) {
    text = KavTrim(text);
    if (text.empty()) return;
    std::string line = TypedLine('0', text);
    if (line.find('&', 1) != std::string::npos) {
        std::string decoded = KavDecodeEntities(std::string_view(line).substr(1));
        line.resize(1);
        line += decoded;
    }
    typed.push_back(std::move(line));
}

std::string StopMessage(std::string_view head, std::string_view tagName) {
    std::string message(head);
    message.append(tagName);
    message += "\".";
    return message;
}

std::string StopMessage(std::string_view head, std::string_view tagName,
                        std::string_view attrName) {
    std::string message(head);
    message.append(tagName);
    message += "\", Attribute name: \"";
    message.append(attrName);
    message += "\".";
    return message;
}

}  // namespace

std::string_view KavTrim(std::string_view text) {
    size_t first = 0;
    while (first < text.size() && IsTrimmed(text[first])) ++first;
    size_t last = text.size();
    while (last > first && IsTrimmed(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string KavNormalizeWhitespace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendNormalized(out, text);
    return out;
}

std::string KavDecodeEntities(std::string_view text) {
    // Plain text is by far the common case; it passes through with one scan.
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string s = ReplaceAll(text, "&lt;", "<");
    s = ReplaceAll(s, "&gt;", ">");
    s = ReplaceAll(s, "&amp;", "&");
    s = ReplaceAll(s, "&apos;", "'");
    return ReplaceAll(s, "&quot;", "\"");
}

// ---------------------------------------------------------------------------------------------
// TKavXMLTag

TKavXMLTag::TKavXMLTag(std::string name, std::string value, TKavXMLTag* parent)
    : name_(std::move(name)), value_(std::move(value)), parent_(parent) {}

TKavXMLTag::~TKavXMLTag() {
    ClearChildren();
}

TKavXMLTag* TKavXMLTag::AddChild(std::string name, std::string value) {
    children_.push_back(std::make_unique<TKavXMLTag>(std::move(name), std::move(value), this));
    return children_.back().get();
}

TKavParserAttribute* TKavXMLTag::AddAttribute(std::string name, std::string value) {
    attributes_.push_back(std::make_unique<TKavParserAttribute>(
        TKavParserAttribute{std::move(name), std::move(value)}));
    return attributes_.back().get();
}

std::string TKavXMLTag::AddTagByString(std::string_view content) {
    TKavXMLTag* tag = AddChild({}, {});
    size_t a = content.find(' ');
    if (a == std::string_view::npos) {
        tag->SetName(std::string(content));
        return {};
    }
    tag->SetName(std::string(content.substr(0, a)));
    while (a < content.size()) {
        size_t equals = content.find('=', a);
        if (equals == std::string_view::npos) return StopMessage(kNoAttributeName, tag->Name());
        std::string_view attrName = KavTrim(content.substr(a, equals - a));
        size_t open = content.find('"', equals);
        if (open == std::string_view::npos) return StopMessage(kNoOpenQuote, tag->Name(), attrName);
        size_t close = content.find('"', open + 1);
        if (close == std::string_view::npos)
            return StopMessage(kNoCloseQuote, tag->Name(), attrName);
        tag->AddAttribute(std::string(attrName),
                          KavDecodeEntities(content.substr(open + 1, close - open - 1)));
        a = close + 1;
    }
    return {};
}

TKavXMLTag* TKavXMLTag::FindChild(std::string_view name) const {
    for (const auto& child : children_)
        if (child->name_ == name) return child.get();
    return nullptr;
}

TKavParserAttribute* TKavXMLTag::FindAttribute(std::string_view name) const {
    for (const auto& attribute : attributes_)
        if (attribute->Name == name) return attribute.get();
    return nullptr;
}

TKavXMLTag* TKavXMLTag::LastChild() const {
    return children_.empty() ? nullptr : children_.back().get();
}

void TKavXMLTag::ClearChildren() {
    // Frees the subtree level by level instead of recursively: a document may nest millions of
    // tags deep, far beyond what the stack holds.
    TagList pending = std::move(children_);
    children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<TKavXMLTag> tag = std::move(pending.back());
        pending.pop_back();
        for (auto& child : tag->children_) pending.push_back(std::move(child));
        tag->children_.clear();
    }
}

void TKavXMLTag::ClearAttributes() {
    attributes_.clear();
}

void TKavXMLTag::CopyFrom(const TKavXMLTag* source) {
    if (source == nullptr) return;
    // Copy first, into a detached tag, so that a source inside this tree survives until it has
    // been read; then move the copy in. Iterative for the same reason as ClearChildren.
    TKavXMLTag copy(source->name_, source->value_);
    std::vector<std::pair<const TKavXMLTag*, TKavXMLTag*>> work{{source, &copy}};
    while (!work.empty()) {
        auto [from, to] = work.back();
        work.pop_back();
        for (const auto& attribute : from->attributes_)
            to->AddAttribute(attribute->Name, attribute->Value);
        for (const auto& child : from->children_)
            work.emplace_back(child.get(), to->AddChild(child->name_, child->value_));
    }
    ClearAttributes();
    ClearChildren();
    name_ = std::move(copy.name_);
    value_ = std::move(copy.value_);
    attributes_ = std::move(copy.attributes_);
    children_ = std::move(copy.children_);
    copy.children_.clear();
    for (auto& child : children_) child->parent_ = this;
}

// ---------------------------------------------------------------------------------------------
// TKavParser

TKavParser::TKavParser() : TKavXMLTag("root", "", nullptr) {}

void TKavParser::LoadFromFile(std::string_view fileName) {
    Lines = ReadFileLines(fileName);
    if (MakeTypifiedLines()) {
        BuildTree();
    } else {
        // The file's own lines are not typed lines; reading them as such would invent tags from
        // lines that happen to begin with a digit. The tree stays empty instead.
        BuildTreeFrom({});
    }
}

bool TKavParser::MakeTypifiedLines() {
    std::string text;
    size_t size = 0;
    for (const auto& line : Lines) size += line.size() + 2;
    text.reserve(size);
    for (const auto& line : Lines) {
        text += line;
        text += "\r\n";
    }

    std::vector<std::string> typed;
    // Where the next ">" lies once it has been searched for. When there is none at all, every
    // later "<" is skipped without searching again, which keeps text full of "<" linear.
    size_t nextClose = 0;
    bool closeKnown = false;
    size_t p = 0;
    while (p < text.size()) {
        size_t open = text.find('<', p);
        if (open == std::string::npos) {
            EmitText(typed, std::string_view(text).substr(p));
            break;
        }
        EmitText(typed, std::string_view(text).substr(p, open - p));
        std::string_view rest = std::string_view(text).substr(open);
        if (rest.starts_with("<!--")) {
            size_t end = text.find("-->", open + 4);
            if (end == std::string::npos) {
                typifyError_ = kCommentNeverEnded;
                return false;
            }
            p = end + 3;
        } else if (rest.starts_with("<?")) {
            size_t end = text.find("?>", open + 2);
            if (end == std::string::npos) {
                typifyError_ = kHeadNeverEnded;
                return false;
            }
            typed.push_back(
                TypedLine('4', std::string_view(text).substr(open + 2, end - open - 2)));
            p = end + 2;
        } else {
            if (!closeKnown || (nextClose != std::string::npos && nextClose < open)) {
                nextClose = text.find('>', open);
                closeKnown = true;
            }
            if (nextClose == std::string::npos) {
                p = open + 1;
                continue;
            }
            std::string_view content =
                std::string_view(text).substr(open + 1, nextClose - open - 1);
            p = nextClose + 1;
            if (content.starts_with('/')) {
                typed.push_back(TypedLine('1', content.substr(1)));
            } else if (content.ends_with('/')) {
                content.remove_suffix(1);
                typed.push_back(TypedLine('2', KavTrim(content)));
            } else {
                typed.push_back(TypedLine('3', KavTrim(content)));
            }
        }
    }
    typifyError_.clear();
    Lines = std::move(typed);
    return true;
}

void TKavParser::BuildTree() {
    BuildTreeFrom(Lines);
}

void TKavParser::BuildTreeFrom(const std::vector<std::string>& typedLines) {
    ClearChildren();
    ClearAttributes();
    TKavXMLTag* current = this;
    for (const std::string& line : typedLines) {
        if (line.empty()) continue;
        std::string_view payload = std::string_view(line).substr(1);
        switch (line[0]) {
            case '0':
                current->SetValue(std::string(payload));
                break;
            case '1':
                // More end tags than start tags: stop, keeping what was built.
                if (current == this) return;
                current = current->Parent();
                break;
            case '2':
                current->AddTagByString(payload);
                break;
            case '3':
                current->AddTagByString(payload);
                current = current->LastChild();
                break;
            case '4': {
                TKavXMLTag scratch({}, {}, this);
                scratch.AddTagByString(payload);
                CopyFrom(scratch.LastChild());
                // The head replaced everything under the root, the current tag included; later
                // lines continue at the root.
                current = this;
                break;
            }
            default:
                break;
        }
    }
}

}  // namespace hv
