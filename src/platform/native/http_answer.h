// The raw header text of an answer as the native HTTP layer builds it from the header lines that
// libcurl hands over one at a time, in the form WinINet's HTTP_QUERY_RAW_HEADERS_CRLF gives it.
#pragma once

#include <cstddef>

#include "base/text.h"

namespace platform::http {

// The most header text one answer keeps; lines past it are dropped.
constexpr size_t kMaxRawHeaderBytes = 1024 * 1024;

// Adds one received header line (as libcurl delivers it: the bytes up to and including its LF,
// or without one at the very end) to `rawHeaders`, ended by CR LF whatever line end the server
// wrote, so that a line ended by LF alone never runs into the next one. A status line ("HTTP/")
// begins the next answer of a redirect chain: the text so far is dropped first and true is
// returned, so that the caller drops that answer's body as well.
bool AddRawHeaderLine(Text& rawHeaders, const Text& line);

}  // namespace platform::http
