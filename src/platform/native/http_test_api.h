// Test access to the native HTTP layer's process-wide cookie store.
#pragma once

#include "base/text.h"

namespace platform::http::test {

// Forgets every stored cookie.
void ClearCookies();
// The Cookie header line a request to `host` carries ("Cookie: a=1; b=2"); empty when none.
Text CookieHeader(const Text& host);

}  // namespace platform::http::test
