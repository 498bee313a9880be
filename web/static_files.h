// The web register's static files (web/static/), built into the program so
// the server needs no folder of its own.
#pragma once

#include <string_view>

namespace bkweb {

struct StaticFile {
  std::string_view path;          // "/static/app.css"
  std::string_view content_type;  // with its charset
  std::string_view body;
};

// The file served at `path`, or nullptr.
const StaticFile* FindStatic(std::string_view path);

}  // namespace bkweb
