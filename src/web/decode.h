// The plain text of an HTML fragment, as the update probes read a page. Pure: empty input gives
// empty output and malformed markup is cleaned as far as the rules go.
#pragma once

#include "base/text.h"

// The plain text of an HTML fragment: entities &quot; and &nbsp; decoded, every space, CR and LF
// removed, <br/>, <br> and </br> turned into CR LF, and every other tag deleted. An unmatched
// "<" stays.
Text CleanHtmlText(const Text& html);
