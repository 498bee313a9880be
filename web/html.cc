// Escaping and the page frame of the web register (html.h).
#include "web/html.h"

#include <cstdint>

namespace bkweb {

namespace {

// The length of the UTF-8 sequence at `s[i]`, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF included).
size_t Utf8At(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  if (cp >= 0x80 && cp <= 0x9F) return 0;  // C1 controls
  return n;
}

constexpr const char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

std::string Esc(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8At(text, i);
    if (n == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    const char c = text[i++];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
          out += kReplacement;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string Page(std::string_view title, Nav nav, std::string_view csrf, std::string_view body) {
  struct Entry {
    Nav nav;
    const char* href;
    const char* label;
  };
  static const Entry kEntries[] = {{Nav::kAccounts, "/", "Accounts"},
                                   {Nav::kEnter, "/enter", "Enter"},
                                   {Nav::kBatches, "/batches", "Batches"},
                                   {Nav::kBalances, "/balances", "Balances"}};
  std::string out;
  out.reserve(body.size() + 1024);
  out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<meta name=\"bk-csrf\" content=\"";
  out += Esc(csrf);
  out += "\"><title>";
  out += Esc(title);
  out += " - bank register</title><link rel=\"stylesheet\" href=\"/static/app.css\">"
         "<script src=\"/static/app.js\" defer></script></head><body><header><span class=\"brand\">Bank "
         "register</span><nav>";
  for (const Entry& e : kEntries) {
    out += "<a href=\"";
    out += e.href;
    out += "\"";
    if (e.nav == nav) out += " class=\"active\" aria-current=\"page\"";
    out += ">";
    out += e.label;
    out += "</a>";
  }
  out += "</nav></header><main><h1>";
  out += Esc(title);
  out += "</h1>\n";
  out += body;
  out += "\n</main></body></html>\n";
  return out;
}

std::string Notice(std::string_view kind, std::string_view html) {
  std::string out = "<div class=\"notice ";
  out += Esc(kind);
  out += "\" role=\"status\">";
  out += html;
  out += "</div>\n";
  return out;
}

std::string CsrfField(std::string_view csrf) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + Esc(csrf) + "\">";
}

std::string TableHtml(const std::vector<std::string>& headings, const std::vector<bool>& numeric,
                      const std::vector<std::vector<std::string>>& rows, std::string_view id) {
  std::string out = "<table";
  if (!id.empty()) out += " id=\"" + Esc(id) + "\"";
  out += "><thead><tr>";
  for (size_t c = 0; c < headings.size(); ++c) {
    out += c < numeric.size() && numeric[c] ? "<th class=\"num\">" : "<th>";
    out += Esc(headings[c]);
    out += "</th>";
  }
  out += "</tr></thead><tbody>\n";
  for (const auto& row : rows) {
    out += "<tr>";
    for (size_t c = 0; c < row.size(); ++c) {
      out += c < numeric.size() && numeric[c] ? "<td class=\"num\">" : "<td>";
      out += row[c];
      out += "</td>";
    }
    out += "</tr>\n";
  }
  out += "</tbody></table>\n";
  return out;
}

}  // namespace bkweb
