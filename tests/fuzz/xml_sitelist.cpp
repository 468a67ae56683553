// The XML reader on the input as GBK bytes, and the SiteList conversion on the input both as the
// source step decodes SiteList.xml (UTF-8, byte-order mark dropped) and as GBK text. One reader
// serves every input, as the program keeps one. For any input: a document with a NUL byte is
// refused; a loaded document answers every query consistently (handles in document order, each
// child's text inside its parent's, out-of-range handles empty) and loads again the same way; a
// site list converts into single-line rules of the browser's syntax and leaves the reader empty.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/encoding.h"
#include "common/xml_reader.h"
#include "fuzz_support.h"
#include "rules/sources/sitelist_convert.h"

namespace {

XmlReader reader;

// Texts this long are not searched for their children's texts: the walk stays linear.
constexpr size_t kTextCheckLimit = 2048;

// Walks the whole document; gives the number of elements.
size_t Walk(const XmlReader& r) {
    std::vector<XmlElement> pending{r.DocumentElement()};
    size_t seen = 0;
    while (!pending.empty()) {
        const XmlElement e = pending.back();
        pending.pop_back();
        ++seen;
        FUZZ_CHECK(!r.Name(e).empty());
        const size_t count = r.ChildCount(e);
        FUZZ_CHECK(r.Child(e, 0) == 0 && r.Child(e, count + 1) == 0);
        const Text text = r.ElementText(e);
        XmlElement previous = e;
        for (size_t n = 1; n <= count; ++n) {
            const XmlElement c = r.Child(e, n);
            FUZZ_CHECK(c > previous);
            previous = c;
            if (text.size() <= kTextCheckLimit) FUZZ_CHECK(text.find(r.ElementText(c)) != Text::npos);
            const XmlElement first = r.FirstChildNamed(e, r.Name(c));
            FUZZ_CHECK(first != 0 && first <= c && r.Name(first) == r.Name(c));
            pending.push_back(c);
        }
        for (const char* name : {"d", "mode"}) {
            const XmlAttribute a = r.Attribute(e, name);
            FUZZ_CHECK(a.exists || a.value.empty());
        }
    }
    return seen;
}

void CheckEmptyHandle(const XmlReader& r, XmlElement e) {
    FUZZ_CHECK(r.Name(e).empty() && r.ChildCount(e) == 0 && r.Child(e, 1) == 0);
    FUZZ_CHECK(r.ElementText(e).empty() && !r.Attribute(e, "d").exists);
}

void CheckRules(const Text& rules) {
    if (rules.empty()) return;
    for (const Text& rule : fuzz::RuleLines(rules)) {
        FUZZ_CHECK(StartsWith(rule, "**://"));
        FUZZ_CHECK(rule.find_first_of("\r\n") == Text::npos);
    }
}

void ConvertSiteList(const Text& text) {
    SiteListRules rules;
    if (!LoadSiteList(text, reader)) {
        FUZZ_CHECK(!reader.HasDocument());
        return;
    }
    FUZZ_CHECK(reader.Name(reader.DocumentElement()) == "sp");
    ConvertLoadedSiteList(reader, rules);
    FUZZ_CHECK(!reader.HasDocument());
    FUZZ_CHECK(StartsWith(rules.whiteRules, "**://*/forum.php?mod=attachment*\r\n"));
    CheckRules(rules.whiteRules);
    CheckRules(rules.blockRules);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteBuffer bytes(reinterpret_cast<const char*>(data), size);

    const bool loaded = reader.Load(bytes);
    CheckEmptyHandle(reader, 0);
    if (loaded) {
        FUZZ_CHECK(bytes.find('\0') == ByteBuffer::npos);
        const size_t elements = Walk(reader);
        FUZZ_CHECK(elements <= size);
        CheckEmptyHandle(reader, elements + 1);
        FUZZ_CHECK(reader.Load(bytes) && Walk(reader) == elements);
    } else {
        FUZZ_CHECK(!reader.HasDocument());
        CheckEmptyHandle(reader, 1);
    }

    ConvertSiteList(Utf8ToGbk(StripUtf8Bom(bytes)));
    ConvertSiteList(TextUpTo0(bytes));
    return 0;
}
