#include "common/xml_reader.h"

#include <algorithm>
#include <exception>

#include "platform/codepage.h"

namespace {

inline bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsNameStart(unsigned char c) { return IsAsciiLetter(c) || c == '_' || c == ':' || IsGbkLead(c); }
inline bool IsNameChar(unsigned char c) { return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.'; }

// Characters XML allows in a document (and therefore in a numeric reference).
bool IsXmlChar(unsigned long cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// A code point as GBK bytes; "?" for one GBK cannot represent.
void AppendCodePoint(unsigned long cp, Text& out) {
    if (cp < 0x80) {
        out += char(cp);
        return;
    }
    if (cp > 0xFFFF) {  // code page 936 has no characters outside the BMP
        out += '?';
        return;
    }
    ByteBuffer wide;
    wide += char(cp & 0xFF);
    wide += char(cp >> 8);
    const ByteBuffer bytes = platform::WideToMultiByte(platform::kCodePageGbk, wide);
    if (bytes.empty() || bytes.find('\0') != ByteBuffer::npos) {
        out += '?';
    } else {
        out += bytes;
    }
}

}  // namespace

// One pass over the bytes. Every read goes through At(), which gives 0 past the end; since a
// NUL byte inside the document is refused, 0 never stands for real content.
class XmlReader::Parser {
public:
    Parser(const ByteBuffer& bytes, XmlReader& doc) : s_(bytes.data()), n_(bytes.size()), doc_(doc) {}

    bool Run() {
        if (StartsAt(0, "<?xml") && (IsXmlSpace(At(5)) || At(5) == '?')) {
            if (!SkipProcessingInstruction(true)) return false;
        }
        bool doctypeSeen = false;
        while (i_ < n_) {
            if (At(i_) != '<') {
                if (open_.empty()) {  // outside the document element only blanks may stand
                    if (!IsXmlSpace(At(i_))) return false;
                    ++i_;
                    continue;
                }
                if (!CharacterData()) return false;
                continue;
            }
            bool ok;
            if (StartsAt(i_, "<!--")) {
                ok = SkipComment();
            } else if (StartsAt(i_, "<?")) {
                ok = SkipProcessingInstruction(false);
            } else if (StartsAt(i_, "<![CDATA[")) {
                ok = !open_.empty() && CData();
            } else if (StartsAt(i_, "<!DOCTYPE")) {
                ok = !doctypeSeen && !rootSeen_ && SkipDoctype();
                doctypeSeen = true;
            } else if (At(i_ + 1) == '!') {
                ok = false;
            } else if (At(i_ + 1) == '/') {
                ok = EndTag();
            } else {
                ok = StartTag();
            }
            if (!ok) return false;
        }
        if (!rootSeen_ || !open_.empty()) return false;
        LinkChildren();
        return true;
    }

private:
    unsigned char At(size_t k) const { return k < n_ ? static_cast<unsigned char>(s_[k]) : 0; }

    bool StartsAt(size_t k, const char* literal) const {
        for (size_t j = 0; literal[j] != '\0'; ++j) {
            if (k + j >= n_ || s_[k + j] != literal[j]) return false;
        }
        return true;
    }

    // Length of the character at k: 1 or 2; 0 when it is not a valid character (past the end,
    // a NUL byte, a lead byte without a trail byte).
    size_t CharLength(size_t k) const {
        if (k >= n_) return 0;
        const unsigned char c = At(k);
        if (c == 0) return 0;
        if (!IsGbkLead(c)) return 1;
        return (k + 1 < n_ && At(k + 1) >= 0x40) ? 2 : 0;
    }

    bool SkipSpace() {
        const size_t start = i_;
        while (i_ < n_ && IsXmlSpace(At(i_))) ++i_;
        return i_ != start;
    }

    // Walks whole characters from i_ until `terminator` starts; leaves i_ after it. False when
    // the input ends first or holds an invalid character.
    bool SkipPast(const char* terminator) {
        const size_t length = std::char_traits<char>::length(terminator);
        while (i_ < n_) {
            if (StartsAt(i_, terminator)) {
                i_ += length;
                return true;
            }
            const size_t len = CharLength(i_);
            if (len == 0) return false;
            i_ += len;
        }
        return false;
    }

    // A name at i_, appended to the name pool; its place is returned.
    bool Name(size_t& begin, size_t& length) {
        if (!IsNameStart(At(i_))) return false;
        const size_t start = i_;
        while (i_ < n_ && IsNameChar(At(i_))) {
            const size_t len = CharLength(i_);
            if (len == 0) return false;
            i_ += len;
        }
        begin = doc_.names_.size();
        length = i_ - start;
        doc_.names_.append(s_ + start, length);
        return true;
    }

    // The reference starting with "&" at i_, decoded onto `out`.
    bool Reference(Text& out) {
        ++i_;
        if (At(i_) == '#') {
            ++i_;
            const bool hex = At(i_) == 'x';
            if (hex) ++i_;
            unsigned long cp = 0;
            size_t digits = 0;
            for (;; ++i_, ++digits) {
                const unsigned char c = At(i_);
                unsigned value;
                if (IsDigit(c)) {
                    value = c - '0';
                } else if (hex && c >= 'a' && c <= 'f') {
                    value = c - 'a' + 10;
                } else if (hex && c >= 'A' && c <= 'F') {
                    value = c - 'A' + 10;
                } else {
                    break;
                }
                if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + value;  // past that it stays invalid
            }
            if (digits == 0 || At(i_) != ';' || !IsXmlChar(cp)) return false;
            ++i_;
            AppendCodePoint(cp, out);
            return true;
        }
        static const struct {
            const char* name;
            char value;
        } kEntities[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
        for (const auto& entity : kEntities) {
            if (StartsAt(i_, entity.name)) {
                i_ += std::char_traits<char>::length(entity.name);
                out += entity.value;
                return true;
            }
        }
        return false;
    }

    // A quoted attribute value at i_, normalised as XML does for an attribute of type CDATA.
    bool AttributeValue(Text& out) {
        const unsigned char quote = At(i_);
        if (quote != '"' && quote != '\'') return false;
        ++i_;
        while (i_ < n_) {
            const unsigned char c = At(i_);
            if (c == quote) {
                ++i_;
                return true;
            }
            if (c == '<') return false;
            if (c == '&') {
                if (!Reference(out)) return false;
            } else if (c == '\r' || c == '\n' || c == '\t') {
                out += ' ';
                i_ += (c == '\r' && At(i_ + 1) == '\n') ? 2 : 1;
            } else {
                const size_t len = CharLength(i_);
                if (len == 0) return false;
                out.append(s_ + i_, len);
                i_ += len;
            }
        }
        return false;
    }

    bool StartTag() {
        if (open_.empty() && rootSeen_) return false;  // a second document element
        if (open_.size() >= kMaxDepth) return false;
        ++i_;
        Node node;
        if (!Name(node.nameBegin, node.nameLength)) return false;
        node.parent = open_.empty() ? 0 : open_.back();
        node.firstAttribute = doc_.attributes_.size();
        for (;;) {
            const bool spaced = SkipSpace();
            if (i_ >= n_) return false;
            if (At(i_) == '>') {
                ++i_;
                break;
            }
            if (At(i_) == '/') {
                if (At(i_ + 1) != '>') return false;
                i_ += 2;
                node.textBegin = node.textEnd = doc_.chars_.size();
                return AddNode(node, false);
            }
            if (!spaced) return false;
            Attr attr;
            if (!Name(attr.nameBegin, attr.nameLength)) return false;
            SkipSpace();
            if (At(i_) != '=') return false;
            ++i_;
            SkipSpace();
            if (!AttributeValue(attr.value)) return false;
            doc_.attributes_.push_back(std::move(attr));
        }
        node.textBegin = doc_.chars_.size();
        return AddNode(node, true);
    }

    bool AddNode(Node& node, bool stayOpen) {
        node.attributeCount = doc_.attributes_.size() - node.firstAttribute;
        if (HasDuplicateAttribute(node)) return false;
        doc_.nodes_.push_back(node);
        rootSeen_ = true;
        if (stayOpen) open_.push_back(doc_.nodes_.size());
        return true;
    }

    // Sorting keeps this n log n however many attributes a hostile element carries.
    bool HasDuplicateAttribute(const Node& node) {
        if (node.attributeCount < 2) return false;
        const Text& names = doc_.names_;
        const auto nameOf = [&](size_t a) {
            const Attr& attr = doc_.attributes_[a];
            return names.substr(attr.nameBegin, attr.nameLength);
        };
        order_.clear();
        for (size_t a = 0; a < node.attributeCount; ++a) order_.push_back(nameOf(node.firstAttribute + a));
        std::sort(order_.begin(), order_.end());
        return std::adjacent_find(order_.begin(), order_.end()) != order_.end();
    }

    bool EndTag() {
        i_ += 2;
        size_t begin, length;
        if (!Name(begin, length)) return false;
        SkipSpace();
        if (At(i_) != '>' || open_.empty()) return false;
        ++i_;
        Node& node = doc_.nodes_[open_.back() - 1];
        const bool matches = length == node.nameLength &&
                             doc_.names_.compare(begin, length, doc_.names_, node.nameBegin, length) == 0;
        doc_.names_.resize(begin);  // the end tag's name is not kept
        if (!matches) return false;
        node.textEnd = doc_.chars_.size();
        open_.pop_back();
        return true;
    }

    bool CharacterData() {
        Text& out = doc_.chars_;
        while (i_ < n_ && At(i_) != '<') {
            const unsigned char c = At(i_);
            if (c == '&') {
                if (!Reference(out)) return false;
            } else if (c == '\r') {
                out += '\n';
                i_ += At(i_ + 1) == '\n' ? 2 : 1;
            } else {
                const size_t len = CharLength(i_);
                if (len == 0) return false;
                out.append(s_ + i_, len);
                i_ += len;
            }
        }
        return true;
    }

    bool CData() {
        i_ += 9;
        Text& out = doc_.chars_;
        while (i_ < n_) {
            if (StartsAt(i_, "]]>")) {
                i_ += 3;
                return true;
            }
            const unsigned char c = At(i_);
            if (c == '\r') {
                out += '\n';
                i_ += At(i_ + 1) == '\n' ? 2 : 1;
                continue;
            }
            const size_t len = CharLength(i_);
            if (len == 0) return false;
            out.append(s_ + i_, len);
            i_ += len;
        }
        return false;
    }

    bool SkipComment() {
        i_ += 4;
        return SkipPast("-->");
    }

    // "<?target ...?>". The target "xml" (any letter case) is the declaration, allowed only at
    // the first byte of the document.
    bool SkipProcessingInstruction(bool declaration) {
        i_ += 2;
        const size_t start = i_;
        size_t begin, length;
        if (!Name(begin, length)) return false;
        const Text target = ToLowerAscii(doc_.names_.substr(begin, length));
        doc_.names_.resize(begin);
        if ((target == "xml") != declaration || (declaration && start != 2)) return false;
        if (!IsXmlSpace(At(i_)) && !StartsAt(i_, "?>")) return false;
        return SkipPast("?>");
    }

    // The document type declaration is stepped over: quoted literals, and in the internal
    // subset comments and processing instructions, are skipped whole so that a ">" or "]"
    // inside them does not end it.
    bool SkipDoctype() {
        i_ += 9;
        if (!IsXmlSpace(At(i_))) return false;
        bool inSubset = false;
        while (i_ < n_) {
            const unsigned char c = At(i_);
            if (c == '"' || c == '\'') {
                ++i_;
                const char terminator[2] = {char(c), '\0'};
                if (!SkipPast(terminator)) return false;
            } else if (inSubset && StartsAt(i_, "<!--")) {
                if (!SkipComment()) return false;
            } else if (inSubset && StartsAt(i_, "<?")) {
                i_ += 2;
                if (!SkipPast("?>")) return false;
            } else if (c == '[' && !inSubset) {
                inSubset = true;
                ++i_;
            } else if (c == ']' && inSubset) {
                inSubset = false;
                ++i_;
            } else if (c == '>' && !inSubset) {
                ++i_;
                return true;
            } else {
                const size_t len = CharLength(i_);
                if (len == 0) return false;
                i_ += len;
            }
        }
        return false;
    }

    // Gathers each element's children into one block of children_, in document order.
    void LinkChildren() {
        std::vector<Node>& nodes = doc_.nodes_;
        for (size_t k = 1; k < nodes.size(); ++k) ++nodes[nodes[k].parent - 1].childCount;
        size_t next = 0;
        for (Node& node : nodes) {
            node.firstChild = next;
            next += node.childCount;
        }
        doc_.children_.assign(next, 0);
        std::vector<size_t> filled(nodes.size(), 0);
        for (size_t k = 1; k < nodes.size(); ++k) {
            const size_t parent = nodes[k].parent - 1;
            doc_.children_[nodes[parent].firstChild + filled[parent]++] = k + 1;
        }
    }

    const char* s_;
    size_t n_;
    size_t i_ = 0;
    XmlReader& doc_;
    std::vector<size_t> open_;  // handles of the elements whose end tag is still to come
    std::vector<Text> order_;   // scratch for the duplicate-attribute test
    bool rootSeen_ = false;
};

bool XmlReader::Load(const ByteBuffer& bytes) {
    Clear();
    bool ok = false;
    try {
        // The element and attribute tables are made their size at once (at most one element per
        // start tag, one attribute per "="): grown while parsing, a document of megabytes would
        // hold up to twice what it needs.
        size_t startTags = 0, equals = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '=') ++equals;
            if (bytes[i] == '<' && i + 1 < bytes.size() && bytes[i + 1] != '/' && bytes[i + 1] != '!' && bytes[i + 1] != '?')
                ++startTags;
        }
        nodes_.reserve(startTags);
        attributes_.reserve(equals);
        ok = Parser(bytes, *this).Run();
    } catch (const std::exception&) {  // out of memory on a huge document: refuse it
        ok = false;
    }
    if (!ok) Clear();
    return ok;
}

void XmlReader::Clear() {
    std::vector<Node>().swap(nodes_);
    std::vector<Attr>().swap(attributes_);
    std::vector<size_t>().swap(children_);
    Text().swap(names_);
    Text().swap(chars_);
}

Text XmlReader::Name(XmlElement element) const {
    const Node* node = NodeAt(element);
    return node ? names_.substr(node->nameBegin, node->nameLength) : Text();
}

size_t XmlReader::ChildCount(XmlElement element) const {
    const Node* node = NodeAt(element);
    return node ? node->childCount : 0;
}

XmlElement XmlReader::Child(XmlElement element, size_t n) const {
    const Node* node = NodeAt(element);
    if (!node || n < 1 || n > node->childCount) return 0;
    return children_[node->firstChild + n - 1];
}

XmlElement XmlReader::FirstChildNamed(XmlElement element, const Text& name) const {
    const Node* node = NodeAt(element);
    if (!node) return 0;
    for (size_t k = 0; k < node->childCount; ++k) {
        const XmlElement child = children_[node->firstChild + k];
        const Node& c = nodes_[child - 1];
        if (NameIs(c.nameBegin, c.nameLength, name)) return child;
    }
    return 0;
}

Text XmlReader::ElementText(XmlElement element) const {
    const Node* node = NodeAt(element);
    return node ? chars_.substr(node->textBegin, node->textEnd - node->textBegin) : Text();
}

XmlAttribute XmlReader::Attribute(XmlElement element, const Text& name) const {
    XmlAttribute result;
    const Node* node = NodeAt(element);
    if (!node) return result;
    for (size_t a = 0; a < node->attributeCount; ++a) {
        const Attr& attr = attributes_[node->firstAttribute + a];
        if (NameIs(attr.nameBegin, attr.nameLength, name)) {
            result.exists = true;
            result.value = attr.value;
            return result;
        }
    }
    return result;
}
