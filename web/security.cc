// Secrets, constant-time comparison and signed texts (security.h).
#include "web/security.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>

#include <cerrno>

namespace bkweb {

namespace {

const char kHex[] = "0123456789abcdef";

std::string ToHex(const unsigned char* p, size_t n) {
  std::string out;
  out.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    out += kHex[p[i] >> 4];
    out += kHex[p[i] & 15];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool FromHex(std::string_view hex, std::string* out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

}  // namespace

std::string RandomHex(size_t bytes) {
  std::string raw(bytes, '\0');
  size_t got = 0;
  while (got < bytes) {
    const ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return "";
    }
    got += static_cast<size_t>(n);
  }
  return ToHex(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string Signer::Mac(std::string_view payload) const {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
           reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), mac, &len) == nullptr) {
    return "";
  }
  return ToHex(mac, len);
}

std::string Signer::Sign(std::string_view payload) const {
  return ToHex(reinterpret_cast<const unsigned char*>(payload.data()), payload.size()) + "." + Mac(payload);
}

bool Signer::Open(std::string_view signed_text, std::string* payload) const {
  const size_t dot = signed_text.find('.');
  if (dot == std::string_view::npos || key_.empty()) return false;
  std::string decoded;
  if (!FromHex(signed_text.substr(0, dot), &decoded)) return false;
  const std::string mac = Mac(decoded);
  if (mac.empty() || !SameSecret(mac, signed_text.substr(dot + 1))) return false;
  *payload = std::move(decoded);
  return true;
}

}  // namespace bkweb
