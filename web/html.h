// HTML of the web register's pages: escaping and the page frame.
//
// Every text that comes from the company (descriptions, payees, ids,
// messages that quote them) or from a request goes through Esc before it
// is put into a page, whether between tags or inside a quoted attribute:
// "&", "<", ">", '"' and "'" become entities, control characters (but line
// breaks and tabs, harmless in HTML) and bytes that are not UTF-8 become
// U+FFFD. Stored text is never put into a URL
// scheme, a script, a style or an event attribute; links carry ids through
// UrlEncode. The pages carry no inline script or style (the Content-
// Security-Policy forbids them): behaviour is in /static/app.js.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bkweb {

// Text made safe between tags and inside double- or single-quoted attributes.
std::string Esc(std::string_view text);
// A query-string component: everything but unreserved characters %-encoded.
std::string UrlEncode(std::string_view text);

// The navigation entries of the frame.
enum class Nav { kAccounts, kEnter, kBatches, kBalances, kNone };

// A whole page: the frame (title, navigation, stylesheet, script) around
// `body` (HTML made by the caller from escaped parts). `csrf` is the form
// token the frame gives to the script (a meta element) for forms it builds.
std::string Page(std::string_view title, Nav nav, std::string_view csrf, std::string_view body);

// A notice box: `kind` "ok", "warn" or "error"; `html` already escaped.
std::string Notice(std::string_view kind, std::string_view html);

// The hidden form-token field every POST form carries.
std::string CsrfField(std::string_view csrf);

// An HTML table: headings, then rows of cells already escaped; `numeric`
// columns are right-aligned.
std::string TableHtml(const std::vector<std::string>& headings, const std::vector<bool>& numeric,
                      const std::vector<std::vector<std::string>>& rows, std::string_view id = "");

}  // namespace bkweb
