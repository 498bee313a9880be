// The web register's secrets and the checks made with them: the one-time
// login token, the session cookie, the per-session form token (CSRF) and
// signed links.
//
// Rules:
//   - Every secret is 32 random bytes from the kernel (getrandom), written
//     as 64 hex digits; comparisons take the same time whatever matches.
//   - A signed text is "<hex payload>.<hex HMAC-SHA256 of the payload>"
//     under the server's key, made anew at every start: a link changed by
//     hand, or made by another run of the server, is refused.
#pragma once

#include <string>
#include <string_view>

namespace bkweb {

// `bytes` random bytes as lower-case hex; "" when the kernel gives none.
std::string RandomHex(size_t bytes);

// True when `a` and `b` are equal; the time taken depends on their lengths
// only.
bool SameSecret(std::string_view a, std::string_view b);

// HMAC-SHA256 signatures under one key.
class Signer {
 public:
  explicit Signer(std::string key) : key_(std::move(key)) {}
  // `payload` with its signature, safe in a URL (hex digits and a point).
  std::string Sign(std::string_view payload) const;
  // The payload of `signed_text` when its signature is this key's; false
  // for anything else (malformed, changed, another key).
  bool Open(std::string_view signed_text, std::string* payload) const;

 private:
  std::string Mac(std::string_view payload) const;
  std::string key_;
};

}  // namespace bkweb
