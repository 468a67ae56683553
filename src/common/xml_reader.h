// XmlReader: a small, bounded reader for XML documents held as GBK (code page 936) bytes.
//
// The program keeps one reader for its whole life; every Load first throws away whatever the
// reader held, so the owner simply holds one instance and loads into it again and again. A
// failed Load leaves the reader empty. Nothing is thrown: every failure is a false result.
//
// What is read:
//   - the XML declaration (only at the very first byte), comments, processing instructions,
//     a document type declaration (skipped; its internal subset is not interpreted, so
//     entities it declares are unknown and refused), elements, attributes in either quote
//     style, character data and CDATA sections;
//   - the five predefined entities (&lt; &gt; &amp; &quot; &apos;) and numeric references
//     (&#NN; &#xHH;), decoded into GBK; a code point GBK cannot represent becomes "?";
//   - line ends are normalised as XML requires (CR LF and a lone CR become LF; in attribute
//     values TAB, CR and LF become spaces).
// The bytes are always read as GBK, whatever encoding the declaration names: the callers hand
// in text they have already converted to GBK. A double-byte character is a lead byte 0x81 to
// 0xFE followed by a trail byte of 0x40 or more; a lead byte without such a trail byte, and a
// NUL byte anywhere, make the document malformed.
//
// Refused as malformed: mismatched or unclosed tags, any unterminated construct, unknown or
// invalid entities (including references to characters XML forbids, such as &#0;), "<" in an
// attribute value, duplicate attributes, text or a second element outside the document
// element, a missing document element, and nesting deeper than kMaxDepth. Two XML rules that
// guard nothing are not enforced: "--" inside a comment and "]]>" in character data.
//
// The parser walks the bytes once with an explicit stack of open elements (no recursion), so
// a deeply nested document cannot exhaust the call stack; memory grows linearly with the
// input. Names, character data and attribute values are kept in three pools of text, and each
// element and attribute as a small record of 32-bit places in them (a document is at most
// 4 GB, and no pool is longer than the document). Queries never read out of range: a handle of
// 0, or one that is not an element of the loaded document, gives an empty name, text or
// attribute and no children.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/text.h"

// An element of the loaded document: 1 for the document element, then the others in document
// order. 0 means "no element". A handle is only meaningful until the next Load or Clear.
using XmlElement = size_t;

struct XmlAttribute {
    bool exists = false;
    Text value;  // entities decoded; empty when the attribute does not exist
};

class XmlReader {
public:
    // Deepest element nesting a document may have; the document element is at depth 1.
    static constexpr size_t kMaxDepth = 256;

    // Discards the current document, then parses `bytes`. False (and the reader empty) when
    // the bytes are not a well-formed document.
    bool Load(TextView bytes);
    // Discards the current document and releases its memory.
    void Clear();
    bool HasDocument() const { return !nodes_.empty(); }

    // The document element, or 0 when the reader is empty.
    XmlElement DocumentElement() const { return nodes_.empty() ? 0 : 1; }
    Text Name(XmlElement element) const;
    size_t ChildCount(XmlElement element) const;
    // The n-th child element (1-based, document order), or 0 when there is none.
    XmlElement Child(XmlElement element, size_t n) const;
    // The first child element whose name equals `name` exactly (letter case included), or 0.
    XmlElement FirstChildNamed(XmlElement element, TextView name) const;
    // All character data inside the element, its descendants' included, in document order.
    Text ElementText(XmlElement element) const;
    // The attribute of that exact name.
    XmlAttribute Attribute(XmlElement element, TextView name) const;

    // The same texts without a copy: views into the reader, valid until the next Load or Clear.
    TextView ElementTextView(XmlElement element) const;
    // True when the attribute exists, with its value in `value` (empty otherwise).
    bool FindAttribute(XmlElement element, TextView name, TextView& value) const;

private:
    class Parser;

    struct Node {
        uint32_t nameBegin = 0, nameLength = 0;        // in names_
        uint32_t parent = 0;                           // handle, 0 for the document element
        uint32_t firstAttribute = 0, attributeCount = 0;  // in attributes_
        uint32_t textBegin = 0, textEnd = 0;           // in chars_
        uint32_t firstChild = 0, childCount = 0;       // in children_
    };
    struct Attr {
        uint32_t nameBegin = 0, nameLength = 0;    // in names_
        uint32_t valueBegin = 0, valueLength = 0;  // in values_
    };

    const Node* NodeAt(XmlElement element) const {
        return element >= 1 && element <= nodes_.size() ? &nodes_[element - 1] : nullptr;
    }
    TextView NameOf(uint32_t begin, uint32_t length) const { return TextView(names_).substr(begin, length); }

    std::vector<Node> nodes_;        // in document order; element handle k is nodes_[k - 1]
    std::vector<Attr> attributes_;   // each element's attributes together, in written order
    std::vector<uint32_t> children_; // each element's child handles together, in order
    Text names_;                     // every element and attribute name, back to back
    Text chars_;                     // all character data of the document, in order
    Text values_;                    // every attribute value, decoded, back to back
};
