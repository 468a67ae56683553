#include "common/xml_reader.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <limits>

#include "base/swar.h"
#include "platform/codepage.h"

namespace {

constexpr bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool IsNameStart(unsigned char c) { return IsAsciiLetter(c) || c == '_' || c == ':' || IsGbkLead(c); }
constexpr bool IsNameChar(unsigned char c) { return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.'; }

// Bytes that end a run of character data copied as it stands: markup, references, CR (to be
// normalised), NUL, and every byte of 0x80 or more (a double-byte character is checked first).
// In attribute values, TAB, LF and either quote end a run too.
// The bytes of a name: kNameStart may begin one (a GBK lead byte begins a double-byte character
// whose second byte is not looked at), kNameChar continue it.
enum : unsigned char { kStopsText = 1, kStopsValue = 2, kNameStart = 4, kNameChar = 8 };
struct ByteClasses {
    unsigned char of[256] = {};
    constexpr ByteClasses() {
        for (int c = 0x80; c < 0x100; ++c) of[c] = kStopsText | kStopsValue;
        for (const unsigned char c : {'<', '&', '\r', '\0'}) of[c] = kStopsText | kStopsValue;
        for (const unsigned char c : {'\t', '\n', '"', '\''}) of[c] = kStopsValue;
        for (int c = 0; c < 0x100; ++c) {
            if (IsNameStart(static_cast<unsigned char>(c))) of[c] |= kNameStart | kNameChar;
            if (IsNameChar(static_cast<unsigned char>(c))) of[c] |= kNameChar;
        }
    }
};
constexpr ByteClasses kByteClasses;

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

// How many "=" the bytes hold, and how many "<" not followed by "/", "!" or "?" (start tags).
void CountTagsAndEquals(TextView bytes, size_t& startTags, size_t& equals) {
    const auto startsTag = [&](size_t lt) {
        const char next = lt + 1 < bytes.size() ? bytes[lt + 1] : '\0';
        return next != '/' && next != '!' && next != '?';
    };
    size_t tags = 0, eq = 0, i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const uint64_t v = swar::Load(bytes.data() + i);
        eq += swar::Count(swar::EqualExact(v, '='));
        for (uint64_t lts = swar::EqualExact(v, '<'); lts != 0; lts &= lts - 1) tags += startsTag(i + swar::FirstByte(lts));
    }
    for (; i < bytes.size(); ++i) {
        eq += bytes[i] == '=';
        tags += bytes[i] == '<' && startsTag(i);
    }
    startTags = tags;
    equals = eq;
}

}  // namespace

// One pass over the bytes. Every read goes through At(), which gives 0 past the end, or checks
// the end itself; since a NUL byte inside the document is refused, 0 never stands for real
// content.
class XmlReader::Parser {
public:
    Parser(TextView bytes, XmlReader& doc) : s_(bytes.data()), n_(bytes.size()), doc_(doc) {}

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
            const unsigned char next = At(i_ + 1);
            if (next == '/') {
                ok = EndTag();
            } else if (next == '?') {
                ok = SkipProcessingInstruction(false);
            } else if (next != '!') {
                ok = StartTag();
            } else if (StartsAt(i_, "<!--")) {
                ok = SkipComment();
            } else if (StartsAt(i_, "<![CDATA[")) {
                ok = !open_.empty() && CData();
            } else if (StartsAt(i_, "<!DOCTYPE")) {
                ok = !doctypeSeen && !rootSeen_ && SkipDoctype();
                doctypeSeen = true;
            } else {
                ok = false;
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

    // The end of the run from i_ of bytes that none of `stops` (kStopsText, kStopsValue) ends.
    size_t RunEnd(unsigned char stops) const {
        size_t k = i_;
        while (k < n_ && (kByteClasses.of[static_cast<unsigned char>(s_[k])] & stops) == 0) ++k;
        return k;
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

    // A name at i_: its bytes in the input are [begin, i_) afterwards.
    bool ScanName(size_t& begin) {
        if (i_ >= n_ || (kByteClasses.of[static_cast<unsigned char>(s_[i_])] & kNameStart) == 0) return false;
        begin = i_;
        while (i_ < n_) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if ((kByteClasses.of[c] & kNameChar) == 0) break;
            if (!IsGbkLead(c)) {
                ++i_;
            } else if (i_ + 1 < n_ && static_cast<unsigned char>(s_[i_ + 1]) >= 0x40) {
                i_ += 2;
            } else {
                return false;  // a lead byte without its second byte
            }
        }
        return true;
    }

    // A name at i_, in the name pool: a name seen before in the same slot of a small cache (a
    // document repeats a handful of names) is not stored again. Its place is returned.
    bool Name(uint32_t& begin, uint32_t& length) {
        size_t start;
        if (!ScanName(start)) return false;
        const TextView name(s_ + start, i_ - start);
        NamePlace& seen = seenNames_[(name.size() * 7 + static_cast<unsigned char>(name.back())) % std::size(seenNames_)];
        if (seen.length == name.size() && doc_.NameOf(seen.begin, seen.length) == name) {
            begin = seen.begin;
            length = seen.length;
            return true;
        }
        begin = uint32_t(doc_.names_.size());
        length = uint32_t(name.size());
        doc_.names_.append(name.data(), name.size());
        seen = {begin, length};
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

    // The character at i_ (a byte of 0x80 or more, or NUL) appended to `out`; false when it is
    // not a valid character.
    bool AppendCharacter(Text& out) {
        const size_t len = CharLength(i_);
        if (len == 0) return false;
        out.append(s_ + i_, len);
        i_ += len;
        return true;
    }

    // A quoted attribute value at i_, normalised as XML does for an attribute of type CDATA.
    bool AttributeValue(Text& out) {
        const unsigned char quote = At(i_);
        if (quote != '"' && quote != '\'') return false;
        ++i_;
        while (i_ < n_) {
            const size_t run = RunEnd(kStopsValue);
            out.append(s_ + i_, run - i_);
            i_ = run;
            if (i_ >= n_) break;
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
            } else if (c == '"' || c == '\'') {  // the other quote
                out += char(c);
                ++i_;
            } else if (!AppendCharacter(out)) {
                return false;
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
        node.firstAttribute = uint32_t(doc_.attributes_.size());
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
                node.textBegin = node.textEnd = uint32_t(doc_.chars_.size());
                return AddNode(node, false);
            }
            if (!spaced) return false;
            Attr attr;
            if (!Name(attr.nameBegin, attr.nameLength)) return false;
            SkipSpace();
            if (At(i_) != '=') return false;
            ++i_;
            SkipSpace();
            attr.valueBegin = uint32_t(doc_.values_.size());
            if (!AttributeValue(doc_.values_)) return false;
            attr.valueLength = uint32_t(doc_.values_.size() - attr.valueBegin);
            doc_.attributes_.push_back(attr);
        }
        node.textBegin = uint32_t(doc_.chars_.size());
        return AddNode(node, true);
    }

    bool AddNode(Node& node, bool stayOpen) {
        node.attributeCount = uint32_t(doc_.attributes_.size() - node.firstAttribute);
        if (HasDuplicateAttribute(node)) return false;
        doc_.nodes_.push_back(node);
        if (node.parent != 0) ++doc_.nodes_[node.parent - 1].childCount;
        rootSeen_ = true;
        if (stayOpen) open_.push_back(uint32_t(doc_.nodes_.size()));
        return true;
    }

    // Sorting keeps this n log n however many attributes a hostile element carries.
    bool HasDuplicateAttribute(const Node& node) {
        if (node.attributeCount < 2) return false;
        order_.clear();
        for (uint32_t a = 0; a < node.attributeCount; ++a) {
            const Attr& attr = doc_.attributes_[node.firstAttribute + a];
            order_.push_back(doc_.NameOf(attr.nameBegin, attr.nameLength));
        }
        std::sort(order_.begin(), order_.end());
        return std::adjacent_find(order_.begin(), order_.end()) != order_.end();
    }

    bool EndTag() {
        i_ += 2;
        size_t begin;
        if (!ScanName(begin)) return false;
        const TextView name(s_ + begin, i_ - begin);
        SkipSpace();
        if (At(i_) != '>' || open_.empty()) return false;
        ++i_;
        Node& node = doc_.nodes_[open_.back() - 1];
        if (name != doc_.NameOf(node.nameBegin, node.nameLength)) return false;
        node.textEnd = uint32_t(doc_.chars_.size());
        open_.pop_back();
        return true;
    }

    bool CharacterData() {
        Text& out = doc_.chars_;
        while (i_ < n_) {
            const size_t run = RunEnd(kStopsText);
            out.append(s_ + i_, run - i_);
            i_ = run;
            if (i_ >= n_) break;
            const unsigned char c = At(i_);
            if (c == '<') break;
            if (c == '&') {
                if (!Reference(out)) return false;
            } else if (c == '\r') {
                out += '\n';
                i_ += At(i_ + 1) == '\n' ? 2 : 1;
            } else if (!AppendCharacter(out)) {
                return false;
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
            if (!AppendCharacter(out)) return false;
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
        size_t begin;
        if (!ScanName(begin)) return false;
        const Text target = ToLowerAscii(Text(s_ + begin, i_ - begin));
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

    // Gathers each element's children (counted as they were added) into one block of
    // children_, in document order. Each block's start serves as its fill cursor meanwhile.
    void LinkChildren() {
        std::vector<Node>& nodes = doc_.nodes_;
        uint32_t next = 0;
        for (Node& node : nodes) {
            node.firstChild = next;
            next += node.childCount;
        }
        doc_.children_.assign(next, 0);
        for (size_t k = 1; k < nodes.size(); ++k) doc_.children_[nodes[nodes[k].parent - 1].firstChild++] = uint32_t(k + 1);
        for (Node& node : nodes) node.firstChild -= node.childCount;
    }

    const char* s_;
    size_t n_;
    size_t i_ = 0;
    XmlReader& doc_;
    struct NamePlace {
        uint32_t begin = 0, length = 0;
    };
    NamePlace seenNames_[16];      // length 0: none yet (a name is never empty)
    std::vector<uint32_t> open_;   // handles of the elements whose end tag is still to come
    std::vector<TextView> order_;  // scratch for the duplicate-attribute test
    bool rootSeen_ = false;
};

bool XmlReader::Load(TextView bytes) {
    Clear();
    // Every place is kept in 32 bits; no pool grows longer than the document.
    if (bytes.size() >= std::numeric_limits<uint32_t>::max()) return false;
    bool ok = false;
    try {
        // The element and attribute tables are made their size at once (at most one element per
        // start tag, one attribute per "="): grown while parsing, a document of megabytes would
        // hold up to twice what it needs.
        size_t startTags = 0, equals = 0;
        CountTagsAndEquals(bytes, startTags, equals);
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
    std::vector<uint32_t>().swap(children_);
    Text().swap(names_);
    Text().swap(chars_);
    Text().swap(values_);
}

Text XmlReader::Name(XmlElement element) const {
    const Node* node = NodeAt(element);
    return node ? Text(NameOf(node->nameBegin, node->nameLength)) : Text();
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

XmlElement XmlReader::FirstChildNamed(XmlElement element, TextView name) const {
    const Node* node = NodeAt(element);
    if (!node) return 0;
    for (uint32_t k = 0; k < node->childCount; ++k) {
        const XmlElement child = children_[node->firstChild + k];
        const Node& c = nodes_[child - 1];
        if (NameOf(c.nameBegin, c.nameLength) == name) return child;
    }
    return 0;
}

TextView XmlReader::ElementTextView(XmlElement element) const {
    const Node* node = NodeAt(element);
    return node ? TextView(chars_).substr(node->textBegin, node->textEnd - node->textBegin) : TextView();
}

Text XmlReader::ElementText(XmlElement element) const { return Text(ElementTextView(element)); }

bool XmlReader::FindAttribute(XmlElement element, TextView name, TextView& value) const {
    value = TextView();
    const Node* node = NodeAt(element);
    if (!node) return false;
    for (uint32_t a = 0; a < node->attributeCount; ++a) {
        const Attr& attr = attributes_[node->firstAttribute + a];
        if (NameOf(attr.nameBegin, attr.nameLength) == name) {
            value = TextView(values_).substr(attr.valueBegin, attr.valueLength);
            return true;
        }
    }
    return false;
}

XmlAttribute XmlReader::Attribute(XmlElement element, TextView name) const {
    XmlAttribute result;
    TextView value;
    result.exists = FindAttribute(element, name, value);
    result.value = Text(value);
    return result;
}
