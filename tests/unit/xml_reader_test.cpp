// The GBK XML reader: well-formed documents of every construct it reads, malformed and hostile
// documents it must refuse without harm, and the queries on what it loaded.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/xml_reader.h"

namespace {

// Element names with their children, e.g. "sp(site(whitelist,blacklist(i)))".
Text Tree(const XmlReader& reader, XmlElement element) {
    Text out = reader.Name(element);
    const size_t count = reader.ChildCount(element);
    if (count == 0) return out;
    out += "(";
    for (size_t n = 1; n <= count; ++n) {
        if (n > 1) out += ",";
        out += Tree(reader, reader.Child(element, n));
    }
    return out + ")";
}

struct DocumentCase {
    const char* what;
    Text document;
    Text tree;
    Text text;  // of the document element
};

TEST(XmlReader, ReadsWellFormedDocuments) {
    const DocumentCase cases[] = {
        {"smallest", "<a/>", "a", ""},
        {"end tag with blanks", "<a></a >", "a", ""},
        {"prolog and epilog",
         "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<!-- note -->\n<?style x?>\n<a>t</a>\n<!-- after -->\n",
         "a", "t"},
        {"declaration in single quotes, no blanks", "<?xml version='1.0'?><a/>", "a", ""},
        {"utf-8 declaration is read as GBK all the same",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>中文</a>", "a", "中文"},
        {"children in order, text of descendants", "<a>1<b>2</b><c/>3<d>4<e>5</e></d></a>", "a(b,c,d(e))", "12345"},
        {"predefined entities", "<a>&lt;&gt;&amp;&quot;&apos;</a>", "a", "<>&\"'"},
        {"numeric references", "<a>&#65;&#x42;&#x63;&#x4e2d;&#20013;</a>", "a", "ABc中中"},
        {"code points GBK lacks", "<a>&#x0E01;&#x5D0;&#x1F600;</a>", "a", "???"},
        {"an escaped ampersand is not read again", "<a>&amp;lt;</a>", "a", "&lt;"},
        {"CDATA keeps markup as text", "<a><![CDATA[<b>&amp;]]]></a>", "a", "<b>&amp;]"},
        {"CDATA end is not found on a trail byte", "<a><![CDATA[\x81\x5D]>]]></a>", "a", "\x81\x5D]>"},
        {"line ends become LF", "<a>x\r\ny\rz\n</a>", "a", "x\ny\nz\n"},
        {"a referenced CR stays", "<a>x&#13;y</a>", "a", "x\ry"},
        {"GBK names and text", "<站点><名单>广告</名单></站点>", "站点(名单)", "广告"},
        {"trail bytes that look like markup characters", "<a>\x81\x5C\x81\x7C\x81\x5B</a>", "a",
         "\x81\x5C\x81\x7C\x81\x5B"},
        {"0x80 is a character of its own", "<a>\x80<b/></a>", "a(b)", "\x80"},
        {"comments and instructions inside content", "<a>x<!-- <b> -->y<?p <c>?>z</a>", "a", "xyz"},
        {"lenient about -- in a comment", "<a><!-- a -- b --></a>", "a", ""},
        {"doctype with internal subset",
         "<!DOCTYPE a [<!ENTITY x \"q>]r\"> <!-- ] > --> <?p ]>?>]>\n<a>t</a>", "a", "t"},
        {"doctype with external id", "<!DOCTYPE a SYSTEM 'a.dtd'><a/>", "a", ""},
        {"names with digits, dots, dashes, colons", "<x:a-1.b><_c/></x:a-1.b>", "x:a-1.b(_c)", ""},
    };
    for (const DocumentCase& c : cases) {
        XmlReader reader;
        ASSERT_TRUE(reader.Load(c.document)) << c.what;
        EXPECT_EQ(Tree(reader, reader.DocumentElement()), c.tree) << c.what;
        EXPECT_EQ(reader.ElementText(reader.DocumentElement()), c.text) << c.what;
    }
}

struct AttributeCase {
    const char* what;
    Text document;
    Text name;
    bool exists;
    Text value;
};

TEST(XmlReader, ReadsAttributes) {
    const AttributeCase cases[] = {
        {"double quotes", "<a d=\"x\"/>", "d", true, "x"},
        {"single quotes", "<a d='x'/>", "d", true, "x"},
        {"the other quote inside", "<a d='\"' e=\"'\"/>", "d", true, "\""},
        {"the other quote inside (2)", "<a d='\"' e=\"'\"/>", "e", true, "'"},
        {"blanks around =", "<a  d \t=\r\n 'x' ></a>", "d", true, "x"},
        {"empty value exists", "<a d=''/>", "d", true, ""},
        {"absent", "<a d='x'/>", "e", false, ""},
        {"names compare exactly", "<a D='x'/>", "d", false, ""},
        {"entities decoded", "<a d='&lt;&#x41;&amp;amp;'/>", "d", true, "<A&amp;"},
        {"blanks and line ends become spaces", "<a d='a\tb\r\nc\rd\ne'/>", "d", true, "a b c d e"},
        {"referenced blanks stay", "<a d='a&#9;b&#10;c'/>", "d", true, "a\tb\nc"},
        {"greater-than is allowed", "<a d='>'/>", "d", true, ">"},
        {"GBK value", "<a d='广告'/>", "d", true, "广告"},
        {"second of several", "<a b='1' d='2' e='3'/>", "d", true, "2"},
    };
    for (const AttributeCase& c : cases) {
        XmlReader reader;
        ASSERT_TRUE(reader.Load(c.document)) << c.what;
        const XmlAttribute attribute = reader.Attribute(reader.DocumentElement(), c.name);
        EXPECT_EQ(attribute.exists, c.exists) << c.what;
        EXPECT_EQ(attribute.value, c.value) << c.what;
    }
}

TEST(XmlReader, RefusesMalformedDocuments) {
    const struct {
        const char* what;
        Text document;
    } cases[] = {
        {"empty", ""},
        {"blanks only", " \r\n\t"},
        {"prolog only", "<?xml version='1.0'?><!-- x -->"},
        {"unclosed element", "<a>"},
        {"unclosed child", "<a><b></a>"},
        {"mismatched end tag", "<a></b>"},
        {"end tag in other letter case", "<a></A>"},
        {"crossed elements", "<a><b></a></b>"},
        {"end tag without start", "</a>"},
        {"stray end tag after the root", "<a/></a>"},
        {"two document elements", "<a/><b/>"},
        {"text before the root", "x<a/>"},
        {"text after the root", "<a/>x"},
        {"entity outside the root", "<a/>&amp;"},
        {"CDATA outside the root", "<![CDATA[x]]><a/>"},
        {"cut-off start tag", "<a"},
        {"cut-off end tag", "<a></a"},
        {"lone <", "<a><</a>"},
        {"blank before the name", "< a/>"},
        {"name starting with a digit", "<1a/>"},
        {"slash not followed by >", "<a/ >"},
        {"attribute without value", "<a b/>"},
        {"attribute without quotes", "<a b=1/>"},
        {"unterminated attribute value", "<a b='1/>"},
        {"attributes without a blank between", "<a b='1'c='2'/>"},
        {"duplicate attribute", "<a b='1' c='2' b='3'/>"},
        {"< in attribute value", "<a b='<'/>"},
        {"unknown entity", "<a>&nbsp;</a>"},
        {"entity without ;", "<a>&amp</a>"},
        {"lone &", "<a>a & b</a>"},
        {"& at the end", "<a>&"},
        {"empty decimal reference", "<a>&#;</a>"},
        {"empty hex reference", "<a>&#x;</a>"},
        {"upper-case X", "<a>&#X41;</a>"},
        {"reference to NUL", "<a>&#0;</a>"},
        {"reference to a control character", "<a>&#x1;</a>"},
        {"reference to a surrogate", "<a>&#xD800;</a>"},
        {"reference to U+FFFE", "<a>&#xFFFE;</a>"},
        {"reference beyond Unicode", "<a>&#x110000;</a>"},
        {"overlong reference", "<a>&#99999999999999999999999999;</a>"},
        {"bad entity in an attribute", "<a b='&x;'/>"},
        {"entity declared in the DTD is not expanded", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>"},
        {"unterminated comment", "<a><!-- x </a>"},
        {"comment closing itself", "<a><!--></a>"},
        {"unterminated CDATA", "<a><![CDATA[x</a>"},
        {"unterminated instruction", "<a><?p x</a>"},
        {"instruction without target", "<a><? x?></a>"},
        {"unterminated declaration", "<?xml version='1.0'"},
        {"declaration not at the start", " <?xml version='1.0'?><a/>"},
        {"declaration after the root", "<a/><?xml version='1.0'?>"},
        {"declaration in upper case", "<?XML version='1.0'?><a/>"},
        {"other <! construct", "<!ELEMENT a ANY><a/>"},
        {"<! inside content", "<a><!x></a>"},
        {"doctype twice", "<!DOCTYPE a><!DOCTYPE a><a/>"},
        {"doctype after the root", "<a/><!DOCTYPE a>"},
        {"unterminated doctype", "<!DOCTYPE a [<!ENTITY e 'x'>"},
        {"unterminated literal in doctype", "<!DOCTYPE a SYSTEM 'x><a/>"},
        {"NUL byte in text", Text("<a>x\0y</a>", 10)},
        {"NUL byte in a name", Text("<a\0/>", 5)},
        {"lead byte before <", "<a>\x81</a>"},
        {"lead byte at the very end", "<a/>\x81"},
        {"lead byte at the end of content", "<a>\x81"},
        {"lead byte before a quote", "<a b='\x81'/>"},
        {"byte-order mark turned into ?", "?<?xml version='1.0'?><a/>"},
    };
    for (const auto& c : cases) {
        XmlReader reader;
        ASSERT_TRUE(reader.Load("<ok><x/></ok>"));
        EXPECT_FALSE(reader.Load(c.document)) << c.what;
        // A failed load leaves nothing behind, not even the document held before it.
        EXPECT_FALSE(reader.HasDocument()) << c.what;
        EXPECT_EQ(reader.DocumentElement(), 0u) << c.what;
        EXPECT_EQ(reader.Name(1), "") << c.what;
        EXPECT_EQ(reader.ChildCount(1), 0u) << c.what;
    }
}

Text Nested(size_t depth, bool selfClosingInnermost) {
    Text document;
    for (size_t k = 1; k < depth; ++k) document += "<a>";
    document += selfClosingInnermost ? "<b/>" : "<b></b>";
    for (size_t k = 1; k < depth; ++k) document += "</a>";
    return document;
}

TEST(XmlReader, BoundsNestingDepth) {
    XmlReader reader;
    EXPECT_TRUE(reader.Load(Nested(XmlReader::kMaxDepth, false)));
    EXPECT_TRUE(reader.Load(Nested(XmlReader::kMaxDepth, true)));
    EXPECT_FALSE(reader.Load(Nested(XmlReader::kMaxDepth + 1, false)));
    EXPECT_FALSE(reader.Load(Nested(XmlReader::kMaxDepth + 1, true)));

    // A site list nested 100,000 levels deep (closed or not) is refused, not a stack overflow.
    Text deep = "<sp>";
    for (int k = 0; k < 100000; ++k) deep += "<site d='*'>";
    EXPECT_FALSE(reader.Load(deep));
    for (int k = 0; k < 100000; ++k) deep += "</site>";
    deep += "</sp>";
    EXPECT_FALSE(reader.Load(deep));
    EXPECT_FALSE(reader.HasDocument());
}

// Every construct the reader knows, ending with the document element's end tag.
const Text kFullDocument =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n"
    "<!DOCTYPE sp [<!ENTITY e 'v'>]>\n"
    "<!-- list -->\n"
    "<?pi data?>\n"
    "<sp v='1' w=\"2\">\n"
    "  <site d=\"*.example.com\">\n"
    "    <whitelist><i mode=\"0\">a&amp;b&#x4e2d;&#65;</i></whitelist>\n"
    "    <blacklist><i mode='1'><![CDATA[(x|y)]]></i><!-- c --><i/></blacklist>\n"
    "  </site>\n"
    "  <站点 名=\"广告\">中文\r\n</站点>\n"
    "</sp>";

TEST(XmlReader, RefusesEveryTruncation) {
    XmlReader reader;
    ASSERT_TRUE(reader.Load(kFullDocument));
    EXPECT_EQ(Tree(reader, 1), "sp(site(whitelist(i),blacklist(i,i)),站点)");
    for (size_t length = 0; length < kFullDocument.size(); ++length) {
        EXPECT_FALSE(reader.Load(kFullDocument.substr(0, length))) << "first " << length << " bytes";
        EXPECT_FALSE(reader.HasDocument());
    }
}

// Walks a loaded document without recursion, touching every query, to let the sanitizers
// see any read out of range.
void WalkEverything(const XmlReader& reader) {
    std::vector<XmlElement> pending{reader.DocumentElement()};
    size_t seen = 0;
    while (!pending.empty()) {
        const XmlElement element = pending.back();
        pending.pop_back();
        ++seen;
        (void)reader.Name(element);
        (void)reader.ElementText(element);
        (void)reader.Attribute(element, "d");
        (void)reader.FirstChildNamed(element, "i");
        const size_t count = reader.ChildCount(element);
        EXPECT_EQ(reader.Child(element, count + 1), 0u);
        for (size_t n = 1; n <= count; ++n) {
            const XmlElement child = reader.Child(element, n);
            ASSERT_GT(child, element);  // handles are in document order
            pending.push_back(child);
        }
    }
    EXPECT_GE(seen, 1u);
}

TEST(XmlReader, SurvivesMutatedDocuments) {
    // Deterministic mutations of a document that uses every construct: single bytes replaced,
    // removed or inserted, drawn from the characters that steer the parser.
    const char kSteering[] = "<>/!?-[]&#;x'\"= \r\n\x81\x5D\0a";
    uint32_t seed = 12345;
    const auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    XmlReader reader;
    size_t loaded = 0;
    for (int round = 0; round < 20000; ++round) {
        Text document = kFullDocument;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = next() % (document.size() + 1);
            const char c = kSteering[next() % (sizeof kSteering - 1)];
            switch (next() % 3) {
            case 0:
                if (at < document.size()) document[at] = c;
                break;
            case 1:
                if (at < document.size()) document.erase(at, 1);
                break;
            default:
                document.insert(at, 1, c);
                break;
            }
        }
        if (reader.Load(document)) {
            ++loaded;
            WalkEverything(reader);
        } else {
            EXPECT_FALSE(reader.HasDocument());
        }
    }
    EXPECT_GT(loaded, 0u);  // some mutations (inside text) leave the document well-formed
}

TEST(XmlReader, FindsChildrenByPositionAndName) {
    XmlReader reader;
    ASSERT_TRUE(reader.Load("<sp><s><blacklist n='1'/><whitelist n='2'/><blacklist n='3'/>"
                            "<BlackList n='4'/></s><t/></sp>"));
    const XmlElement root = reader.DocumentElement();
    EXPECT_EQ(reader.Name(root), "sp");
    ASSERT_EQ(reader.ChildCount(root), 2u);
    const XmlElement site = reader.Child(root, 1);
    EXPECT_EQ(reader.Name(reader.Child(root, 2)), "t");
    EXPECT_EQ(reader.Child(root, 0), 0u);
    EXPECT_EQ(reader.Child(root, 3), 0u);
    EXPECT_EQ(reader.ChildCount(site), 4u);
    EXPECT_EQ(reader.Attribute(reader.FirstChildNamed(site, "blacklist"), "n").value, "1");
    EXPECT_EQ(reader.Attribute(reader.FirstChildNamed(site, "BlackList"), "n").value, "4");
    EXPECT_EQ(reader.Attribute(reader.FirstChildNamed(site, "whitelist"), "n").value, "2");
    EXPECT_EQ(reader.FirstChildNamed(site, "WHITELIST"), 0u);
    EXPECT_EQ(reader.FirstChildNamed(site, "black"), 0u);
    EXPECT_EQ(reader.FirstChildNamed(root, "blacklist"), 0u);  // children only, not descendants

    // Handles that are not elements of the document give nothing.
    for (const XmlElement bad : {XmlElement(0), XmlElement(99), XmlElement(-1)}) {
        EXPECT_EQ(reader.Name(bad), "");
        EXPECT_EQ(reader.ChildCount(bad), 0u);
        EXPECT_EQ(reader.Child(bad, 1), 0u);
        EXPECT_EQ(reader.FirstChildNamed(bad, "s"), 0u);
        EXPECT_EQ(reader.ElementText(bad), "");
        EXPECT_FALSE(reader.Attribute(bad, "n").exists);
    }
}

TEST(XmlReader, EachLoadReplacesTheDocument) {
    XmlReader reader;
    EXPECT_FALSE(reader.HasDocument());
    EXPECT_EQ(reader.DocumentElement(), 0u);
    ASSERT_TRUE(reader.Load("<a><b/><c/></a>"));
    ASSERT_TRUE(reader.Load("<x>t</x>"));
    EXPECT_EQ(reader.Name(reader.DocumentElement()), "x");
    EXPECT_EQ(reader.ChildCount(reader.DocumentElement()), 0u);
    EXPECT_EQ(reader.Name(2), "");  // nothing of the first document is left
    EXPECT_EQ(reader.ElementText(1), "t");
    reader.Clear();
    EXPECT_FALSE(reader.HasDocument());
    EXPECT_EQ(reader.ElementText(1), "");
}

TEST(XmlReader, ManyAttributesAndSiblings) {
    // An element with thousands of attributes, and one with thousands of children, load in
    // time proportional to their size.
    Text wide = "<a";
    for (int k = 0; k < 20000; ++k) wide += " n" + std::to_string(k) + "='" + std::to_string(k) + "'";
    wide += "/>";
    XmlReader reader;
    ASSERT_TRUE(reader.Load(wide));
    EXPECT_EQ(reader.Attribute(1, "n19999").value, "19999");
    EXPECT_FALSE(reader.Load(wide.substr(0, wide.size() - 2) + " n7='x'/>"));  // a late duplicate

    Text many = "<a>";
    for (int k = 0; k < 50000; ++k) many += "<i>" + std::to_string(k) + "</i>";
    many += "</a>";
    ASSERT_TRUE(reader.Load(many));
    ASSERT_EQ(reader.ChildCount(1), 50000u);
    EXPECT_EQ(reader.ElementText(reader.Child(1, 50000)), "49999");
    EXPECT_EQ(reader.ElementText(reader.Child(1, 1)), "0");
}

}  // namespace
