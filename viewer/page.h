// The match viewer page: one self-contained HTML file made from a game
// record, with the record's data inlined and nothing loaded from elsewhere.
#pragma once

#include <string>

namespace Kelvo::Viewer {

// Checks the record (JSON Lines as the server writes it) and makes the page.
// False when the record cannot be shown; `error` then names the line and
// what is wrong with it ("line 7: ..."). A record without paths is shown
// without them.
bool matchPage(const std::string& record, std::string& html, std::string& error);

}  // namespace Kelvo::Viewer
