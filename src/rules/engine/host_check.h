// Host and file-type suffix tests on the tail of a URL fragment. The converters use them to
// decide which rule shapes to write, so every table entry and the order of the tests matter.
// All comparisons are exact (case-sensitive) comparisons of the last n bytes with an entry; a
// text shorter than an entry never matches it.
#pragma once

#include "base/text.h"

// 1 when `text` ends in one of the known top-level suffixes (".com", ".cn", ".info", ...),
// 0 when it does not but looks like a dotted numeric address, -1 otherwise. Callers treat
// -1 as "not a host" and both 0 and 1 as a host; 1 is a named host, 0 a numeric one.
int HostCheck(TextView text);

// True when what is left of `text` after deleting every digit contains "..." ('1.2.3.4',
// '10.0.0.1:8080', 'ad1.2.3.4'), false otherwise ('1.2.3').
bool IsDottedNumber(TextView text);

// True when `text` ends in the extension of a static web file (".html", ".js", ".gif", ...).
bool EndsWithFileType(TextView text);
