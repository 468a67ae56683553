#include "web/decode.h"

namespace {

// Every tag removed: from a "<" through the first ">" after it. A "<" without a ">" after it
// ends the work and stays, with everything after it. Nothing before a removed tag holds a "<",
// so one left-to-right pass gives what deleting the first tag and starting again would.
Text RemoveTags(const Text& text) {
    Text out;
    size_t from = 1;
    for (;;) {
        const size_t open = FindExact(text, "<", from);
        const size_t close = open == 0 ? 0 : FindExact(text, ">", open);
        if (close == 0) {
            out += MidToEnd(text, long(from));
            return out;
        }
        out += Mid(text, long(from), long(open - from));
        from = close + 1;
    }
}

struct Replacement {
    const char* from;
    const char* to;
};

// In this order: spaces made from &nbsp; are removed too, and so are the spaces inside
// "<br />", which then reaches the br steps as "<br/>".
constexpr Replacement kHtmlSteps[] = {
    {"&quot;", "\""}, {"&nbsp;", " "}, {" ", ""},       {"\r", ""},
    {"\n", ""},       {"<br/>", "\r\n"}, {"<br>", "\r\n"}, {"</br>", "\r\n"},
};

}  // namespace

Text CleanHtmlText(const Text& html) {
    Text text = html;
    for (const Replacement& step : kHtmlSteps) text = ReplaceAll(text, step.from, step.to);
    return RemoveTags(text);
}
